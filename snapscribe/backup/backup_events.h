#pragma once
// The bodies of the backup events, from prepare backup to backup shutdown,
// each run inside the event frame.

#include <windows.h>

#include <vswriter.h>

#include <cstdint>
#include <functional>
#include <string>

#include "snapscribe/host/writer_settings.h"

namespace snapscribe {

constexpr std::uint32_t kFuzzyCountFailure = 0xCFFF0021;
constexpr std::uint32_t kControlFileTypeFailure = 0xCFFF002B;
constexpr std::uint32_t kInconsistentBackupFailure = 0xCFFF002C;
constexpr std::uint32_t kLogSwitchFailure = 0xCFFF002E;
constexpr std::uint32_t kBeginBackupFailure = 0xCFFF0030;
constexpr std::uint32_t kControlFileSnapshotFailure = 0xCFFF0031;
constexpr std::uint32_t kEndBackupFailure = 0xCFFF0032;
constexpr std::uint32_t kLogModeChangedFailure = 0xCFFF0033;
constexpr std::uint32_t kDatafileHeaderFailure = 0xCFFF0040;

constexpr std::uint32_t kVolumeBackupEvent = 0x4FFF100A;
constexpr std::uint32_t kComponentBackedUpEvent = 0x4FFF100B;

// SnapshotFile::fileKind and fileFlags
constexpr std::uint32_t kSnapshotDatafile = 1;
constexpr std::uint32_t kSnapshotControlFile = 3;
constexpr std::uint32_t kInBackupMode = 0x1;
constexpr std::uint32_t kOnline = 0x2;
constexpr std::uint32_t kFuzzy = 0x4;

// A database file taking part in the shadow copy.
struct SnapshotFile {
    std::string fileName;  // as the database reports it
    std::string tsName;
    std::uint32_t fileNumber = 0;
    std::uint32_t tsNumber = 0;
    std::uint32_t fileKind = 0;
    std::uint32_t fileFlags = 0;
};

// Whether a selected component covers the file.
bool isCoveredBySelection(const SnapshotFile& file);

// What the platform tells about the running backup; only the writer class
// may ask, so it hands this to the event bodies.
struct RequestorView {
    std::int32_t backupType = 0;
    bool componentsSelected = false;
    std::function<bool(const wchar_t* path)> pathAffected;
};

// The conversation's record of the database state the backup depends on.
void fillConversation(const RequestorView& requestor);

void prepareBackup(const RequestorView& requestor, IVssWriterComponents* components);
void prepareSnapshot(const RequestorView& requestor);
void freeze();
void thaw();
void postSnapshot(IVssWriterComponents* components);
void backupComplete();
void abortBackup();
void backupShutdown();

// The per-file work of freeze, thaw, abort, backup complete and shutdown.
void processSnapshotFiles(Phase phase);

}  // namespace snapscribe
