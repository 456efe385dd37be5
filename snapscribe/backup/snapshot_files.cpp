// Which database files take part in the shadow copy, and what freeze and
// thaw do to them: hot backup mode of their tablespaces, the snapshot copy
// of the control file, log switches when the backup carries redo.

#include <cstdio>
#include <memory>

#include "backup_events.h"
#include "backup_metadata.h"
#include "component_model.h"
#include "event_frame.h"
#include "metadata_text.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kTablespaceNameBytes = 201;
constexpr std::size_t kStatementBytes = 2000;

constexpr long kDatafileHeaderLine = 1501;
constexpr long kSnapshotNameLine = 1502;
constexpr long kFreezeSwitchLine = 1503;
constexpr long kFreezeCheckpointLine = 1504;
constexpr long kThawSwitchLine = 1505;
constexpr long kLogModeChangedLine = 1506;
constexpr long kBeginBackupLine = 1507;
constexpr long kControlFileSnapshotLine = 1508;
constexpr long kEndBackupLine = 1509;
constexpr long kUnservedPhaseLine = 1510;

constexpr char kLogSwitch[] = "alter system archive log current";

struct DatafileHeaderRow {
    std::uint32_t fileNumber = 0;
    char fileName[kVcwFileNameBytes] = {};
    char tsName[kTablespaceNameBytes] = {};
    std::uint32_t tsNumber = 0;
    std::uint32_t readWrite = 0;
    std::uint32_t fuzzy = 0;
};

// Decides whether the file takes part, with the trace of the decision.
bool takesPart(const RequestorView& requestor, const SnapshotFile& file) {
    wchar_t name[kVcwFileNameBytes];
    toWide(file.fileName.c_str(), name, kVcwFileNameBytes);
    const bool included = currentConversation().componentBased ? isCoveredBySelection(file)
                                                               : requestor.pathAffected(name);
    if (tracing(TRC_FILES)) {
        traceMsg(included ? L"\nFile %s is included in snapshot"
                          : L"\nFile %s is not included in snapshot",
                 name);
    }
    return included;
}

void addIfTakingPart(const RequestorView& requestor, SnapshotFile file) {
    if (!takesPart(requestor, file)) return;
    currentConversation().snapshotFiles.push_back(std::make_shared<SnapshotFile>(std::move(file)));
}

[[noreturn]] void failDatafileHeaders(VcwSession* session) {
    vcw_perr(session);
    raiseWriterFailure(kDatafileHeaderFailure, kDatafileHeaderLine);
}

void listDatafiles(const RequestorView& requestor) {
    static constexpr char kStatement[] =
        "select file# filenum, name filename,        tablespace_name tsname, ts# tsnum,        "
        "decode(status, 'ONLINE', 1, 0) readwrite,        decode(fuzzy,'YES', 1, 0) fuzzy,        "
        "nvl(error,'<NULL>') readerror from v$datafile_header df order by tsnum, readwrite desc";
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    DatafileHeaderRow row;
    if (vcw_opn(session, cursor, kStatement) != 0 ||
        vcw_dfn(session, cursor, "FILENUM", &row.fileNumber, sizeof row.fileNumber, SQLT_UIN,
                nullptr) != 0 ||
        vcw_dfn(session, cursor, "FILENAME", row.fileName, sizeof row.fileName, SQLT_STR,
                nullptr) != 0 ||
        vcw_dfn(session, cursor, "TSNAME", row.tsName, sizeof row.tsName, SQLT_STR, nullptr) != 0 ||
        vcw_dfn(session, cursor, "TSNUM", &row.tsNumber, sizeof row.tsNumber, SQLT_UIN, nullptr) !=
            0 ||
        vcw_dfn(session, cursor, "READWRITE", &row.readWrite, sizeof row.readWrite, SQLT_UIN,
                nullptr) != 0 ||
        vcw_dfn(session, cursor, "FUZZY", &row.fuzzy, sizeof row.fuzzy, SQLT_UIN, nullptr) != 0 ||
        vcw_exe(session, cursor) != 0 || vcw_fet(session, cursor) != 0) {
        failDatafileHeaders(session);
    }
    do {
        SnapshotFile file{row.fileName,
                          row.tsName,
                          row.fileNumber,
                          row.tsNumber,
                          kSnapshotDatafile,
                          (row.readWrite != 0 ? kOnline : 0u) | (row.fuzzy != 0 ? kFuzzy : 0u)};
        addIfTakingPart(requestor, std::move(file));
    } while (vcw_fet(session, cursor) == 0);
    // A fetch that failed closed the cursor: the list would lack datafiles.
    if (cursor == nullptr) failDatafileHeaders(session);
    vcw_cls(session, cursor);
}

void addSnapshotControlFile(const RequestorView& requestor) {
    static constexpr char kStatement[] =
        "begin    :name := sys.dbms_backup_restore.getParm(              "
        "sys.dbms_backup_restore.SNAPSHOT_NAME); end; ";
    const std::wstring name = readSnapshotControlFileName(kStatement, kSnapshotNameLine);
    char narrow[kVcwFileNameBytes];
    toNarrow(name.c_str(), narrow, sizeof narrow, nullptr);
    SnapshotFile file;
    file.fileName = narrow;
    file.fileKind = kSnapshotControlFile;
    addIfTakingPart(requestor, std::move(file));
}

