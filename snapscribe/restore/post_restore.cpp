// The post-restore event: the requestor's new targets applied, the archived
// logs of the restore metadata re-created, the instance brought to the state
// the selection needs, and the recovery the selection and the writer
// commands ask for.

#include <functional>
#include <memory>
#include <string>

#include "instance_control.h"
#include "recovery_text.h"
#include "restore_events.h"
#include "restore_metadata_reader.h"
#include "snapscribe/backup/backup_events.h"
#include "snapscribe/backup/backup_metadata.h"
#include "snapscribe/backup/component_calls.h"
#include "snapscribe/backup/event_frame.h"
#include "snapscribe/backup/metadata_text.h"
#include "snapscribe/backup/option_text.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/db/recovery_tool.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr long kNoConversationLine = 1901;
constexpr long kNoSessionLine = 1902;
constexpr long kComponentCountLine = 1903;
constexpr long kComponentLine = 1904;
constexpr long kComponentTypeLine = 1905;
constexpr long kComponentNameLine = 1906;
constexpr long kSelectedLine = 1907;
constexpr long kNewTargetCountLine = 1908;
constexpr long kAdditionalRestoresLine = 1909;
constexpr long kNewTargetLine = 1910;
constexpr long kTargetPathLine = 1911;
constexpr long kTargetSpecificationLine = 1912;
constexpr long kAlternateLocationLine = 1913;
constexpr long kNoEntryLine = 1914;
constexpr long kRefusedTargetLine = 1915;
constexpr long kRestoreMetadataLine = 1916;
constexpr long kUnknownStateLine = 1917;

constexpr wchar_t kNoEntryFirstPass[] = L"Could-not-get-component-2";
constexpr wchar_t kNoEntrySecondPass[] = L"Could-not-get-component";
constexpr wchar_t kUnknownDatafileState[] = L"Unknown state - 1";
constexpr wchar_t kUnknownTablespaceState[] = L"Unknown state - 2";
constexpr std::uint32_t kTablespaceNameBytes = 49;
constexpr std::int32_t kAllTablespaces = -1;

// ComponentEntry::kind
enum EntryKind : std::uint32_t {
    KindDatafile = 1,
    KindTablespace = 2,
    KindControlFile = 3,
    KindParameterFile = 4,
    KindArchiveDestination = 5,
    KindDatabase = 6,
    KindRecoveryArea = 7,
    KindArchivedLogs = 8,
    KindBackupFiles = 9,
};

// Conversation::controlFileType
constexpr std::int32_t kCurrentControlFile = 1;
constexpr std::int32_t kBackupControlFile = 2;
constexpr std::int32_t kStandbyControlFile = 3;

struct FiledescRelease {
    void operator()(IVssWMFiledesc* description) const noexcept { description->Release(); }
};
using FiledescReference = std::unique_ptr<IVssWMFiledesc, FiledescRelease>;

// A requestor's new target: files of `path` matching `specification` now
// lie in `alternateLocation`.
struct NewTarget {
    std::wstring path, specification, alternateLocation;
    std::wstring source() const { return path + L"\\" + specification; }
};

using TargetVisit = std::function<void(IVssComponent*, const std::wstring& name, UINT targets)>;

bool flagSet(std::uint32_t flag) { return (currentConversation().flags & flag) != 0; }

// Sets `flag` unless `rival` was set first: the first recovery choice wins.
void chooseUnless(std::uint32_t flag, std::uint32_t rival) {
    if (!flagSet(rival)) currentConversation().flags |= flag;
}

// Visits every component selected for restore; `additionalRestores` becomes
// true once any of them says more restores will follow.
void walkSelectedComponents(IVssWriterComponents* components, UINT count, bool& additionalRestores,
                            const TargetVisit& visit) {
    for (UINT index = 0; index < count; ++index) {
        const ComponentReference component = componentAt(components, index, kComponentLine);
        VSS_COMPONENT_TYPE type{};
        checkPlatformCall(component->GetComponentType(&type), kComponentTypeLine);
        const std::wstring name = componentName(component.get(), kComponentNameLine);
        boolean selected = 0;
        checkPlatformCall(component->IsSelectedForRestore(&selected), kSelectedLine);
        if (!selected) continue;
        UINT targets = 0;
        checkPlatformCall(component->GetNewTargetCount(&targets), kNewTargetCountLine);
        if (!additionalRestores) {
            boolean more = 0;
            checkPlatformCall(component->GetAdditionalRestores(&more), kAdditionalRestoresLine);
            additionalRestores = more != 0;
        }
        visit(component.get(), name, targets);
    }
}

