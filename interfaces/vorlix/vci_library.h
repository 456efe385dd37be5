// Interface of the Vorlix client library, VCI.dll: its one run-time loader.
#pragma once
// Loads "VCI.dll" at run time and resolves every call of vci.h, for programs
// that reach the client library the way a deliverable does.

#include <windows.h>

#include <string>

#include "interfaces/vorlix/vci.h"
#include "support/unique_handle.h"

namespace vorlix {

// clang-format off
#define VCI_LIBRARY_FUNCTIONS(X) \
    X(VCIEnvCreate) X(VCIHandleAlloc) X(VCIHandleFree) X(VCIServerAttach) \
    X(VCIServerDetach) X(VCISessionBegin) X(VCISessionEnd) X(VCIAttrSet) \
    X(VCIAttrGet) X(VCIParamGet) X(VCIDescriptorFree) X(VCIStmtPrepare) \
    X(VCIStmtExecute) X(VCIStmtFetch) X(VCIBindByName) X(VCIBindByPos) \
    X(VCIDefineByPos) X(VCITransRollback) X(VCIErrorGet) X(VCIUserCallbackRegister) \
    X(VCIDBStartup) X(VCIDBShutdown) X(lxlinit) X(lxinitc) \
    X(lxhLaToId) X(ldxini) X(ldxeti) X(ldxsto) \
    X(ldxdts) X(lnxpfl) X(lnxnft) X(lxsCmpStr) \
    X(slzgetevar)
// clang-format on

struct VciLibrary {
#define VCI_DECLARE(name) decltype(&::name) name = nullptr;
    VCI_LIBRARY_FUNCTIONS(VCI_DECLARE)
#undef VCI_DECLARE
    support::ModuleHandle module;

    // `path` defaults to the DLL search order's "VCI.dll".
    bool load(const std::wstring& path = L"VCI.dll") {
        module.reset(LoadLibraryW(path.c_str()));
        if (!module) return false;
        bool all = true;
#define VCI_RESOLVE(name)                                              \
    name = reinterpret_cast<decltype(name)>(                           \
        reinterpret_cast<void*>(GetProcAddress(module.get(), #name))); \
    all = all && name != nullptr;
        VCI_LIBRARY_FUNCTIONS(VCI_RESOLVE)
#undef VCI_RESOLVE
        return all;
    }
};

}  // namespace vorlix
