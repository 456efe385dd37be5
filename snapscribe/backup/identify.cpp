// The identify event: the instance's component tree and excluded files,
// read on a session of the event's own.

#include <string>

#include "component_model.h"
#include "component_text.h"
#include "snapscribe/sequence/conversation.h"
#include "event_frame.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe {
namespace {

constexpr std::int32_t kTablespaceNameBytes = 201;
constexpr std::uint16_t kLastArchiveDestination = 10;

constexpr long kEnvironmentLine = 1201;
constexpr long kConnectStringLine = 1202;
constexpr long kConnectLine = 1203;
constexpr long kSchemaLine = 1204;
constexpr long kRestoreMethodLine = 1205;
constexpr long kDatabaseComponentLine = 1206;
constexpr long kSpfileLine = 1207;
constexpr long kSpfileComponentLine = 1208;
constexpr long kExclusionsLine = 1209;
constexpr long kRecoveryAreaLine = 1210;
constexpr long kSnapshotNameLine = 1211;
constexpr long kControlFileQueryLine = 1212;
constexpr long kControlFileComponentLine = 1213;
constexpr long kAllTablespacesLine = 1214;
constexpr long kDatafileQueryLine = 1215;
constexpr long kTablespaceComponentLine = 1216;
constexpr long kDatafileComponentLine = 1217;
constexpr long kDatafileCloseLine = 1218;
constexpr long kArchiveDestLine = 1219;

// The event's own session lives in the sequence record so that a failure's
// clean-up finds it; it is disconnected however the event ends.
class IdentifySession {
public:
    IdentifySession() : previous_(currentSession()) {}
    ~IdentifySession() {
        disconnectIdentifySession();
        setCurrentSession(previous_);
    }
    IdentifySession(const IdentifySession&) = delete;
    IdentifySession& operator=(const IdentifySession&) = delete;

