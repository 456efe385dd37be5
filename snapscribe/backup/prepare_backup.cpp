// The prepare-backup event: the conversation and what the backup depends
// on, and each selected component's entry, options and backup metadata.

#include <cstring>
#include <memory>

#include "backup_events.h"
#include "backup_metadata.h"
#include "component_calls.h"
#include "component_model.h"
#include "component_text.h"
#include "event_frame.h"
#include "metadata_text.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kControlFileTypeBytes = 772;

constexpr long kFuzzyCountLine = 1401;
constexpr long kControlFileTypeLine = 1402;
constexpr long kInconsistentLine = 1403;
constexpr long kComponentCountLine = 1404;
constexpr long kComponentLine = 1405;
constexpr long kBackupOptionsLine = 1406;
constexpr long kComponentNameLine = 1407;
constexpr long kBackupMetadataLine = 1408;

// One unsigned number from a one-row query; false when the query fails.
bool queryNumber(VcwSession* session, const char* statement, const char* column,
                 std::uint32_t& number) {
    VcwCursor* cursor = nullptr;
    return vcw_opn(session, cursor, statement) == 0 &&
           vcw_dfn(session, cursor, column, &number, sizeof number, SQLT_UIN, nullptr) == 0 &&
           vcw_efc(session, cursor) == 0;
}

std::uint32_t fuzzyDatafiles(VcwSession* session) {
    std::uint32_t count = 0;
    if (!queryNumber(session,
                     "select count(fuzzy) fuzzycnt from v$datafile_header where fuzzy='YES'",
                     "FUZZYCNT", count)) {
        vcw_perr(session);
        raiseWriterFailure(kFuzzyCountFailure, kFuzzyCountLine);
    }
    if (tracing(TRC_MISC)) traceMsgA("\nNumber of files fuzzy = %d", count);
    return count;
}

std::int32_t controlFileType(VcwSession* session) {
    VcwCursor* cursor = nullptr;
    char type[kControlFileTypeBytes] = {};
    if (vcw_opn(session, cursor, "select controlfile_type from v$database") != 0 ||
        vcw_dfn(session, cursor, "CONTROLFILE_TYPE", type, sizeof type, SQLT_STR, nullptr) != 0 ||
        vcw_efc(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kControlFileTypeFailure, kControlFileTypeLine);
    }
    std::int32_t kind = 4;
    if (std::strcmp(type, "CURRENT") == 0) kind = 1;
    if (std::strcmp(type, "BACKUP") == 0) kind = 2;
    if (std::strcmp(type, "STANDBY") == 0) kind = 3;
    if (tracing(TRC_MISC)) traceMsgA("\nControl file type is %d", kind);
    return kind;
}

std::uint32_t databaseId(VcwSession* session) {
    std::uint32_t dbid = 0;
    if (!queryNumber(session, "SELECT DBID FROM V$DATABASE", "DBID", dbid)) {
        vcw_perr(session);
        return 0;
    }
    return dbid;
}

// A hot backup of an open database must carry the redo that makes its
// fuzzy datafiles consistent; log-type backups carry no datafiles.
bool needsRedoFor(const Conversation& conversation, const std::wstring& name) {
    return conversation.openMode == OpenModeReadWrite && conversation.fuzzyCount > 0 &&
           !isLogTypeBackup(conversation.backupType) && conversation.backupType != BackupOther &&
           (name == kAllTablespacesComponent || name == kDatabaseComponent);
}

void prepareComponent(IVssWriterComponents* components, UINT index) {
    Conversation& conversation = currentConversation();
    auto entry = std::make_unique<ComponentEntry>();
    entry->component = componentAt(components, index, kComponentLine);
    IVssComponent* component = entry->component.get();
    PlatformText options;
    checkPlatformCall(component->GetBackupOptions(options.receive()), kBackupOptionsLine);
    if (tracing(TRC_COMPONENT)) traceMsg(L"\nBackup options : [%s] ", options.text().c_str());
    const std::wstring name = componentName(component, kComponentNameLine);

    if (needsRedoFor(conversation, name)) conversation.needsRedo = true;
    if (!selectComponent(name, *entry, options.get())) return;

    if (tracing(TRC_COMPONENT)) traceMsg(L"\nMy components %s Selected", name.c_str());
    composeBackupMetadata(*entry);
    checkPlatformCall(component->SetBackupMetadata(entry->metadata.c_str()), kBackupMetadataLine);
    if (tracing(TRC_COMPONENT)) traceMsg(L"\nBackup metadata set to %s", entry->metadata.c_str());
    conversation.entries.push_back(std::move(entry));
}

}  // namespace

void fillConversation(const RequestorView& requestor) {
    Conversation& conversation = currentConversation();
    VcwSession* session = sequenceState().conversationSession;
    conversation.backupType = requestor.backupType;
    if (tracing(TRC_MISC))
        traceMsg(L"\nBackup type  is %s", backupTypeName(conversation.backupType));
    conversation.componentBased = requestor.componentsSelected;
    if (tracing(TRC_MISC)) {
        traceMsg(L"\nrequestor is %s based",
                 conversation.componentBased ? L"Component" : L"Volume");
    }
    conversation.openMode = vcw_openmode(session);
    conversation.mediaRecovery = isArchiveLogMode(session);
    conversation.fuzzyCount = fuzzyDatafiles(session);
    conversation.controlFileType = controlFileType(session);
    conversation.dbid = databaseId(session);
}

void prepareBackup(const RequestorView& requestor, IVssWriterComponents* components) {
    connectInstance(false, [&requestor] { fillConversation(requestor); });
    Conversation& conversation = currentConversation();
    conversation.openMode = vcw_openmode(sequenceState().conversationSession);
    if (!conversation.mediaRecovery && conversation.fuzzyCount != 0) {
        raiseWriterFailure(kInconsistentBackupFailure, kInconsistentLine);
    }
    if (!conversation.componentBased) return;
    const UINT count = componentCount(components, kComponentCountLine);
    for (UINT index = 0; index < count; ++index) prepareComponent(components, index);
}

}  // namespace snapscribe
