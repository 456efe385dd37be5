#pragma once
// The process-wide settings of the writer, filled from the command line before
// the writer subscribes and only read afterwards, and the numbering of the
// writer's event phases.

#include <atomic>
#include <cstdint>
#include <string>

namespace snapscribe {

enum Phase : int {
    PhaseNone = 0,
    PhaseIdentify = 1,
    PhasePrepareForBackup = 2,
    PhasePrepareForSnapshot = 3,
    PhaseFreeze = 4,
    PhaseThaw = 5,
    PhasePostSnapshot = 6,
    PhaseAbort = 7,
    PhaseBackupComplete = 8,
    PhaseBackupShutdown = 9,
    PhasePreRestore = 10,
    PhasePostRestore = 11,
};

// The phase a "/fp" letter names, in either case; PhaseNone for any other.
Phase phaseFromLetter(wchar_t letter);

constexpr std::size_t kSidMaxChars = 11;
constexpr std::size_t kSidNarrowMaxBytes = 10;
// The local descriptor holds only names shorter than the longest narrow name.
constexpr std::size_t kSidConnectMaxBytes = kSidNarrowMaxBytes - 1;
constexpr std::size_t kTraceFileMaxBytes = 770;
constexpr std::uint32_t kTraceLevelAll = 0xFFFFFFFF;
// A trace file name starting with this byte asks to remove the stored name.
constexpr char kTraceFileRemove = '\x01';
constexpr std::uint32_t kTlsOutOfIndexes = 0xFFFFFFFF;

struct WriterSettings {
    std::wstring Sid;
    std::string SidNarrow;  // system code page; empty when the name does not fit
    std::uint32_t TraceLevel = 0;
    std::string TraceFile;  // system code page
    int FailPhase = PhaseNone;
    bool HangEnabled = false;
    std::uint32_t HangMillis = 120000;
    // Cleared by the console control handler's thread, polled by the main one.
    std::atomic<bool> Running{true};
    std::uint32_t TlsIndex = kTlsOutOfIndexes;
};

// The one record of the process.
WriterSettings& writerSettings();

}  // namespace snapscribe
