// Starting, mounting and relocating the instance a restore put files back
// for, on the sequence's session.

#include "instance_control.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "recovery_text.h"
#include "relocation_text.h"
#include "restore_events.h"
#include "snapscribe/backup/backup_events.h"
#include "snapscribe/backup/backup_metadata.h"
#include "snapscribe/backup/event_frame.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/db/recovery_tool.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/file_utils.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"
#include "support/unique_handle.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kConnectFailure = 0xCFFF000B;
constexpr std::uint32_t kControlFileListFailure = 0xCFFF0011;
constexpr std::uint32_t kCursorCloseFailure = 0xCFFF0015;
constexpr std::uint32_t kServiceStartFailure = 0xCFFF001B;
constexpr std::uint32_t kPreliminaryConnectFailure = 0xCFFF001C;
constexpr std::uint32_t kInstanceStartFailure = 0xCFFF001D;
constexpr std::uint32_t kControlFileCopyFailure = 0xCFFF001F;
constexpr std::uint32_t kMountFailure = 0xCFFF0020;
constexpr std::uint32_t kFileQueryFailure = 0xCFFF0022;
constexpr std::uint32_t kRenameFailure = 0xCFFF0023;
constexpr std::uint32_t kNotStartedState = 0x4FFF1012;
constexpr std::uint32_t kInstanceStartedEvent = 0x4FFF1001;
constexpr std::uint32_t kDatabaseMountedEvent = 0x4FFF1002;

constexpr std::size_t kCommandLineChars = 4096;
constexpr std::uint32_t kToolConfigureBytes = 1999;

constexpr long kNameTooLongLine = 1801;
constexpr long kServiceStartLine = 1802;
constexpr long kPreliminaryConnectLine = 1803;
constexpr long kInstanceStartLine = 1804;
constexpr long kConnectLine = 1805;
constexpr long kNotStartedLine = 1806;
constexpr long kControlFileListLine = 1807;
constexpr long kControlFileListCloseLine = 1808;
constexpr long kControlFileCopyLine = 1809;
constexpr long kMountLine = 1810;
constexpr long kLogDirectoryLine = 1811;
constexpr long kLogDirectoryCloseLine = 1812;
constexpr long kRelocationLine = 1813;
constexpr long kRelocationCloseLine = 1814;
constexpr long kRenameLine = 1815;
constexpr long kPatternLine = 1816;

constexpr char kControlFileListQuery[] =
    "select value filename from v$parameter where name ='control_files'";
constexpr char kControlFileCopyBlock[] =
    "declare    recid number;    stamp number;    outfname varchar2(1024);   dest_name "
    "varchar2(1024); begin    for i in 1..9999 loop       dest_name := "
    "sys.dbms_backup_restore.getparm(                        "
    "sys.dbms_backup_restore.control_file, i);       if dest_name is null then          exit;  "
    "     end if;       if :1 <> dest_name then          "
    "sys.dbms_backup_restore.copyControlfile              (:1, dest_name, recid, stamp, "
    "outfname);       end if;   end loop; end;";
constexpr char kLogDirectoryQuery[] =
    "select member filename from v$logfile union select filename from v$block_change_tracking "
    "union select name filename from v$tempfile";
constexpr char kRelocationQuery[] =
    "select name filename from v$datafile where name like :1  union select member filename from "
    "v$logfile where member like :1  union select filename from v$block_change_tracking where "
    "filename    like :1  union select name filename from v$tempfile where name like :1";

// Where a query that lists file names fails, and where closing it does.
struct FileNameQuery {
    const char* statement;
    std::uint32_t failure;
    long line;
    long closeLine;
};

[[noreturn]] void failQuery(VcwSession* session, const FileNameQuery& query) {
    vcw_perr(session);
    raiseWriterFailure(query.failure, query.line);
}

