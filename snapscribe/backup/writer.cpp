#include "writer.h"

#include "backup_events.h"
#include "component_model.h"
#include "event_frame.h"

namespace snapscribe {

// The restore event bodies join as they are built; until then those events
// are their frame alone.

bool CVssWriterVorlix::framed(Phase phase, const std::function<void()>& body) {
    return runEvent(phase, body, [this](std::int32_t hr) { SetWriterFailure(hr); });
}

RequestorView CVssWriterVorlix::requestorView() {
    return {GetBackupType(), AreComponentsSelected(),
            [this](const wchar_t* path) { return IsPathAffected(path); }};
}

bool CVssWriterVorlix::OnIdentify(IVssCreateWriterMetadata* metadata) {
    return framed(PhaseIdentify, [metadata] { identifyInstance(metadata); });
}

bool CVssWriterVorlix::OnPrepareBackup(IVssWriterComponents* components) {
    return framed(PhasePrepareForBackup,
                  [this, components] { prepareBackup(requestorView(), components); });
}

bool CVssWriterVorlix::OnPrepareSnapshot() {
    return framed(PhasePrepareForSnapshot, [this] { prepareSnapshot(requestorView()); });
}

bool CVssWriterVorlix::OnFreeze() {
    return framed(PhaseFreeze, [] { freeze(); });
}

bool CVssWriterVorlix::OnThaw() {
    return framed(PhaseThaw, [] { thaw(); });
}

bool CVssWriterVorlix::OnAbort() {
    return framed(PhaseAbort, [] { abortBackup(); });
}

bool CVssWriterVorlix::OnBackupComplete(IVssWriterComponents*) {
    return framed(PhaseBackupComplete, [] { backupComplete(); });
}

bool CVssWriterVorlix::OnBackupShutdown(VSS_ID) {
    return framed(PhaseBackupShutdown, [] { backupShutdown(); });
}

bool CVssWriterVorlix::OnPreRestore(IVssWriterComponents*) {
    return framed(PhasePreRestore, [] {});
}

bool CVssWriterVorlix::OnPostRestore(IVssWriterComponents*) {
    return framed(PhasePostRestore, [] {});
}

bool CVssWriterVorlix::OnPostSnapshot(IVssWriterComponents* components) {
    return framed(PhasePostSnapshot, [components] { postSnapshot(components); });
}

}  // namespace snapscribe