    VcwSession*& record() { return sequenceState().identifySession; }

private:
    VcwSession* previous_;
};

// Connects and reads the open mode. An instance that is down or unreachable
// is no failure: the event then reports no components.
int connect(VcwEnvironment* environment, IdentifySession& identify) {
    char descriptor[kVcwConnectStringMaxBytes];
    if (!formLocalDescriptor(descriptor, sizeof descriptor)) {
        raiseWriterFailure(kEmptyInstanceNameFailure, kConnectStringLine);
    }
    const int failed = vcw_con(environment, identify.record(), descriptor, false);
    setCurrentSession(identify.record());
    if (failed == 0) return vcw_openmode(identify.record());
    vcw_perr(identify.record());
    const int mode = vcw_openmode(identify.record());
    if (mode != OpenModeNotAvailable && mode != OpenModeNoServer) {
        raiseWriterFailure(kIdentifyConnectFailure, kConnectLine, {writerSettings().Sid});
    }
    return mode;
}

void describeWriter(IVssCreateWriterMetadata* metadata) {
    checkPlatformCall(metadata->SetBackupSchema(kBackupSchema), kSchemaLine);
    checkPlatformCall(metadata->SetRestoreMethod(VSS_RME_RESTORE_IF_CAN_REPLACE, nullptr, nullptr,
                                                 VSS_WRE_ALWAYS, false),
                      kRestoreMethodLine);
}

// Instances that cannot show their files are only noted in the event log.
bool reportedUnreachable(int openMode) {
    std::uint32_t event = 0;
    switch (openMode) {
        case OpenModeNotMounted: event = kNotMountedEvent; break;
        case OpenModeNotAvailable: event = kNotAvailableEvent; break;
        case OpenModeNoServer: event = kNotReachableEvent; break;
        default: return false;
    }
    writeToEventLog1(EVENTLOG_INFORMATION_TYPE, kEventCategory, event, kWriterVersionText, 0,
                     nullptr);
    return true;
}

void addServerParameterFile(VcwSession* session, IVssCreateWriterMetadata* metadata, int openMode,
                            const std::wstring& databasePath) {
    static constexpr char kNormalised[] =
        "select sys.dbms_backup_restore.normalizefilename(value)        filename from v$parameter "
        "where lower(name) = 'spfile' and value is not null";
    static constexpr char kAsStored[] =
        "select value filename from v$parameter  where lower(name) = 'spfile' and        value is "
        "not null";
    VcwCursor* cursor = nullptr;
    char fileName[kVcwFileNameBytes];
    const bool found =
        vcw_opn(session, cursor, openMode > OpenModeMounted ? kNormalised : kAsStored) == 0 &&
        vcw_dfn(session, cursor, "FILENAME", fileName, sizeof fileName, SQLT_STR, nullptr) == 0 &&
        vcw_efc(session, cursor) == 0;
    if (!found) {
        if (session->last.returnCode == VCI_NO_DATA) return;
        vcw_perr(session);
        raiseWriterFailure(kSpfileQueryFailure, kSpfileLine);
    }
    checkPlatformCall(addComponent(metadata, true, kSpfileComponent, databasePath, kSpfileComponent,
                                   fileName, false),
                      kSpfileComponentLine);
}

void readSnapshotControlFile(VcwSession* session, char* fileName) {
    static constexpr char kStatement[] =
        "begin    :name := sys.dbms_backup_restore.getParm(                "
        "sys.dbms_backup_restore.SNAPSHOT_NAME); end; ";
    VcwCursor* cursor = nullptr;
    if (vcw_opn(session, cursor, kStatement) != 0 ||
        vcw_bnd(session, cursor, ":name", fileName, kVcwFileNameBytes, kVcwBindOut, SQLT_STR,
                nullptr) != 0 ||
        vcw_exe(session, cursor) != 0 || vcw_cls(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kSnapshotNameFailure, kSnapshotNameLine);
    }
}

void readFirstControlFile(VcwSession* session, char* fileName) {
    static constexpr char kStatement[] = "select name filename from v$controlfile";
    VcwCursor* cursor = nullptr;
    if (vcw_opn(session, cursor, kStatement) != 0 ||
        vcw_dfn(session, cursor, "FILENAME", fileName, kVcwFileNameBytes, SQLT_STR, nullptr) != 0 ||
        vcw_exe(session, cursor) != 0 || vcw_fet(session, cursor) != 0 ||
        vcw_cls(session, cursor) != 0) {
        vcw_cls(session, cursor);
        vcw_perr(session);
        raiseWriterFailure(kControlFileQueryFailure, kControlFileQueryLine);
    }
}

// In ARCHIVELOG mode the backup takes the snapshot copy of the control file
// and the current ones are left out; otherwise the current one is taken.
void addControlFile(VcwSession* session, IVssCreateWriterMetadata* metadata, bool archiveLogMode,
                    const std::wstring& databasePath) {
    char fileName[kVcwFileNameBytes];
    if (archiveLogMode) {
        readSnapshotControlFile(session, fileName);
        excludeCurrentControlFiles(session, metadata);
    } else {
        readFirstControlFile(session, fileName);
    }
    checkPlatformCall(addComponent(metadata, true, kControlFileComponent, databasePath,
                                   kControlFileComponent, fileName, false),
                      kControlFileComponentLine);
}

struct DatafileRow {
    std::uint32_t fileNumber = 0;
    char fileName[kVcwFileNameBytes] = {};
    char tablespaceName[kTablespaceNameBytes] = {};
    std::int32_t tablespaceNumber = 0;
};

void failDatafileQuery(VcwSession* session) {
    vcw_perr(session);
    raiseWriterFailure(kDatafileQueryFailure, kDatafileQueryLine);
}

void addTablespaces(VcwSession* session, IVssCreateWriterMetadata* metadata,
                    const std::wstring& databasePath) {
    static constexpr char kStatement[] =
        "select d.file# filenum, d.name filename, t.name tsname,        t.ts# tsnum  from "
        "v$datafile d, v$tablespace t where d.ts#=t.ts# order by tsnum";
    const std::wstring allPath = joinLogicalPath({databasePath, kAllTablespacesComponent});
    checkPlatformCall(addComponent(metadata, true, kAllTablespacesComponent, databasePath,
                                   kAllTablespacesComponent, nullptr, false),
                      kAllTablespacesLine);

    VcwCursor* cursor = nullptr;
    DatafileRow row;
    if (vcw_opn(session, cursor, kStatement) != 0 ||
        vcw_dfn(session, cursor, "FILENUM", &row.fileNumber, sizeof row.fileNumber, SQLT_UIN,
                nullptr) != 0 ||
        vcw_dfn(session, cursor, "FILENAME", row.fileName, sizeof row.fileName, SQLT_STR,
                nullptr) != 0 ||
        vcw_dfn(session, cursor, "TSNAME", row.tablespaceName, sizeof row.tablespaceName, SQLT_STR,
                nullptr) != 0 ||
        vcw_dfn(session, cursor, "TSNUM", &row.tablespaceNumber, sizeof row.tablespaceNumber,
                SQLT_INT, nullptr) != 0 ||
        vcw_exe(session, cursor) != 0 || vcw_fet(session, cursor) != 0) {
        vcw_cls(session, cursor);
        failDatafileQuery(session);
    }
    bool firstRow = true;
    std::int32_t previousTablespace = 0;
    std::wstring tablespace;
    do {
        if (firstRow || row.tablespaceNumber != previousTablespace) {
            wchar_t name[kTablespaceNameBytes];
            toWide(row.tablespaceName, name, kTablespaceNameBytes);
            tablespace = name;
            checkPlatformCall(
                addComponent(metadata, true, tablespace, allPath, tablespace, nullptr, false),
                kTablespaceComponentLine);
        }
        firstRow = false;
        previousTablespace = row.tablespaceNumber;
        const std::wstring datafile = kDatafilePrefix + std::to_wstring(row.fileNumber);
        checkPlatformCall(
            addComponent(metadata, true, datafile, joinLogicalPath({allPath, tablespace}), datafile,
                         row.fileName, false),
            kDatafileComponentLine);
    } while (vcw_fet(session, cursor) == 0);
    // A fetch that failed closed the cursor: the tree would lack datafiles.
    if (cursor == nullptr) failDatafileQuery(session);
    if (vcw_cls(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kCursorCloseFailure, kDatafileCloseLine);
    }
}

void addArchiveDestinations(VcwSession* session, IVssCreateWriterMetadata* metadata,
                            const std::wstring& databasePath) {
    for (std::uint16_t n = 0; n <= kLastArchiveDestination; ++n) {
        const std::wstring name = kArchiveDestPrefix + std::to_wstring(n);
        checkPlatformCall(addArchiveDestComponent(session, metadata, name, databasePath, name, n),
                          kArchiveDestLine);
    }
}

// Everything below the top-level component, for a database that is at
// least mounted.
void addMountedDatabase(VcwSession* session, IVssCreateWriterMetadata* metadata,
                        const std::wstring& databasePath) {
    checkPlatformCall(addExclusions(session, metadata), kExclusionsLine);
    checkPlatformCall(scanRecoveryArea(session, nullptr, metadata, kRecoveryAreaComponent,
                                       databasePath, kRecoveryAreaComponent),
                      kRecoveryAreaLine);
    const bool archiveLogMode = isArchiveLogMode(session);
    addControlFile(session, metadata, archiveLogMode, databasePath);
    addTablespaces(session, metadata, databasePath);
    if (archiveLogMode) addArchiveDestinations(session, metadata, databasePath);
}

}  // namespace

void identifyInstance(IVssCreateWriterMetadata* metadata) {
    VcwEnvironment* environment = renewWriterEnvironment();
    if (environment == nullptr) raiseWriterFailure(kEnvironmentFailure, kEnvironmentLine);
    IdentifySession identify;
    const int openMode = connect(environment, identify);
    describeWriter(metadata);
    VcwSession* session = identify.record();
    if (reportedUnreachable(openMode)) return;

    const std::wstring& sid = writerSettings().Sid;
    checkPlatformCall(
        addComponent(metadata, true, kDatabaseComponent, sid, kDatabaseComponent, nullptr, false),
        kDatabaseComponentLine);
    if (tracing(TRC_COMPONENT)) traceMsg(L"\nAddComponent=%s\n", kDatabaseComponent);

    const std::wstring databasePath = joinLogicalPath({sid, kDatabaseComponent});
    addServerParameterFile(session, metadata, openMode, databasePath);
    if (openMode >= OpenModeMounted) addMountedDatabase(session, metadata, databasePath);
}

}  // namespace snapscribe