// The non-null file names a query gives, with ":1" bound to `bound` when set.
std::vector<std::string> readFileNames(const FileNameQuery& query, const std::string* bound) {
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    char value[kVcwFileNameBytes] = {};
    char fileName[kVcwFileNameBytes] = {};
    std::int16_t isNull = 0;
    if (bound != nullptr) bound->copy(value, sizeof value - 1);
    if (vcw_opn(session, cursor, query.statement) != 0 ||
        (bound != nullptr &&
         vcw_bnd(session, cursor, ":1", value, sizeof value, kVcwBindIn, SQLT_STR, nullptr) != 0) ||
        vcw_dfn(session, cursor, "FILENAME", fileName, sizeof fileName, SQLT_STR, &isNull) != 0 ||
        vcw_exe(session, cursor) != 0) {
        failQuery(session, query);
    }
    std::vector<std::string> names;
    while (vcw_fet(session, cursor) == 0) {
        if (isNull != -1) names.emplace_back(fileName);
    }
    // A fetch that failed closed the cursor: names would be missing.
    if (cursor == nullptr) failQuery(session, query);
    if (vcw_cls(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kCursorCloseFailure, query.closeLine);
    }
    return names;
}

std::string narrowed(const std::wstring& text) {
    char buffer[kVcwFileNameBytes];
    toNarrow(text.c_str(), buffer, sizeof buffer, nullptr);
    return buffer;
}

void createParentDirectoriesOf(const std::string& fileName) {
    wchar_t wide[kPathCapacity];
    toWide(fileName.c_str(), wide, kPathCapacity);
    createParentDirectories(wide);
}

int refreshOpenMode() {
    const int mode = vcw_openmode(sequenceSession());
    currentConversation().openMode = mode;
    return mode;
}

// The descriptor holds only names shorter than the longest narrow name; a
// start that could not connect afterwards is refused before it begins.
std::string localDescriptor() {
    const WriterSettings& settings = writerSettings();
    if (settings.SidNarrow.size() > kSidConnectMaxBytes) {
        if (tracing(TRC_MISC)) {
            traceMsgA("\nInstance name %s is longer than %u bytes: the instance cannot be started",
                      settings.SidNarrow.c_str(), static_cast<unsigned>(kSidConnectMaxBytes));
        }
        raiseWriterFailure(kConnectFailure, kNameTooLongLine, {settings.Sid});
    }
    char descriptor[kVcwConnectStringMaxBytes];
    makeLocalConnectString(descriptor, sizeof descriptor);
    return descriptor;
}

// Runs the instance's service start command to its end; whether the service
// was already running does not matter, only that the command has finished.
void runServiceStart() {
    std::wstring commandLine = L"net start VorlixService" + writerSettings().Sid;
    commandLine.resize(kCommandLineChars, L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        raiseWriterFailure(kServiceStartFailure, kServiceStartLine);
    }
    support::KernelHandle process(started.hProcess), thread(started.hThread);
    WaitForSingleObject(process.get(), INFINITE);
}

VcwEnvironment* environment() {
    VcwEnvironment* current = writerEnvironment();
    return current != nullptr ? current : renewWriterEnvironment();
}

// Connects the sequence's session record again, preliminary or normally.
bool connectSequenceSession(const std::string& descriptor, bool preliminary) {
    VcwSession*& session = sequenceState().conversationSession;
    const int failed = vcw_con(environment(), session, descriptor.c_str(), preliminary);
    setCurrentSession(session);
    if (failed == 0) return true;
    vcw_perr(session);
    return false;
}

void startInstanceThroughService(const std::string& descriptor) {
    runServiceStart();
    if (!connectSequenceSession(descriptor, true)) {
        raiseWriterFailure(kPreliminaryConnectFailure, kPreliminaryConnectLine);
    }
    char name[kVcwFileNameBytes];
    toNarrow(writerSettings().Sid.c_str(), name, sizeof name, nullptr);
    VcwSession* session = sequenceState().conversationSession;
    if (vcw_startup(session, 0, name) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kInstanceStartFailure, kInstanceStartLine);
    }
    if (!connectSequenceSession(descriptor, false)) {
        raiseWriterFailure(kConnectFailure, kConnectLine, {writerSettings().Sid});
    }
}

void restoreControlFiles(const std::wstring& snapshotControlFile) {
    const std::string source = narrowed(snapshotControlFile);
    const FileNameQuery list{kControlFileListQuery, kControlFileListFailure, kControlFileListLine,
                             kControlFileListCloseLine};
    for (const std::string& value : readFileNames(list, nullptr)) {
        for (const std::string& controlFile : controlFileNames(value)) {
            createParentDirectoriesOf(controlFile);
        }
    }
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    char bound[kVcwFileNameBytes] = {};
    source.copy(bound, sizeof bound - 1);
    if (vcw_opn(session, cursor, kControlFileCopyBlock) != 0 ||
        vcw_bnd(session, cursor, ":1", bound, sizeof bound, kVcwBindIn, SQLT_STR, nullptr) != 0 ||
        vcw_exe(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kControlFileCopyFailure, kControlFileCopyLine);
    }
    vcw_cls(session, cursor);
}

