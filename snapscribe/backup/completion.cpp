// After the shadow copy: stamps and restore metadata per component, the
// report of a completed backup, and the end of the sequence however it ends.

#include <cstdio>

#include "backup_events.h"
#include "backup_metadata.h"
#include "component_calls.h"
#include "component_model.h"
#include "component_text.h"
#include "event_frame.h"
#include "metadata_text.h"
#include "restore_metadata.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr WORD kInformationType = 4;
constexpr std::size_t kStatementBytes = 256;

constexpr long kComponentCountLine = 1701;
constexpr long kComponentLine = 1702;
constexpr long kComponentNameLine = 1703;
constexpr long kDifferencedLine = 1704;

bool holdsRecoveryArea(const std::wstring& name) {
    return name == kDatabaseComponent || name == kRecoveryAreaComponent;
}

// Incremental and differential backups take the recovery-area files changed
// since the previous stamp. A log backup takes them all; the scan then only
// learns the newest of each kind, which completion tells the database.
void scanRecoveryAreaOf(IVssComponent* component, const std::wstring& name,
                        std::int32_t backupType) {
    const bool differenced = backupType == BackupIncremental || backupType == BackupDifferential;
    if (!holdsRecoveryArea(name) || (!differenced && backupType != BackupLog)) return;
    checkPlatformCall(
        scanRecoveryArea(sequenceSession(), differenced ? component : nullptr, nullptr, name,
                         joinLogicalPath({writerSettings().Sid, kDatabaseComponent}), name),
        kDifferencedLine);
}

void finishComponent(IVssComponent* component, ArchivedLogList& list) {
    const Conversation& conversation = currentConversation();
    const std::wstring name = componentName(component, kComponentNameLine);
    scanRecoveryAreaOf(component, name, conversation.backupType);
    setBackupStamp(component, name);
    setComponentRestoreMetadata(component, name, list);
}

struct BackedRecord {
    RecoveryAreaStamp Conversation::*newest;
    const char* statement;
};

constexpr BackedRecord kBackedRecords[] = {
    {&Conversation::lastArchivedLog,
     "begin    sys.dbms_backup_restore.VssBackedRecord(      "
     "sys.dbms_backup_restore.RTYP_ARCHIVED_LOG, %d, %d); end;"},
    {&Conversation::lastBackupPiece,
     "begin    sys.dbms_backup_restore.VssBackedRecord(      "
     "sys.dbms_backup_restore.RTYP_BACKUP_PIECE, %d, %d); end;"},
    {&Conversation::lastDatafileCopy,
     "begin    sys.dbms_backup_restore.VssBackedRecord(      "
     "sys.dbms_backup_restore.RTYP_DFILE_COPY, %d, %d); end;"},
};

// Tells the database the newest recovery-area file of each kind the backup
// holds, so it may age out older ones.
void recordBackedFiles(const Conversation& conversation) {
    bool anyRecord = false;
    for (const BackedRecord& record : kBackedRecords) {
        const RecoveryAreaStamp& newest = conversation.*record.newest;
        if (newest.recordId == 0) continue;
        char statement[kStatementBytes];
        std::snprintf(statement, sizeof statement, record.statement,
                      static_cast<int>(newest.recordId), static_cast<int>(newest.stamp));
        runSqlCommand(statement);
        anyRecord = true;
    }
    if (anyRecord) runSqlCommand("begin    sys.dbms_backup_restore.refreshAgedFiles; end;");
}

}  // namespace

void postSnapshot(IVssWriterComponents* components) {
    const SequenceState& state = sequenceState();
    if (!state.conversation || !state.conversation->componentBased) return;
    ArchivedLogList list;
    const UINT count = componentCount(components, kComponentCountLine);
    for (UINT index = 0; index < count; ++index) {
        finishComponent(componentAt(components, index, kComponentLine).get(), list);
    }
    list.destroy();
}

void backupComplete() {
    processSnapshotFiles(PhaseBackupComplete);
    const SequenceState& state = sequenceState();
    if (state.conversation && state.conversation->componentBased) {
        const Conversation& conversation = *state.conversation;
        for (const auto& entry : conversation.entries) {
            writeToEventLog3(kInformationType, kEventCategory, kComponentBackedUpEvent,
                             kWriterVersionText, entry->name.c_str(),
                             backupTypeName(conversation.backupType), 0, nullptr);
        }
        if (isLogTypeBackup(conversation.backupType)) recordBackedFiles(conversation);
    }
    cleanupConversation();
}

void abortBackup() {
    processSnapshotFiles(PhaseAbort);
    cleanupConversation();
}

void backupShutdown() {
    processSnapshotFiles(PhaseBackupShutdown);
    cleanupConversation();
}

}  // namespace snapscribe
