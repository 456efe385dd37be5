// Interface of the platform's shadow-copy writer framework, vssapi.dll: its exported names.
#pragma once
// The platform's shadow-copy library (vssapi.dll): the writer base class's
// members as the library exports them, by their Microsoft C++ names.
//
// GCC cannot produce those names or call a member through them, so each
// member is declared here as a free function that is binary-identical to it.
//
// 32-bit: a `__thiscall` member receives `this` in ECX, exactly like a free
// `__thiscall` function whose first argument is the object; a `__stdcall`
// member receives `this` as its first stack argument, exactly like a free
// `__stdcall` function whose first argument is the object. A member that
// answers a structure by value takes the caller's result buffer as its second
// stack argument, after `this`, and answers its address. The assembler names
// are the library's export names, bound through an import library made from
// vssapi.def beside this header (no leading underscore: these are not C names).
//
// x64 has one calling convention: `this` in RCX, then the arguments, a
// structure of more than eight bytes (a GUID) passed by the address of a
// copy, a structure answered by value through a result buffer that follows
// `this` — again a free function taking the object first. The x64 library
// exports the constructor, destructor, Subscribe and Unsubscribe under the
// same names on every system (bound through vssapi64.def); the other members
// appear under x64 names on the platform but under their 32-bit names in some
// libraries (Wine's builtin one), so importing either kind would keep the
// writer from loading where the other is installed. They are found by name at
// run time, and a library lacking any of them counts as not implementing the
// class.
//
// Initialize is not among the imports: the library exports it in one of two
// forms, depending on the system, and a writer binds to whichever it finds.

#include <windows.h>

#include <vss.h>

class CVssWriter;
struct IVssCreateWriterMetadata;
struct IVssWriterComponents;

#define VSSAPI_EXPORT(name) __asm__("\"" name "\"")