void readDatabaseId() {
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    std::uint32_t dbid = 0;
    if (vcw_opn(session, cursor, "SELECT DBID FROM V$DATABASE") != 0 ||
        vcw_dfn(session, cursor, "DBID", &dbid, sizeof dbid, SQLT_UIN, nullptr) != 0 ||
        vcw_efc(session, cursor) != 0) {
        vcw_perr(session);
        return;
    }
    currentConversation().dbid = dbid;
}

// Later backups write their snapshot control file where the restored one
// came from. The mount does not depend on it, so its failure is only traced.
void configureSnapshotName(const std::wstring& snapshotControlFile) {
    const std::wstring command =
        L"CONFIGURE SNAPSHOT CONTROLFILE NAME TO \"" + snapshotControlFile + L"\";";
    try {
        char narrow[kToolConfigureBytes];
        toNarrow(command.c_str(), narrow, sizeof narrow, nullptr);
        runToolCommand(narrow);
    } catch (const WriterFailureError& failure) {
        if (tracing(TRC_MISC)) {
            traceMsgA("\nSnapshot control file name not configured (0x%08X); mount goes on",
                      failure.code());
        }
    }
}

bool isOpen(int mode) { return mode == OpenModeReadWrite || mode == OpenModeReadOnly; }

}  // namespace

void startInstance(const ComponentEntry&) {
    const int mode = refreshOpenMode();
    if (mode != OpenModeNotAvailable && mode != OpenModeNoServer) {
        if (tracing(TRC_COMPONENT)) traceMsgA("\nDatabase instance already started");
        return;
    }
    startInstanceThroughService(localDescriptor());
    if (refreshOpenMode() != OpenModeNotMounted) {
        throw InformationalFailure(WriterFailure{kNotStartedLine, currentPhase(), {}},
                                   static_cast<std::int32_t>(kNotStartedState));
    }
    writeInformationEvent(kInstanceStartedEvent);
}

void mountDatabase(const ComponentEntry& entry, const RequestorView& requestor) {
    const int mode = refreshOpenMode();
    // An open database is past mounted: copying control files under it
    // would overwrite the ones it is using.
    if (mode == OpenModeMounted || isOpen(mode)) {
        if (tracing(TRC_COMPONENT)) traceMsgA("\nDatabase instance already mounted");
        return;
    }
    if (mode != OpenModeNotMounted) startInstance(entry);
    if (!entry.cfFile.empty()) restoreControlFiles(entry.cfFile);
    runStatement("alter database mount", kMountFailure, kMountLine);
    readDatabaseId();
    if (!entry.cfFile.empty()) configureSnapshotName(entry.cfFile);
    writeInformationEvent(kDatabaseMountedEvent);
    fillConversation(requestor);
}

void createLogDirectories() {
    const FileNameQuery query{kLogDirectoryQuery, kFileQueryFailure, kLogDirectoryLine,
                              kLogDirectoryCloseLine};
    for (const std::string& fileName : readFileNames(query, nullptr)) {
        createParentDirectoriesOf(fileName);
    }
}

void relocateFiles(const std::wstring& path, const std::wstring& alternateLocation,
                   const std::wstring& specification) {
    const std::string narrowPath = narrowed(path);
    const std::string location = narrowed(alternateLocation);
    const std::string pattern = relocationPattern(narrowPath, narrowed(specification));
    if (pattern.size() >= kVcwFileNameBytes) raiseWriterFailure(kTextToNarrowFailure, kPatternLine);

    const FileNameQuery query{kRelocationQuery, kFileQueryFailure, kRelocationLine,
                              kRelocationCloseLine};
    for (const std::string& fileName : readFileNames(query, &pattern)) {
        if (!liesDirectlyIn(fileName, narrowPath)) continue;
        const FileNameParts parts = splitFileName(fileName);
        const std::string statement =
            renameStatement(fileName, location, parts.base, parts.extension);
        runStatement(statement.c_str(), kRenameFailure, kRenameLine);
    }
}

}  // namespace snapscribe
