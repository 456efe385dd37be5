#include "writer.h"

#include "component_model.h"
#include "event_frame.h"

namespace snapscribe {

// The backup and restore event bodies join as they are built; until then
// those events are their frame alone.

bool CVssWriterVorlix::framed(Phase phase, const std::function<void()>& body) {
    return runEvent(phase, body, [this](std::int32_t hr) { SetWriterFailure(hr); });
}

bool CVssWriterVorlix::OnIdentify(IVssCreateWriterMetadata* metadata) {
    return framed(PhaseIdentify, [metadata] { identifyInstance(metadata); });
}

bool CVssWriterVorlix::OnPrepareBackup(IVssWriterComponents*) {
    return framed(PhasePrepareForBackup, [] {});
}

bool CVssWriterVorlix::OnPrepareSnapshot() {
    return framed(PhasePrepareForSnapshot, [] {});
}

bool CVssWriterVorlix::OnFreeze() {
    return framed(PhaseFreeze, [] {});
}

bool CVssWriterVorlix::OnThaw() {
    return framed(PhaseThaw, [] {});
}

bool CVssWriterVorlix::OnAbort() {
    return framed(PhaseAbort, [] {});
}

bool CVssWriterVorlix::OnBackupComplete(IVssWriterComponents*) {
    return framed(PhaseBackupComplete, [] {});
}

bool CVssWriterVorlix::OnBackupShutdown(VSS_ID) {
    return framed(PhaseBackupShutdown, [] {});
}

bool CVssWriterVorlix::OnPreRestore(IVssWriterComponents*) {
    return framed(PhasePreRestore, [] {});
}

bool CVssWriterVorlix::OnPostRestore(IVssWriterComponents*) {
    return framed(PhasePostRestore, [] {});
}

bool CVssWriterVorlix::OnPostSnapshot(IVssWriterComponents*) {
    return framed(PhasePostSnapshot, [] {});
}

}  // namespace snapscribe