namespace vssapi {

// The library the writer's other members are imported from.
inline HMODULE library() { return GetModuleHandleW(L"vssapi.dll"); }

inline void* memberExport(const char* name) {
    HMODULE module = library();
    return module && name ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

#if defined(_WIN64)

void* construct(CVssWriter* self) VSSAPI_EXPORT("??0CVssWriter@@QEAA@XZ");
void destruct(CVssWriter* self) VSSAPI_EXPORT("??1CVssWriter@@UEAA@XZ");
HRESULT subscribe(CVssWriter* self, DWORD eventFlags)
    VSSAPI_EXPORT("?Subscribe@CVssWriter@@QEAAJK@Z");
HRESULT unsubscribe(CVssWriter* self) VSSAPI_EXPORT("?Unsubscribe@CVssWriter@@QEAAJXZ");

// The members found at run time, by their x64 names.
inline constexpr char kCurrentSnapshotSetId[] =
    "?GetCurrentSnapshotSetId@CVssWriter@@IEBA?AU_GUID@@XZ";
inline constexpr char kCurrentVolumeCount[] = "?GetCurrentVolumeCount@CVssWriter@@IEBAIXZ";
inline constexpr char kCurrentLevel[] =
    "?GetCurrentLevel@CVssWriter@@IEBA?AW4_VSS_APPLICATION_LEVEL@@XZ";
inline constexpr char kIsPathAffected[] = "?IsPathAffected@CVssWriter@@IEBA_NPEBG@Z";
inline constexpr char kIsBootableSystemStateBackedUp[] =
    "?IsBootableSystemStateBackedUp@CVssWriter@@IEBA_NXZ";
inline constexpr char kAreComponentsSelected[] = "?AreComponentsSelected@CVssWriter@@IEBA_NXZ";
inline constexpr char kBackupType[] = "?GetBackupType@CVssWriter@@IEBA?AW4_VSS_BACKUP_TYPE@@XZ";
inline constexpr char kRestoreType[] = "?GetRestoreType@CVssWriter@@IEBA?AW4_VSS_RESTORE_TYPE@@XZ";
inline constexpr char kIsPartialFileSupportEnabled[] =
    "?IsPartialFileSupportEnabled@CVssWriter@@IEBA_NXZ";
inline constexpr char kSetWriterFailure[] = "?SetWriterFailure@CVssWriter@@IEAAJJ@Z";
inline constexpr char kOnIdentify[] =
    "?OnIdentify@CVssWriter@@UEAA_NPEAVIVssCreateWriterMetadata@@@Z";
inline constexpr char kOnPrepareBackup[] =
    "?OnPrepareBackup@CVssWriter@@UEAA_NPEAVIVssWriterComponents@@@Z";
inline constexpr char kOnBackupComplete[] =
    "?OnBackupComplete@CVssWriter@@UEAA_NPEAVIVssWriterComponents@@@Z";
inline constexpr char kOnBackupShutdown[] = "?OnBackupShutdown@CVssWriter@@UEAA_NU_GUID@@@Z";
inline constexpr char kOnPreRestore[] =
    "?OnPreRestore@CVssWriter@@UEAA_NPEAVIVssWriterComponents@@@Z";
inline constexpr char kOnPostRestore[] =
    "?OnPostRestore@CVssWriter@@UEAA_NPEAVIVssWriterComponents@@@Z";
inline constexpr char kOnPostSnapshot[] =
    "?OnPostSnapshot@CVssWriter@@UEAA_NPEAVIVssWriterComponents@@@Z";
inline constexpr char kOnBackOffIOOnVolume[] =
    "?OnBackOffIOOnVolume@CVssWriter@@UEAA_NPEAGU_GUID@@1@Z";
inline constexpr char kOnContinueIOOnVolume[] =
    "?OnContinueIOOnVolume@CVssWriter@@UEAA_NPEAGU_GUID@@1@Z";
inline constexpr char kOnVSSShutdown[] = "?OnVSSShutdown@CVssWriter@@UEAA_NXZ";
inline constexpr char kOnVSSApplicationStartup[] = "?OnVSSApplicationStartup@CVssWriter@@UEAA_NXZ";

inline constexpr const char* kRunTimeMembers[] = {kCurrentSnapshotSetId,
                                                  kCurrentVolumeCount,
                                                  kCurrentLevel,
                                                  kIsPathAffected,
                                                  kIsBootableSystemStateBackedUp,
                                                  kAreComponentsSelected,
                                                  kBackupType,
                                                  kRestoreType,
                                                  kIsPartialFileSupportEnabled,
                                                  kSetWriterFailure,
                                                  kOnIdentify,
                                                  kOnPrepareBackup,
                                                  kOnBackupComplete,
                                                  kOnBackupShutdown,
                                                  kOnPreRestore,
                                                  kOnPostRestore,
                                                  kOnPostSnapshot,
                                                  kOnBackOffIOOnVolume,
                                                  kOnContinueIOOnVolume,
                                                  kOnVSSShutdown,
                                                  kOnVSSApplicationStartup};

inline bool runTimeMembersFound() {
    for (const char* name : kRunTimeMembers) {
        if (!memberExport(name)) return false;
    }
    return true;
}

// Only called once runTimeMembersFound() has said the member is there.
template <typename Result, typename... Arguments>
Result callMember(const char* name, Arguments... arguments) {
    using Member = Result (*)(Arguments...);
    return reinterpret_cast<Member>(memberExport(name))(arguments...);
}

inline VSS_ID* currentSnapshotSetId(const CVssWriter* self, VSS_ID* result) {
    return callMember<VSS_ID*>(kCurrentSnapshotSetId, self, result);
}
inline UINT currentVolumeCount(const CVssWriter* self) {
    return callMember<UINT>(kCurrentVolumeCount, self);
}
inline VSS_APPLICATION_LEVEL currentLevel(const CVssWriter* self) {
    return callMember<VSS_APPLICATION_LEVEL>(kCurrentLevel, self);
}
inline bool isPathAffected(const CVssWriter* self, LPCWSTR path) {
    return callMember<bool>(kIsPathAffected, self, path);
}
inline bool isBootableSystemStateBackedUp(const CVssWriter* self) {
    return callMember<bool>(kIsBootableSystemStateBackedUp, self);
}
inline bool areComponentsSelected(const CVssWriter* self) {
    return callMember<bool>(kAreComponentsSelected, self);
}
inline VSS_BACKUP_TYPE backupType(const CVssWriter* self) {
    return callMember<VSS_BACKUP_TYPE>(kBackupType, self);
}
inline VSS_RESTORE_TYPE restoreType(const CVssWriter* self) {
    return callMember<VSS_RESTORE_TYPE>(kRestoreType, self);
}
inline bool isPartialFileSupportEnabled(const CVssWriter* self) {
    return callMember<bool>(kIsPartialFileSupportEnabled, self);
}
inline HRESULT setWriterFailure(CVssWriter* self, HRESULT hr) {
    return callMember<HRESULT>(kSetWriterFailure, self, hr);
}

inline bool onIdentify(CVssWriter* self, IVssCreateWriterMetadata* metadata) {
    return callMember<bool>(kOnIdentify, self, metadata);
}
inline bool onPrepareBackup(CVssWriter* self, IVssWriterComponents* components) {
    return callMember<bool>(kOnPrepareBackup, self, components);
}
inline bool onBackupComplete(CVssWriter* self, IVssWriterComponents* components) {
    return callMember<bool>(kOnBackupComplete, self, components);
}
inline bool onBackupShutdown(CVssWriter* self, VSS_ID snapshotSetId) {
    return callMember<bool>(kOnBackupShutdown, self, snapshotSetId);
}
inline bool onPreRestore(CVssWriter* self, IVssWriterComponents* components) {
    return callMember<bool>(kOnPreRestore, self, components);
}
inline bool onPostRestore(CVssWriter* self, IVssWriterComponents* components) {
    return callMember<bool>(kOnPostRestore, self, components);
}
inline bool onPostSnapshot(CVssWriter* self, IVssWriterComponents* components) {
    return callMember<bool>(kOnPostSnapshot, self, components);
}
inline bool onBackOffIOOnVolume(CVssWriter* self, VSS_PWSZ volume, VSS_ID snapshotId,
                                VSS_ID providerId) {
    return callMember<bool>(kOnBackOffIOOnVolume, self, volume, snapshotId, providerId);
}
inline bool onContinueIOOnVolume(CVssWriter* self, VSS_PWSZ volume, VSS_ID snapshotId,
                                 VSS_ID providerId) {
    return callMember<bool>(kOnContinueIOOnVolume, self, volume, snapshotId, providerId);
}
inline bool onVSSShutdown(CVssWriter* self) { return callMember<bool>(kOnVSSShutdown, self); }
inline bool onVSSApplicationStartup(CVssWriter* self) {
    return callMember<bool>(kOnVSSApplicationStartup, self);
}

#else
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

// Every member is imported.
inline bool runTimeMembersFound() { return true; }

#endif

// Initialize, in its two exported forms: since Windows Server 2003 SP1 with
// the writer instance name last, before that without it.
enum class InitializeForm { WithInstanceName, WithoutInstanceName, Missing };

// The back-reference "1" in the later form stands for the second argument's
// type, which the instance name repeats. x64 systems all take the instance
// name, so their library exports only the later form.
#if defined(_WIN64)
inline constexpr char kInitializeWithInstanceName[] =
    "?Initialize@CVssWriter@@QEAAJU_GUID@@PEBGW4VSS_USAGE_TYPE@@W4VSS_SOURCE_TYPE@@"
    "W4_VSS_APPLICATION_LEVEL@@KW4VSS_ALTERNATE_WRITER_STATE@@_N1@Z";
inline constexpr const char* kInitializeWithoutInstanceName = nullptr;
#else
inline constexpr char kInitializeWithInstanceName[] =
    "?Initialize@CVssWriter@@QAGJU_GUID@@PBGW4VSS_USAGE_TYPE@@W4VSS_SOURCE_TYPE@@"
    "W4_VSS_APPLICATION_LEVEL@@KW4VSS_ALTERNATE_WRITER_STATE@@_N1@Z";
inline constexpr char kInitializeWithoutInstanceName[] =
    "?Initialize@CVssWriter@@QAGJU_GUID@@PBGW4VSS_USAGE_TYPE@@W4VSS_SOURCE_TYPE@@"
    "W4_VSS_APPLICATION_LEVEL@@KW4VSS_ALTERNATE_WRITER_STATE@@_N@Z";
#endif

using InitializeWithInstanceName = HRESULT(__stdcall*)(CVssWriter*, VSS_ID, LPCWSTR, VSS_USAGE_TYPE,
                                                       VSS_SOURCE_TYPE, VSS_APPLICATION_LEVEL,
                                                       DWORD, VSS_ALTERNATE_WRITER_STATE, bool,
                                                       LPCWSTR);
using InitializeWithoutInstanceName = HRESULT(__stdcall*)(CVssWriter*, VSS_ID, LPCWSTR,
                                                          VSS_USAGE_TYPE, VSS_SOURCE_TYPE,
                                                          VSS_APPLICATION_LEVEL, DWORD,
                                                          VSS_ALTERNATE_WRITER_STATE, bool);

inline InitializeForm initializeForm() {
    if (memberExport(kInitializeWithInstanceName)) return InitializeForm::WithInstanceName;
    if (memberExport(kInitializeWithoutInstanceName)) {
        return InitializeForm::WithoutInstanceName;
    }
    return InitializeForm::Missing;
}

// The earlier form drops the instance name: that system has no place for it.
inline HRESULT initialize(CVssWriter* self, VSS_ID writerId, LPCWSTR writerName,
                          VSS_USAGE_TYPE usage, VSS_SOURCE_TYPE source, VSS_APPLICATION_LEVEL level,
                          DWORD freezeTimeout, VSS_ALTERNATE_WRITER_STATE alternate,
                          bool ioThrottlingOnly, LPCWSTR instanceName) {
    if (void* later = memberExport(kInitializeWithInstanceName)) {
        return reinterpret_cast<InitializeWithInstanceName>(later)(
            self, writerId, writerName, usage, source, level, freezeTimeout, alternate,
            ioThrottlingOnly, instanceName);
    }
    if (void* earlier = memberExport(kInitializeWithoutInstanceName)) {
        return reinterpret_cast<InitializeWithoutInstanceName>(earlier)(
            self, writerId, writerName, usage, source, level, freezeTimeout, alternate,
            ioThrottlingOnly);
    }
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

}  // namespace vssapi

#undef VSSAPI_EXPORT
