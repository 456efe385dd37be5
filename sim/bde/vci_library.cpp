#include "sim/bde/vci_library.h"

#include <stdexcept>

namespace dbengine {
namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

template <typename Function>
void resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!function) throw std::runtime_error(std::string("The vendor client library lacks ") + name);
}

}  // namespace

VciLibrary::VciLibrary(const std::wstring& fileName) : module(LoadLibraryW(fileName.c_str())) {
    if (!module) {
        throw std::runtime_error("Cannot load the vendor client library " + narrow(fileName) +
                                 " (error " + std::to_string(GetLastError()) + ")");
    }
    HMODULE m = module.get();
    resolve(m, "VCIEnvCreate", envCreate);
    resolve(m, "VCIHandleAlloc", handleAlloc);
    resolve(m, "VCIHandleFree", handleFree);
    resolve(m, "VCIServerAttach", serverAttach);
    resolve(m, "VCIServerDetach", serverDetach);
    resolve(m, "VCISessionBegin", sessionBegin);
    resolve(m, "VCISessionEnd", sessionEnd);
    resolve(m, "VCIAttrSet", attrSet);
    resolve(m, "VCIAttrGet", attrGet);
    resolve(m, "VCIParamGet", paramGet);
    resolve(m, "VCIDescriptorFree", descriptorFree);
    resolve(m, "VCIStmtPrepare", stmtPrepare);
    resolve(m, "VCIStmtExecute", stmtExecute);
    resolve(m, "VCIStmtFetch", stmtFetch);
    resolve(m, "VCIDefineByPos", defineByPos);
    resolve(m, "VCIErrorGet", errorGet);
}

}  // namespace dbengine
