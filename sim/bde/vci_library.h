#pragma once
// The vendor client library, loaded by the name the driver's settings give,
// with the few calls the engine makes.

#include <windows.h>

#include <string>

#include "sim/vorlix/include/vci.h"
#include "support/unique_handle.h"

namespace dbengine {

struct VciLibrary {
    explicit VciLibrary(const std::wstring& fileName);

    support::ModuleHandle module;
    decltype(&VCIEnvCreate) envCreate;
    decltype(&VCIHandleAlloc) handleAlloc;
    decltype(&VCIHandleFree) handleFree;
    decltype(&VCIServerAttach) serverAttach;
    decltype(&VCIServerDetach) serverDetach;
    decltype(&VCISessionBegin) sessionBegin;
    decltype(&VCISessionEnd) sessionEnd;
    decltype(&VCIAttrSet) attrSet;
    decltype(&VCIAttrGet) attrGet;
    decltype(&VCIParamGet) paramGet;
    decltype(&VCIDescriptorFree) descriptorFree;
    decltype(&VCIStmtPrepare) stmtPrepare;
    decltype(&VCIStmtExecute) stmtExecute;
    decltype(&VCIStmtFetch) stmtFetch;
    decltype(&VCIDefineByPos) defineByPos;
    decltype(&VCIErrorGet) errorGet;
};

}  // namespace dbengine
