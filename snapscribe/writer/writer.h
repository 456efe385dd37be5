#pragma once
// The writer of one database instance, as the shadow-copy service sees it.
// It keeps no data of its own: everything its events share is process-wide.

#include <windows.h>

#include <vswriter.h>

#include <cstdint>
#include <functional>

#include "snapscribe/host/writer_settings.h"

namespace snapscribe {

struct RequestorView;

class CVssWriterVorlix : public CVssWriter {
public:
    ~CVssWriterVorlix() override = default;

    bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* metadata) override;
    bool STDMETHODCALLTYPE OnPrepareBackup(IVssWriterComponents* components) override;
    bool STDMETHODCALLTYPE OnPrepareSnapshot() override;
    bool STDMETHODCALLTYPE OnFreeze() override;
    bool STDMETHODCALLTYPE OnThaw() override;
    bool STDMETHODCALLTYPE OnAbort() override;
    bool STDMETHODCALLTYPE OnBackupComplete(IVssWriterComponents* components) override;
    bool STDMETHODCALLTYPE OnBackupShutdown(VSS_ID snapshotSetId) override;
    bool STDMETHODCALLTYPE OnPreRestore(IVssWriterComponents* components) override;
    bool STDMETHODCALLTYPE OnPostRestore(IVssWriterComponents* components) override;
    bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* components) override;

private:
    bool framed(Phase phase, const std::function<void()>& body);
    // The platform's view of the running backup, asked on the event's thread.
    RequestorView requestorView();
};

}  // namespace snapscribe
