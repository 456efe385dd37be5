#pragma once
// Everything an instance remembers between calls, kept as one JSON state
// file in the instance's directory. File names are those of the machine
// (system code page), as the server stores them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vorlix {

enum class InstanceStatus { Down, Starting, Started, Mounted, Open };

struct Tablespace {
    int number = 0;
    std::string name;

    bool operator==(const Tablespace&) const = default;
};

struct Datafile {
    int number = 0;
    std::string name;
    int tablespace = 0;
    bool online = true;
    bool fuzzy = false;
    bool backupMode = false;
    std::string error;  // read error the header view shows; empty for none
    uint64_t checkpoint = 0;
    uint32_t blocks = 0;  // data blocks in use after the header block

    bool operator==(const Datafile&) const = default;
};

struct LogMember {
    int group = 0;
    std::string member;

    bool operator==(const LogMember&) const = default;
};

struct ArchiveDest {
    int id = 0;
    std::string location;
    std::string target = "PRIMARY";
    std::string status = "VALID";
    bool recoveryArea = false;

    bool operator==(const ArchiveDest&) const = default;
};

// An archived log, a backup piece or a datafile copy: a file the control
// file records.
struct FileRecord {
    uint32_t recid = 0;
    uint32_t stamp = 0;
    std::string name;
    int destId = 0;
    int sequence = 0;
    uint64_t firstChange = 0;
    uint64_t nextChange = 0;
    uint32_t blocks = 0;
    uint32_t blockSize = 512;
    std::string status = "A";
    bool recoveryArea = false;
    uint64_t resetlogsChange = 0;
    bool archived = true;
    bool backedUp = false;
    int fileNumber = 0;  // datafile copies

    bool operator==(const FileRecord&) const = default;
};

struct Incarnation {
    int number = 0;
    uint64_t resetlogsChange = 0;
    uint64_t priorResetlogsChange = 0;

    bool operator==(const Incarnation&) const = default;
};

struct Pipe {
    std::string name;  // upper case, as the server keeps pipe names
    std::string type = "PUBLIC";
    std::vector<std::vector<std::string>> messages;

    bool operator==(const Pipe&) const = default;
};

// A user table in the catalog; its rows live in its tablespace's first datafile.
struct UserTable {
    std::string name;  // upper case
    std::vector<std::string> columns;
    std::string tablespace = "USERS";
    uint32_t id = 0;
    uint32_t nextKey = 1;

    bool operator==(const UserTable&) const = default;
};

struct InjectedFailure {
    std::string match;  // statement text fragment, compared without case
    int error = 0;
    std::string message;
    bool every = false;
    bool atClose = false;  // the cursor of the statement then cannot be closed

    bool operator==(const InjectedFailure&) const = default;
};

struct InstanceState {
    std::string sid;
    std::string directory;
    uint32_t dbid = 0;
    std::string dbName;
    InstanceStatus status = InstanceStatus::Down;
    bool readOnly = false;
    bool archiveLog = true;
    std::string controlFileType = "CURRENT";
    uint64_t currentChange = 1000;
    uint64_t checkpointChange = 1000;
    uint64_t logFirstChange = 1000;
    int logSequence = 1;
    uint64_t resetlogsChange = 1;
    uint32_t nextRecid = 1;
    uint32_t nextStamp = 700000000;
    int startupCount = 0;
    int bctSwitches = 0;
    int agedFileRefreshes = 0;
    bool usingSnapshotControlFile = false;
    bool resetlogsRequired = false;  // after an incomplete recovery
    std::string snapshotControlFile;
    std::string serverParameterFile;  // read at start-up when it exists
    std::string initParameterFile;    // read at start-up otherwise

    std::vector<Tablespace> tablespaces;
    std::vector<Datafile> datafiles;
    std::vector<LogMember> logMembers;
    std::vector<std::string> tempFiles;
    std::string blockChangeTrackingFile;            // empty: tracking disabled
    std::map<std::string, std::string> parameters;  // lower-case names
    std::vector<ArchiveDest> archiveDests;
    std::vector<FileRecord> archivedLogs;
    std::vector<FileRecord> backupPieces;
    std::vector<FileRecord> datafileCopies;
    std::vector<Incarnation> incarnations;
    std::vector<Pipe> pipes;
    std::map<std::string, std::string> users;  // upper-case name -> password
    std::vector<UserTable> tables;
    std::vector<InjectedFailure> failures;

    std::vector<std::string> controlFiles() const;  // from the control_files parameter
    Datafile* datafile(int number);
    Tablespace* tablespace(const std::string& upperName);
    UserTable* table(const std::string& upperName);
    Pipe* pipe(const std::string& upperName);
    const Pipe* pipe(const std::string& upperName) const;
    std::string tablespaceName(int number) const;
    uint64_t nextChange(uint64_t step = 1) { return currentChange += step; }

    bool operator==(const InstanceState&) const = default;
};

const char* statusName(InstanceStatus status);
InstanceStatus statusFromName(const std::string& name);  // throws std::invalid_argument

std::string toJson(const InstanceState& state);
InstanceState stateFromJson(const std::string& text);  // throws std::exception on bad text

// The state as the instance keeps it on disk: a small core, and each long
// list in parts of kRecordsPerPart records in files of their own, so that a
// change rewrites, and another process reads again, only the parts it touched.
enum class LongList { Tablespaces, Datafiles, ArchivedLogs, BackupPieces, DatafileCopies, Pipes };
inline constexpr LongList kLongLists[] = {LongList::Tablespaces,    LongList::Datafiles,
                                          LongList::ArchivedLogs,   LongList::BackupPieces,
                                          LongList::DatafileCopies, LongList::Pipes};
inline constexpr size_t kRecordsPerPart = 256;
const char* listName(LongList list);
size_t partCount(const InstanceState& state, LongList list);

// The file names of each long list's parts, in order.
using PartFiles = std::array<std::vector<std::string>, std::size(kLongLists)>;

// Everything but the long lists, with the names of their part files. Reading
// it leaves the lists empty, or as the text holds them inline (a state file
// written whole); throws std::exception on bad text.
std::string coreToJson(const InstanceState& state, const PartFiles& parts);
InstanceState stateFromCore(const std::string& text, PartFiles& parts);

std::string partToJson(const InstanceState& state, LongList list, size_t part);
void appendPartFromJson(InstanceState& state, LongList list, const std::string& text);
// Moves part `part` of `from`'s list to the end of `to`'s.
void appendPartFrom(InstanceState& to, InstanceState& from, LongList list, size_t part);
// Tells apart any two contents of a part that differ (a 64-bit digest of
// every field), without copying or serialising it.
uint64_t partFingerprint(const InstanceState& state, LongList list, size_t part);

std::string upper(std::string text);
std::string lower(std::string text);

}  // namespace vorlix