ComponentEntry& entryNamed(const std::wstring& name, const wchar_t* failureName) {
    for (const auto& entry : currentConversation().entries) {
        if (_wcsicmp(entry->name.c_str(), name.c_str()) == 0) return *entry;
    }
    if (tracing(TRC_COMPONENT)) traceMsg(L"%s %s", failureName, name.c_str());
    raiseWriterFailure(kGeneralFailure, kNoEntryLine, {failureName});
}

NewTarget newTarget(IVssComponent* component, UINT index) {
    IVssWMFiledesc* received = nullptr;
    checkPlatformCall(component->GetNewTarget(index, &received), kNewTargetLine);
    const FiledescReference description(received);
    PlatformText path, specification, alternateLocation;
    checkPlatformCall(description->GetPath(path.receive()), kTargetPathLine);
    checkPlatformCall(description->GetFilespec(specification.receive()), kTargetSpecificationLine);
    if (tracing(TRC_FILES)) {
        traceMsg(L"\nOriginal file location : %s\\%s", path.text().c_str(),
                 specification.text().c_str());
    }
    checkPlatformCall(description->GetAlternateLocation(alternateLocation.receive()),
                      kAlternateLocationLine);
    return {path.text(), specification.text(), alternateLocation.text()};
}

[[noreturn]] void refuseNewTarget() {
    raiseWriterFailure(kNewTargetRefusedFailure, kRefusedTargetLine);
}

// First pass: a target naming the snapshot control file moves it.
void moveSnapshotControlFile(ComponentEntry& entry, const NewTarget& target) {
    switch (entry.kind) {
        case KindControlFile:
        case KindDatabase:
            // An entry without a snapshot control file has none to move: a
            // name made up from the target would be copied from at mount.
            if (flagSet(NON_FULL_BACKUP) || entry.cfFile.empty() ||
                !target.source().starts_with(entry.cfFile)) {
                return;
            }
            entry.formerCfFile = entry.cfFile;
            entry.cfFile = target.alternateLocation + L"\\" + target.specification;
            if (tracing(TRC_FILES)) {
                traceMsg(L"\nNew snapshot control file location : %s", entry.cfFile.c_str());
            }
            return;
        case KindArchiveDestination:
        case KindRecoveryArea:
        case KindArchivedLogs:
        case KindBackupFiles: refuseNewTarget();
        default: return;
    }
}

void relocate(const NewTarget& target) {
    if (tracing(TRC_FILES)) {
        traceMsg(L"Old Path '%s\\%s' to New path '%s\\%s'", target.path.c_str(),
                 target.specification.c_str(), target.alternateLocation.c_str(),
                 target.specification.c_str());
    }
    relocateFiles(target.path, target.alternateLocation, target.specification);
}

// Second pass: data files follow their new targets.
void relocateTarget(const ComponentEntry& entry, const NewTarget& target,
                    const RequestorView& requestor) {
    switch (entry.kind) {
        case KindDatafile:
        case KindTablespace: relocate(target); return;
        case KindDatabase:
            if (flagSet(NON_FULL_BACKUP) || target.source().starts_with(entry.formerCfFile)) {
                return;
            }
            startInstance(entry);
            mountDatabase(entry, requestor);
            relocate(target);
            return;
        case KindArchiveDestination:
        case KindRecoveryArea:
        case KindArchivedLogs:
        case KindBackupFiles: refuseNewTarget();
        default: return;
    }
}

void moveSnapshotControlFiles(IVssWriterComponents* components, UINT count,
                              bool& additionalRestores) {
    walkSelectedComponents(components, count, additionalRestores,
                           [](IVssComponent* component, const std::wstring& name, UINT targets) {
                               for (UINT index = 0; index < targets; ++index) {
                                   ComponentEntry& entry = entryNamed(name, kNoEntryFirstPass);
                                   moveSnapshotControlFile(entry, newTarget(component, index));
                               }
                           });
}

void relocateAndRecreateLogs(IVssWriterComponents* components, UINT count, bool& additionalRestores,
                             const RequestorView& requestor) {
    walkSelectedComponents(
        components, count, additionalRestores,
        [&requestor](IVssComponent* component, const std::wstring& name, UINT targets) {
            for (UINT index = 0; index < targets; ++index) {
                const ComponentEntry& entry = entryNamed(name, kNoEntrySecondPass);
                relocateTarget(entry, newTarget(component, index), requestor);
            }
            checkPlatformCall(readRestoreMetadata(component, name, currentConversation()),
                              kRestoreMetadataLine);
        });
}

// The recovery commands of single data files and tablespaces.
struct FileRecovery {
    RecoverCommandList datafiles{"RECOVER DATAFILE "};
    RecoverCommandList tablespaces{"RECOVER TABLESPACE "};
};

