#pragma once
// The writer of one stand-in instance, run inside a benchmark's own process
// so that its events can be timed from the inside.

#include <windows.h>

#include <psapi.h>

#include <string>

#include "snapscribe/writer/writer.h"
#include "snapscribe/host/code_page.h"
#include "snapscribe/host/writer_settings.h"

namespace bench {

// The writer id of the backup benchmarks; a restore needs the writer of the backup.
constexpr VSS_ID kBackupWriterId = {
    0x1f6a3d92, 0x5b07, 0x4c8e, {0x93, 0x2d, 0x61, 0xe0, 0x4a, 0xb8, 0x17, 0x5c}};

// The settings the writer program makes for the instance `sid`.
inline void prepareWriterSettings(const std::wstring& sid) {
    snapscribe::WriterSettings& settings = snapscribe::writerSettings();
    settings.Sid = sid;
    settings.SidNarrow = snapscribe::systemNarrow(sid);
    settings.TlsIndex = TlsAlloc();
    SetEnvironmentVariableW(L"VORLIX_SID", sid.c_str());
}

// Initializes `writer` for the instance `sid` under `writerId` and subscribes
// it to backup and restore events; false when the framework refuses either.
// The writer program's freeze timeout is 60 s.
inline bool subscribeWriter(snapscribe::CVssWriterVorlix& writer, const VSS_ID& writerId,
                            const std::wstring& sid, DWORD freezeTimeoutMs = 60000) {
    return SUCCEEDED(writer.Initialize(writerId, L"Vorlix VSS Writer", VSS_UT_USERDATA,
                                       VSS_ST_TRANSACTEDDB, VSS_APP_FRONT_END, freezeTimeoutMs,
                                       VSS_AWS_NO_ALTERNATE_WRITER, false, sid.c_str())) &&
           SUCCEEDED(writer.Subscribe(6));
}

inline PROCESS_MEMORY_COUNTERS_EX memoryCounters() {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    return memory;
}

}  // namespace bench
