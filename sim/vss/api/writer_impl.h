#pragma once
// What stands behind one writer object: its identity, its subscription, and the
// thread that receives events from requesters and calls the writer's event
// methods, one event at a time.

#include <windows.h>

#include <vswriter.h>

#include <optional>
#include <thread>

#include "sim/vss/api/writer_object.h"
#include "sim/vss/model/wire.h"
#include "support/unique_handle.h"

class CVssWriterImpl {
public:
    explicit CVssWriterImpl(WriterObject& writer) : writer_(writer) {}
    ~CVssWriterImpl() { unsubscribe(); }

    HRESULT initialize(const VSS_ID& writerId, LPCWSTR writerName, VSS_USAGE_TYPE usage,
                       VSS_SOURCE_TYPE source, VSS_APPLICATION_LEVEL level, DWORD freezeTimeout,
                       VSS_ALTERNATE_WRITER_STATE alternateState, bool ioThrottlingOnly,
                       LPCWSTR instanceName);
    HRESULT subscribe(DWORD eventFlags);
    HRESULT unsubscribe();

    // The event being delivered, or null between events.
    const vsssim::EventRequest* currentEvent() const { return current_; }
    const VSS_ID* currentSnapshotSetId() const { return current_ ? &snapshotSetId_ : nullptr; }
    VSS_APPLICATION_LEVEL level() const { return level_; }
    bool isPathAffected(LPCWSTR path) const;
    HRESULT setWriterFailure(HRESULT hr);

private:
    void serve();
    void serveRequesters();
    vsssim::EventAnswer deliver(vsssim::EventRequest request);
    bool isSubscribedTo(vsssim::Event event) const;

    WriterObject& writer_;
    bool initialized_ = false;
    VSS_ID writerId_ = GUID_NULL;
    VSS_APPLICATION_LEVEL level_ = VSS_APP_FRONT_END;
    vsssim::WriterMetadata identity_;

    DWORD eventFlags_ = 0;
    vsssim::Text subscriptionKey_;
    support::KernelHandle pipe_;
    support::KernelHandle stop_;
    std::thread server_;

    const vsssim::EventRequest* current_ = nullptr;
    VSS_ID snapshotSetId_ = GUID_NULL;
    HRESULT failure_ = S_OK;
};