// Whether the control file in use is the current one; refuses a type that
// says nothing (`unknown` names the entry's kind).
bool currentControlFile(const wchar_t* unknown) {
    switch (currentConversation().controlFileType) {
        case kCurrentControlFile: return true;
        case kBackupControlFile:
        case kStandbyControlFile: return false;
        default: raiseWriterFailure(kGeneralFailure, kUnknownStateLine, {unknown});
    }
}

std::string tablespaceName(const ComponentEntry& entry) {
    char name[kTablespaceNameBytes] = {};
    toNarrow(std::wstring(tablespaceNameOf(entry.name)).c_str(), name, sizeof name, nullptr);
    return name;
}

void recoverTablespaceEntry(const ComponentEntry& entry, FileRecovery& recovery) {
    const bool all = entry.tsNum == kAllTablespaces;
    if (currentControlFile(kUnknownTablespaceState)) {
        if (all) {
            chooseUnless(RECOVER_COMPLETE, RECOVER_UNTIL_SNAPSHOT);
        } else {
            recovery.tablespaces.add(tablespaceName(entry));
        }
    } else if (all) {
        chooseUnless(RECOVER_UNTIL_SNAPSHOT, RECOVER_COMPLETE);
    } else {
        chooseUnless(RECOVER_COMPLETE, RECOVER_UNTIL_SNAPSHOT);
    }
}

// Third pass: each entry brings the instance as far as it needs and adds
// to the recovery. The control-file type is read anew at every entry, since
// a mount for an earlier one changes it.
void actOnEntry(const ComponentEntry& entry, FileRecovery& recovery,
                const RequestorView& requestor) {
    switch (entry.kind) {
        case KindDatafile:
            if (currentControlFile(kUnknownDatafileState)) {
                recovery.datafiles.add(std::to_string(entry.fileNum));
            } else {
                chooseUnless(RECOVER_COMPLETE, RECOVER_UNTIL_SNAPSHOT);
            }
            return;
        case KindTablespace: recoverTablespaceEntry(entry, recovery); return;
        case KindControlFile:
            mountDatabase(entry, requestor);
            createLogDirectories();
            return;
        case KindParameterFile: startInstance(entry); return;
        case KindDatabase:
            startInstance(entry);
            mountDatabase(entry, requestor);
            createLogDirectories();
            chooseUnless(RECOVER_UNTIL_SNAPSHOT, RECOVER_COMPLETE);
            return;
        default: return;
    }
}

FileRecovery actOnEntries(const RequestorView& requestor) {
    FileRecovery recovery;
    const Conversation& conversation = currentConversation();
    if (conversation.backupType == BackupLog || conversation.backupType == BackupOther) {
        return recovery;
    }
    for (const auto& entry : conversation.entries) actOnEntry(*entry, recovery, requestor);
    return recovery;
}

void runFileRecovery(const RecoverCommandList& list, std::uint32_t event) {
    if (list.empty()) return;
    for (const std::string& command : list.commands()) runToolCommand(command.c_str());
    runToolCommand("exit;");
    writeInformationEvent(event);
}

void recover(const FileRecovery& recovery, bool additionalRestores) {
    if (additionalRestores) {
        writeInformationEvent(kMoreRestoresEvent);
        return;
    }
    if (flagSet(NO_RECOVER)) {
        writeInformationEvent(kNoRecoveryEvent);
        return;
    }
    if (flagSet(RECOVER_COMPLETE | RECOVER_UNTIL_SNAPSHOT)) recoverWholeDatabase();
    runFileRecovery(recovery.datafiles, kDatafileRecoveryEvent);
    runFileRecovery(recovery.tablespaces, kTablespaceRecoveryEvent);
}

bool mountedOrOpen(int openMode) {
    return openMode == OpenModeMounted || openMode == OpenModeReadWrite;
}

}  // namespace

void postRestore(const RequestorView& requestor, IVssWriterComponents* components) {
    const SequenceState& state = sequenceState();
    if (!state.conversation) raiseWriterFailure(kNoRestoreConversationFailure, kNoConversationLine);
    if (state.conversationSession == nullptr) {
        cleanupConversation();
        raiseWriterFailure(kNoRestoreSessionFailure, kNoSessionLine);
    }
    const UINT count = componentCount(components, kComponentCountLine);
    runPostCommands();

    bool additionalRestores = false;
    moveSnapshotControlFiles(components, count, additionalRestores);
    relocateAndRecreateLogs(components, count, additionalRestores, requestor);
    const FileRecovery recovery = actOnEntries(requestor);

    Conversation& conversation = currentConversation();
    conversation.openMode = vcw_openmode(sequenceSession());
    if (mountedOrOpen(conversation.openMode)) catalogExtractedLogs();
    recover(recovery, additionalRestores);
    cleanupConversation();
}

}  // namespace snapscribe
