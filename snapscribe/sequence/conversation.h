#pragma once
// The state the events of one backup or restore sequence share: the
// conversation record with its component entries, the database session of
// the sequence, and the identify event's own session. All of it is
// process-wide and used by one event at a time.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Records owned elsewhere: the database wrapper's session, the platform's
// component interface, the snapshot preparation's file record and the
// restore metadata's archived-log record.
struct VcwSession;
struct IVssComponent;

namespace snapscribe {

struct SnapshotFile;
struct ExtractedLog;

// Conversation::flags
constexpr std::uint32_t SEL_SPFILE = 0x01;
constexpr std::uint32_t SEL_CONTROL_FILE = 0x02;
constexpr std::uint32_t SEL_DATA_FILES = 0x04;
constexpr std::uint32_t SEL_DATABASE = 0x08;
constexpr std::uint32_t NON_FULL_BACKUP = 0x10;
constexpr std::uint32_t NO_RECOVER = 0x20;
constexpr std::uint32_t RECOVER_UNTIL_SNAPSHOT = 0x40;
constexpr std::uint32_t RECOVER_COMPLETE = 0x80;

constexpr std::size_t kComponentMetadataMaxChars = 262144;
constexpr std::size_t kCfFileMaxChars = 771;
constexpr std::size_t kCommandSlots = 20;

// The requestor's component, released with the entry that holds it.
struct ComponentRelease {
    void operator()(IVssComponent* component) const noexcept;
};
using ComponentReference = std::unique_ptr<IVssComponent, ComponentRelease>;

using CommandSlots = std::array<std::wstring, kCommandSlots>;

struct ComponentEntry {
    std::wstring metadata;
    std::wstring name;
    std::int32_t tsNum = 0;    // -1 for all tablespaces
    std::int32_t fileNum = 0;  // datafile or archive destination number
    std::uint32_t fileClass = 0;
    std::uint32_t kind = 0;
    std::uint32_t dbid = 0;
    std::wstring cfFile;
    // The snapshot control file's name before a new target moved it; empty
    // when none did.
    std::wstring formerCfFile;
    std::uint32_t noRecover = 0;
    ComponentReference component;
    CommandSlots preWriterCmds, preSqlCmds, preToolCmds;
    CommandSlots postWriterCmds, postSqlCmds, postToolCmds;
};

// Newest recovery-area file of one kind; recordId 0 means none.
struct RecoveryAreaStamp {
    std::uint32_t recordId = 0;
    std::uint32_t stamp = 0;
};

struct Conversation {
    // Shared owners, so the records stay opaque here and are released by
    // whoever created them.
    std::vector<std::shared_ptr<SnapshotFile>> snapshotFiles;
    std::vector<std::unique_ptr<ComponentEntry>> entries;
    std::uint32_t dbid = 0;
    bool componentBased = false;
    bool mediaRecovery = false;
    std::uint32_t fuzzyCount = 0;
    std::int32_t controlFileType = 0;  // 1 CURRENT, 2 BACKUP, 3 STANDBY, 4 other
    std::int32_t backupType = 0;       // the platform's backup type
    bool needsRedo = false;
    std::int32_t openMode = 0;
    bool toolRunning = false;
    std::uint32_t flags = 0;
    std::uint64_t backupTime = 0;  // file time, UTC
    RecoveryAreaStamp lastArchivedLog, lastDatafileCopy, lastBackupPiece;
    std::vector<std::shared_ptr<ExtractedLog>> extractedLogs;
    std::uint64_t maxNextScn = 0;  // highest next change number of the restored logs
};

struct SequenceState {
    std::unique_ptr<Conversation> conversation;
    VcwSession* conversationSession = nullptr;
    VcwSession* identifySession = nullptr;
};

// The one record of the process.
SequenceState& sequenceState();

// What ending a sequence needs from the database layer. It installs these
// before it opens the first session; without them there is nothing to end.
struct SequenceServices {
    void (*disconnect)(VcwSession* session);  // disconnects and releases the record
    void (*stopRecoveryTool)();
};
void installSequenceServices(const SequenceServices& services);

// Releases the conversation and disconnects the sequence's session.
void cleanupConversation();

// The clean-up of an event that ended with a handled writer failure.
void disconnectIdentifySession();
void dropConversationSession();

}  // namespace snapscribe