void beginBackup(SnapshotFile& file, std::uint32_t& lastTablespace, bool& anyTablespace) {
    if ((file.fileFlags & kFuzzy) == 0 || (file.fileFlags & kOnline) == 0) return;
    if (anyTablespace && file.tsNumber == lastTablespace) return;
    char statement[kStatementBytes];
    std::snprintf(statement, sizeof statement, "ALTER TABLESPACE %s BEGIN BACKUP",
                  file.tsName.c_str());
    runStatement(statement, kBeginBackupFailure, kBeginBackupLine);
    lastTablespace = file.tsNumber;
    anyTablespace = true;
    file.fileFlags |= kInBackupMode;
}

void endBackup(SnapshotFile& file) {
    if ((file.fileFlags & kInBackupMode) == 0) return;
    char statement[kStatementBytes];
    std::snprintf(statement, sizeof statement, "ALTER TABLESPACE %s END BACKUP",
                  file.tsName.c_str());
    runStatement(statement, kEndBackupFailure, kEndBackupLine);
    file.fileFlags &= ~kInBackupMode;
}

// An abort goes on whatever the database answers. A refusal is most often a
// session that has gone bad, so a second attempt runs on a new session;
// only then is the tablespace left as it is.
void endBackupOnAbort(SnapshotFile& file) {
    for (int attempt = 1;; ++attempt) {
        try {
            endBackup(file);
            return;
        } catch (const WriterFailureError& failure) {
            if (tracing(TRC_MISC)) {
                traceMsgA("\nOnAbort: END BACKUP of %s failed with 0x%08X%s", file.tsName.c_str(),
                          failure.code(), attempt == 1 ? ", trying again" : ", ignored");
            }
            if (attempt == 2) return;
            dropConversationSession();
        }
    }
}

const char* phaseLabel(Phase phase) {
    switch (phase) {
        case PhaseFreeze: return "OnFreeze";
        case PhaseThaw: return "OnThaw";
        case PhaseAbort: return "OnAbort";
        case PhaseBackupShutdown: return "OnBackupShutdown";
        default: return "OnBackupComplete";
    }
}

void processFile(Phase phase, SnapshotFile& file, std::uint32_t& lastTablespace,
                 bool& anyTablespace) {
    switch (phase) {
        case PhaseFreeze:
            if (file.fileKind == kSnapshotDatafile) {
                beginBackup(file, lastTablespace, anyTablespace);
            } else if (file.fileKind == kSnapshotControlFile) {
                runStatement(
                    "begin    sys.dbms_backup_restore.cFileMakeAndUseSnapShot;    "
                    "sys.dbms_backup_restore.cFileUseCurrent; end;",
                    kControlFileSnapshotFailure, kControlFileSnapshotLine);
            }
            break;
        case PhaseThaw:
        case PhaseBackupShutdown: endBackup(file); break;
        case PhaseAbort: endBackupOnAbort(file); break;
        case PhaseBackupComplete: break;
        default: raiseWriterFailure(kGeneralFailure, kUnservedPhaseLine, {L"ProcessFile-1"});
    }
    if (tracing(TRC_FILES)) traceMsgA("\n%s: File %s", phaseLabel(phase), file.fileName.c_str());
}

}  // namespace

bool isCoveredBySelection(const SnapshotFile& file) {
    for (const auto& entry : currentConversation().entries) {
        if (entry->kind == 6) return true;
        if (file.fileKind == kSnapshotControlFile) {
            if (entry->fileClass == 3) return true;
            continue;
        }
        if (entry->fileClass == 2 &&
            (entry->tsNum == -1 || entry->tsNum == static_cast<std::int32_t>(file.tsNumber))) {
            return true;
        }
        if (entry->fileClass == 1 && entry->fileNum == static_cast<std::int32_t>(file.fileNumber)) {
            return true;
        }
    }
    return false;
}

void prepareSnapshot(const RequestorView& requestor) {
    if (!sequenceState().conversation) return;
    const std::int32_t type = currentConversation().backupType;
    if (type != BackupFull && type != BackupCopy) return;
    listDatafiles(requestor);
    addSnapshotControlFile(requestor);
}

void processSnapshotFiles(Phase phase) {
    if (!sequenceState().conversation) return;
    if (phase == PhaseFreeze) runPreCommands();
    std::uint32_t lastTablespace = 0;
    bool anyTablespace = false;
    for (const auto& file : currentConversation().snapshotFiles) {
        processFile(phase, *file, lastTablespace, anyTablespace);
    }
    if (phase == PhaseThaw) runPostCommands();
}

void freeze() {
    if (sequenceState().conversation && currentConversation().needsRedo) {
        runStatement(kLogSwitch, kLogSwitchFailure, kFreezeSwitchLine);
        refreshCheckpoint(kFreezeCheckpointLine);
    }
    processSnapshotFiles(PhaseFreeze);
}

void thaw() {
    processSnapshotFiles(PhaseThaw);
    if (!sequenceState().conversation) return;
    Conversation& conversation = currentConversation();
    if (isArchiveLogMode(sequenceSession()) != conversation.mediaRecovery) {
        raiseWriterFailure(kLogModeChangedFailure, kLogModeChangedLine);
    }
    if (conversation.needsRedo) runStatement(kLogSwitch, kLogSwitchFailure, kThawSwitchLine);
    if (!conversation.componentBased) {
        writeToEventLog3(EVENTLOG_INFORMATION_TYPE, kEventCategory, kVolumeBackupEvent,
                         kWriterVersionText, L"C:\\", backupTypeName(conversation.backupType), 0,
                         nullptr);
    }
}

}  // namespace snapscribe
