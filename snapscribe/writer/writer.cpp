#include "writer.h"

#include "snapscribe/backup/backup_events.h"
#include "snapscribe/backup/component_model.h"
#include "snapscribe/backup/event_frame.h"
#include "snapscribe/restore/restore_events.h"

namespace snapscribe {

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

bool CVssWriterVorlix::OnPreRestore(IVssWriterComponents* components) {
    return framed(PhasePreRestore, [this, components] { preRestore(requestorView(), components); });
}

bool CVssWriterVorlix::OnPostRestore(IVssWriterComponents* components) {
    return framed(PhasePostRestore,
                  [this, components] { postRestore(requestorView(), components); });
}

bool CVssWriterVorlix::OnPostSnapshot(IVssWriterComponents* components) {
    return framed(PhasePostSnapshot, [components] { postSnapshot(components); });
}

}  // namespace snapscribe
