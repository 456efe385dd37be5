#pragma once
// The backup metadata a component carries from backup to restore, and the
// texts of the restore metadata and backup stamps. Kept free of the platform
// so they can be tested and fuzzed on their own.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snapscribe {

// The platform's backup types.
enum BackupType : std::int32_t {
    BackupUndefined = 0,
    BackupFull = 1,
    BackupIncremental = 2,
    BackupDifferential = 3,
    BackupLog = 4,
    BackupCopy = 5,
    BackupOther = 6,
};

// "FULL" ... "OTHER"; "UNDEFINED" for any other number.
const wchar_t* backupTypeName(std::int32_t backupType);

// INCREMENTAL, DIFFERENTIAL and LOG backups carry logs, not database files.
bool isLogTypeBackup(std::int32_t backupType);

// What composing a component's metadata needs from the database.
struct MetadataNeeds {
    bool trackingSwitch = false;  // the change-tracking switch runs first
    bool checkpoint = false;
    bool snapshotControlFile = false;
    bool directories = false;
    bool dbName = false;
};
MetadataNeeds metadataNeeds(std::uint32_t kind, std::int32_t backupType, bool mediaRecovery);

struct MetadataFacts {
    std::uint32_t kind = 0;
    std::int32_t backupType = 0;
    std::uint32_t dbid = 0;
    std::int32_t tsNum = 0;
    std::uint32_t fuzzyCount = 0;
    bool mediaRecovery = false;
    std::wstring checkpoint;
    std::wstring snapshotControlFile;
    std::wstring dbName;
    std::vector<std::wstring> directories;
};
// Nothing for a kind outside 1 to 9.
std::optional<std::wstring> composeMetadataText(const MetadataFacts& facts);

// What a component's metadata tells at restore, field by field.
struct ParsedMetadata {
    std::size_t fieldCount = 0;
    std::optional<std::uint32_t> dbid;
    std::optional<std::wstring> cfFile;
    std::optional<std::uint32_t> noRecover;
    std::vector<std::wstring> directories;
    bool nonFullBackup = false;
    std::vector<std::wstring> traceLines;  // key and value of every field read
};
ParsedMetadata parseMetadataText(std::wstring_view metadata);

inline constexpr wchar_t kRestorableText[] = L"RESTORABLE=TRUE";

// "FILETIME=<high>,<low>;" of a file time.
std::wstring backupStampText(std::uint64_t fileTime);

// The header of one archived log in the restore metadata; its payload follows.
std::wstring archivedLogHeader(std::wstring_view name, std::wstring_view firstChange,
                               std::wstring_view nextChange);

// Bytes the archived-log list needs once a log of `fileSize` bytes is added
// to the `used` bytes so far: room for its text, the next header and the end.
// A need beyond 64 bits is the largest count, never a small wrapped one.
constexpr std::uint64_t archivedLogListNeed(std::uint64_t used, std::uint64_t fileSize) {
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
    constexpr std::uint64_t kRoom = 4096;
    if (fileSize / 3 > (kLargest - 1) / 4) return kLargest;
    const std::uint64_t text = fileSize / 3 * 4 + fileSize % 3 * 4 / 3;
    if (used > kLargest - kRoom || text > kLargest - kRoom - used) return kLargest;
    return used + text + kRoom;
}

}  // namespace snapscribe
