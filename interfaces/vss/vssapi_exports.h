// Interface of the platform's shadow-copy writer framework, vssapi.dll: its exported names.
#pragma once
// The platform's shadow-copy library (vssapi.dll): the writer base class's
// members as the library exports them, by their Microsoft C++ names.
//
// GCC cannot produce those names or call a member through them, so each
// member is declared here as a free function that is binary-identical to it:
// a `__thiscall` member receives `this` in ECX, exactly like a free
// `__thiscall` function whose first argument is the object; a `__stdcall`
// member receives `this` as its first stack argument, exactly like a free
// `__stdcall` function whose first argument is the object. A member that
// answers a structure by value takes the caller's result buffer as its second
// stack argument, after `this`, and answers its address. The assembler names
// are the library's export names, bound through an import library made from
// vssapi.def beside this header (no leading underscore: these are not C names).
//
// Initialize is not among them: the library exports it in one of two forms,
// depending on the system, and a writer binds to whichever it finds.

#include <windows.h>

#include <vss.h>

class CVssWriter;
struct IVssCreateWriterMetadata;
struct IVssWriterComponents;

#define VSSAPI_EXPORT(name) __asm__("\"" name "\"")

namespace vssapi {

void* __thiscall construct(CVssWriter* self) VSSAPI_EXPORT("??0CVssWriter@@QAE@XZ");
void __thiscall destruct(CVssWriter* self) VSSAPI_EXPORT("??1CVssWriter@@UAE@XZ");

HRESULT __stdcall subscribe(CVssWriter* self, DWORD eventFlags)
    VSSAPI_EXPORT("?Subscribe@CVssWriter@@QAGJK@Z");
HRESULT __stdcall unsubscribe(CVssWriter* self) VSSAPI_EXPORT("?Unsubscribe@CVssWriter@@QAGJXZ");

// The protected members a writer calls during an event.
VSS_ID* __stdcall currentSnapshotSetId(const CVssWriter* self, VSS_ID* result)
    VSSAPI_EXPORT("?GetCurrentSnapshotSetId@CVssWriter@@IBG?AU_GUID@@XZ");
UINT __stdcall currentVolumeCount(const CVssWriter* self)
    VSSAPI_EXPORT("?GetCurrentVolumeCount@CVssWriter@@IBGIXZ");
VSS_APPLICATION_LEVEL __stdcall currentLevel(const CVssWriter* self)
    VSSAPI_EXPORT("?GetCurrentLevel@CVssWriter@@IBG?AW4_VSS_APPLICATION_LEVEL@@XZ");
bool __stdcall isPathAffected(const CVssWriter* self, LPCWSTR path)
    VSSAPI_EXPORT("?IsPathAffected@CVssWriter@@IBG_NPBG@Z");
bool __stdcall isBootableSystemStateBackedUp(const CVssWriter* self)
    VSSAPI_EXPORT("?IsBootableSystemStateBackedUp@CVssWriter@@IBG_NXZ");
bool __stdcall areComponentsSelected(const CVssWriter* self)
    VSSAPI_EXPORT("?AreComponentsSelected@CVssWriter@@IBG_NXZ");
VSS_BACKUP_TYPE __stdcall backupType(const CVssWriter* self)
    VSSAPI_EXPORT("?GetBackupType@CVssWriter@@IBG?AW4_VSS_BACKUP_TYPE@@XZ");
VSS_RESTORE_TYPE __stdcall restoreType(const CVssWriter* self)
    VSSAPI_EXPORT("?GetRestoreType@CVssWriter@@IBG?AW4_VSS_RESTORE_TYPE@@XZ");
bool __stdcall isPartialFileSupportEnabled(const CVssWriter* self)
    VSSAPI_EXPORT("?IsPartialFileSupportEnabled@CVssWriter@@IBG_NXZ");
HRESULT __stdcall setWriterFailure(CVssWriter* self, HRESULT hr)
    VSSAPI_EXPORT("?SetWriterFailure@CVssWriter@@IAGJJ@Z");

// The base class's own answers to the events a writer need not override.
bool __stdcall onIdentify(CVssWriter* self, IVssCreateWriterMetadata* metadata)
    VSSAPI_EXPORT("?OnIdentify@CVssWriter@@UAG_NPAVIVssCreateWriterMetadata@@@Z");
bool __stdcall onPrepareBackup(CVssWriter* self, IVssWriterComponents* components)
    VSSAPI_EXPORT("?OnPrepareBackup@CVssWriter@@UAG_NPAVIVssWriterComponents@@@Z");
bool __stdcall onBackupComplete(CVssWriter* self, IVssWriterComponents* components)
    VSSAPI_EXPORT("?OnBackupComplete@CVssWriter@@UAG_NPAVIVssWriterComponents@@@Z");
bool __stdcall onBackupShutdown(CVssWriter* self, VSS_ID snapshotSetId)
    VSSAPI_EXPORT("?OnBackupShutdown@CVssWriter@@UAG_NU_GUID@@@Z");
bool __stdcall onPreRestore(CVssWriter* self, IVssWriterComponents* components)
    VSSAPI_EXPORT("?OnPreRestore@CVssWriter@@UAG_NPAVIVssWriterComponents@@@Z");
bool __stdcall onPostRestore(CVssWriter* self, IVssWriterComponents* components)
    VSSAPI_EXPORT("?OnPostRestore@CVssWriter@@UAG_NPAVIVssWriterComponents@@@Z");
bool __stdcall onPostSnapshot(CVssWriter* self, IVssWriterComponents* components)
    VSSAPI_EXPORT("?OnPostSnapshot@CVssWriter@@UAG_NPAVIVssWriterComponents@@@Z");
bool __stdcall onBackOffIOOnVolume(CVssWriter* self, VSS_PWSZ volume, VSS_ID snapshotId,
                                   VSS_ID providerId)
    VSSAPI_EXPORT("?OnBackOffIOOnVolume@CVssWriter@@UAG_NPAGU_GUID@@1@Z");
bool __stdcall onContinueIOOnVolume(CVssWriter* self, VSS_PWSZ volume, VSS_ID snapshotId,
                                    VSS_ID providerId)
    VSSAPI_EXPORT("?OnContinueIOOnVolume@CVssWriter@@UAG_NPAGU_GUID@@1@Z");
bool __stdcall onVSSShutdown(CVssWriter* self) VSSAPI_EXPORT("?OnVSSShutdown@CVssWriter@@UAG_NXZ");
bool __stdcall onVSSApplicationStartup(CVssWriter* self)
    VSSAPI_EXPORT("?OnVSSApplicationStartup@CVssWriter@@UAG_NXZ");

// Initialize, in its two exported forms: since Windows Server 2003 SP1 with
// the writer instance name last, before that without it.
enum class InitializeForm { WithInstanceName, WithoutInstanceName, Missing };

inline constexpr char kInitializeWithInstanceName[] =
    "?Initialize@CVssWriter@@QAGJU_GUID@@PBGW4VSS_USAGE_TYPE@@W4VSS_SOURCE_TYPE@@"
    "W4_VSS_APPLICATION_LEVEL@@KW4VSS_ALTERNATE_WRITER_STATE@@_NPBG@Z";
inline constexpr char kInitializeWithoutInstanceName[] =
    "?Initialize@CVssWriter@@QAGJU_GUID@@PBGW4VSS_USAGE_TYPE@@W4VSS_SOURCE_TYPE@@"
    "W4_VSS_APPLICATION_LEVEL@@KW4VSS_ALTERNATE_WRITER_STATE@@_N@Z";

using InitializeWithInstanceName = HRESULT(__stdcall*)(CVssWriter*, VSS_ID, LPCWSTR, VSS_USAGE_TYPE,
                                                       VSS_SOURCE_TYPE, VSS_APPLICATION_LEVEL,
                                                       DWORD, VSS_ALTERNATE_WRITER_STATE, bool,
                                                       LPCWSTR);
using InitializeWithoutInstanceName = HRESULT(__stdcall*)(CVssWriter*, VSS_ID, LPCWSTR,
                                                          VSS_USAGE_TYPE, VSS_SOURCE_TYPE,
                                                          VSS_APPLICATION_LEVEL, DWORD,
                                                          VSS_ALTERNATE_WRITER_STATE, bool);

// The library the writer's other members are imported from.
inline HMODULE library() { return GetModuleHandleW(L"vssapi.dll"); }

inline void* initializeExport(const char* name) {
    HMODULE module = library();
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

inline InitializeForm initializeForm() {
    if (initializeExport(kInitializeWithInstanceName)) return InitializeForm::WithInstanceName;
    if (initializeExport(kInitializeWithoutInstanceName)) {
        return InitializeForm::WithoutInstanceName;
    }
    return InitializeForm::Missing;
}

// The earlier form drops the instance name: that system has no place for it.
inline HRESULT initialize(CVssWriter* self, VSS_ID writerId, LPCWSTR writerName,
                          VSS_USAGE_TYPE usage, VSS_SOURCE_TYPE source, VSS_APPLICATION_LEVEL level,
                          DWORD freezeTimeout, VSS_ALTERNATE_WRITER_STATE alternate,
                          bool ioThrottlingOnly, LPCWSTR instanceName) {
    if (void* later = initializeExport(kInitializeWithInstanceName)) {
        return reinterpret_cast<InitializeWithInstanceName>(later)(
            self, writerId, writerName, usage, source, level, freezeTimeout, alternate,
            ioThrottlingOnly, instanceName);
    }
    if (void* earlier = initializeExport(kInitializeWithoutInstanceName)) {
        return reinterpret_cast<InitializeWithoutInstanceName>(earlier)(
            self, writerId, writerName, usage, source, level, freezeTimeout, alternate,
            ioThrottlingOnly);
    }
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

}  // namespace vssapi

#undef VSSAPI_EXPORT
