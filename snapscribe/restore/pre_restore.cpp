// The pre-restore event: which components the requestor is about to put
// back, and whether the instance is in a state to take them.

#include <memory>

#include "recovery_text.h"
#include "restore_events.h"
#include "snapscribe/backup/backup_events.h"
#include "snapscribe/backup/backup_metadata.h"
#include "snapscribe/backup/component_calls.h"
#include "snapscribe/backup/event_frame.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr long kComponentCountLine = 2201;
constexpr long kComponentLine = 2202;
constexpr long kComponentTypeLine = 2203;
constexpr long kRestoreOptionsLine = 2204;
constexpr long kComponentNameLine = 2205;
constexpr long kSelectedLine = 2206;
constexpr long kSubcomponentCountLine = 2207;
constexpr long kSubcomponentLine = 2208;
constexpr long kBackupMetadataLine = 2209;
constexpr long kSelectionLine = 2210;

bool databaseSelected() { return (currentConversation().flags & SEL_DATABASE) != 0; }

// Every entry of one component holds the component for the post-restore.
ComponentReference sharedReference(IVssComponent* component) {
    component->AddRef();
    return ComponentReference(component);
}

// Records the entry named `name` with the component's backup metadata; a
// tablespace the database does not know is dropped (false).
bool recordEntry(IVssComponent* component, const std::wstring& name, const wchar_t* options) {
    auto entry = std::make_unique<ComponentEntry>();
    entry->component = sharedReference(component);
    if (!selectComponent(name, *entry, options)) return false;
    PlatformText metadata;
    checkPlatformCall(component->GetBackupMetadata(metadata.receive()), kBackupMetadataLine);
    entry->metadata = metadata.text();
    if (tracing(TRC_COMPONENT)) traceMsg(L"\nBackup metadata:%s", entry->metadata.c_str());
    parseBackupMetadata(*entry, entry->metadata.c_str());
    currentConversation().entries.push_back(std::move(entry));
    return true;
}

void recordSubcomponents(IVssComponent* component, UINT count, const wchar_t* options) {
    for (UINT index = 0; index < count && !databaseSelected(); ++index) {
        PlatformText path;
        PlatformText name;
        boolean repair = 0;
        checkPlatformCall(
            component->GetRestoreSubcomponent(index, path.receive(), name.receive(), &repair),
            kSubcomponentLine);
        if (tracing(TRC_COMPONENT)) {
            traceMsg(L"\nSub Component name : %s for restore", name.text().c_str());
        }
        if (!recordEntry(component, name.text(), options) && tracing(TRC_COMPONENT)) {
            traceMsg(L"\nSub Component name : %s does not exist", name.text().c_str());
        }
    }
}

void recordComponent(IVssWriterComponents* components, UINT index) {
    const ComponentReference component = componentAt(components, index, kComponentLine);
    VSS_COMPONENT_TYPE type{};
    checkPlatformCall(component->GetComponentType(&type), kComponentTypeLine);
    PlatformText options;
    checkPlatformCall(component->GetRestoreOptions(options.receive()), kRestoreOptionsLine);
    if (tracing(TRC_COMPONENT)) traceMsg(L"\nRestore options : [%s] ", options.text().c_str());
    const std::wstring name = componentName(component.get(), kComponentNameLine);
    boolean selected = 0;
    checkPlatformCall(component->IsSelectedForRestore(&selected), kSelectedLine);
    if (tracing(TRC_COMPONENT)) {
        traceMsg(L"\nComponent name : %s : %s for restore", name.c_str(),
                 selected ? L"SELECTED" : L"NOT-SELECTED");
    }
    if (!selected) return;
    UINT subcomponents = 0;
    checkPlatformCall(component->GetRestoreSubcomponentCount(&subcomponents),
                      kSubcomponentCountLine);
    if (subcomponents == 0) {
        recordEntry(component.get(), name, options.get());
    } else {
        recordSubcomponents(component.get(), subcomponents, options.get());
    }
}

}  // namespace

void validateRestoreSelection() {
    const Conversation& conversation = currentConversation();
    const std::uint32_t refusal =
        restoreSelectionRefusal(conversation.flags, conversation.openMode);
    if (refusal != 0) raiseWriterFailure(refusal, kSelectionLine);
}

void preRestore(const RequestorView& requestor, IVssWriterComponents* components) {
    connectInstance(true, [&requestor] { fillConversation(requestor); });
    const UINT count = componentCount(components, kComponentCountLine);
    for (UINT index = 0; index < count && !databaseSelected(); ++index) {
        recordComponent(components, index);
    }
    validateRestoreSelection();
    runPreCommands();
}

}  // namespace snapscribe
