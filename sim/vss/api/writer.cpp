#include <windows.h>

#include <objbase.h>
#include <vswriter.h>

#include <cstdlib>

#include "sim/vss/api/com_objects.h"
#include "sim/vss/api/escape_guard.h"
#include "sim/vss/api/writer_impl.h"
#include "sim/vss/common/pipe_frames.h"
#include "sim/vss/common/subscriptions.h"
#include "sim/vss/common/wide.h"
#include "sim/vss/model/paths.h"

using namespace vsssim;

namespace {

Text newGuidText() {
    GUID id;
    CoCreateGuid(&id);
    return guidText(id);
}

struct EventCall {
    WriterObject* writer;
    Event event;
    IVssWriterComponents* components;
    IVssCreateWriterMetadata* metadata;
    VSS_ID snapshotSetId;
};

// Runs inside the escape guard; holds nothing that needs destroying. The
// writer is reached only through its table, as the platform reaches it.
bool dispatchEvent(void* context) {
    EventCall& call = *static_cast<EventCall*>(context);
    WriterObject* writer = call.writer;
    const WriterTable& slots = *writer->table;
    switch (call.event) {
        case Event::Identify: return slots.onIdentify(writer, call.metadata);
        case Event::PrepareBackup: return slots.onPrepareBackup(writer, call.components);
        case Event::PrepareSnapshot: return slots.onPrepareSnapshot(writer);
        case Event::Freeze: return slots.onFreeze(writer);
        case Event::Thaw: return slots.onThaw(writer);
        case Event::PostSnapshot: return slots.onPostSnapshot(writer, call.components);
        case Event::Abort: return slots.onAbort(writer);
        case Event::BackupComplete: return slots.onBackupComplete(writer, call.components);
        case Event::BackupShutdown: return slots.onBackupShutdown(writer, call.snapshotSetId);
        case Event::PreRestore: return slots.onPreRestore(writer, call.components);
        case Event::PostRestore: return slots.onPostRestore(writer, call.components);
    }
    return false;
}

bool isRestoreEvent(Event event) {
    return event == Event::PreRestore || event == Event::PostRestore;
}

}  // namespace

HRESULT CVssWriterImpl::initialize(const VSS_ID& writerId, LPCWSTR writerName, VSS_USAGE_TYPE usage,
                                   VSS_SOURCE_TYPE source, VSS_APPLICATION_LEVEL level,
                                   DWORD freezeTimeout, VSS_ALTERNATE_WRITER_STATE alternateState,
                                   bool ioThrottlingOnly, LPCWSTR instanceName) {
    if (initialized_) return VSS_E_BAD_STATE;
    if (!writerName || usage < VSS_UT_BOOTABLESYSTEMSTATE || usage > VSS_UT_OTHER ||
        source < VSS_ST_TRANSACTEDDB || source > VSS_ST_OTHER ||
        alternateState != VSS_AWS_NO_ALTERNATE_WRITER || ioThrottlingOnly)
        return E_INVALIDARG;
    writerId_ = writerId;
    level_ = level;
    identity_.writerId = guidText(writerId);
    identity_.writerName = toText(writerName);
    identity_.instanceName = toText(instanceName);
    identity_.usageType = usage;
    identity_.sourceType = source;
    identity_.level = static_cast<std::uint32_t>(level);
    identity_.freezeTimeoutMs = freezeTimeout;
    initialized_ = true;
    return S_OK;
}

HRESULT CVssWriterImpl::subscribe(DWORD eventFlags) {
    if (!initialized_ || server_.joinable()) return VSS_E_BAD_STATE;
    Text key = newGuidText();
    std::wstring pipeName = L"\\\\.\\pipe\\ShadowCopySim." +
                            std::to_wstring(GetCurrentProcessId()) + L"." + toWide(key);
    pipe_.reset(CreateNamedPipeW(
        pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr));
    if (!pipe_) return HRESULT_FROM_WIN32(GetLastError());
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    eventFlags_ = eventFlags;
    server_ = std::thread([this] { serve(); });
    Subscription subscription{key,
                              identity_.writerId,
                              identity_.writerName,
                              identity_.instanceName,
                              toText(pipeName),
                              GetCurrentProcessId()};
    if (!addSubscription(subscription)) {
        HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        unsubscribe();
        return FAILED(hr) ? hr : E_FAIL;
    }
    subscriptionKey_ = key;
    return S_OK;
}

HRESULT CVssWriterImpl::unsubscribe() {
    if (!server_.joinable()) return S_FALSE;
    if (!subscriptionKey_.empty()) removeSubscription(subscriptionKey_);
    subscriptionKey_.clear();
    SetEvent(stop_.get());
    server_.join();
    pipe_.reset();
    stop_.reset();
    return S_OK;
}

void CVssWriterImpl::serve() {
    // Event methods run in the multithreaded apartment, as the platform's do.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    serveRequesters();
    CoUninitialize();
}

void CVssWriterImpl::serveRequesters() {
    while (awaitClient(pipe_.get(), stop_.get()) == PipeStatus::Ok) {
        std::string frame;
        while (readFrame(pipe_.get(), frame, stop_.get()) == PipeStatus::Ok) {
            EventAnswer answer;
            try {
                EventRequest request = readRequest(frame);
                // The frame can be hundreds of MiB; the event gets the room.
                std::string().swap(frame);
                answer = deliver(std::move(request));
            } catch (const FormatError&) {
                answer.succeeded = false;
                answer.writerFailure = static_cast<std::uint32_t>(VSS_E_INVALID_XML_DOCUMENT);
            }
            if (writeFrame(pipe_.get(), [&](TextSink& sink) { write(answer, sink); }) !=
                PipeStatus::Ok)
                break;
        }
        DisconnectNamedPipe(pipe_.get());
        if (WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) return;
    }
}

bool CVssWriterImpl::isSubscribedTo(Event event) const {
    if (event == Event::Identify) return true;
    DWORD needed = isRestoreEvent(event) ? VSS_SM_RESTORE_EVENTS_FLAG : VSS_SM_BACKUP_EVENTS_FLAG;
    return (eventFlags_ & needed) != 0;
}

EventAnswer CVssWriterImpl::deliver(EventRequest request) {
    EventAnswer answer;
    if (!isSubscribedTo(request.event)) {
        answer.succeeded = true;
        if (documentComesBack(request.event)) answer.components = std::move(request.components);
        return answer;
    }
    current_ = &request;
    snapshotSetId_ = GUID_NULL;
    parseGuid(request.snapshotSetId, snapshotSetId_);
    failure_ = S_OK;

    CreateWriterMetadataObject metadata(identity_);
    WriterComponentsObject components(std::move(request.components), request.event, writerId_);
    EventCall call{&writer_, request.event, &components, &metadata, snapshotSetId_};
    DWORD exceptionCode = 0;
    bool succeeded = runGuarded(dispatchEvent, &call, exceptionCode);

    answer.succeeded = succeeded && exceptionCode == 0;
    answer.exceptionCode = exceptionCode;
    answer.writerFailure = static_cast<std::uint32_t>(failure_);
    if (request.event == Event::Identify) answer.metadata = metadata.metadata();
    if (documentComesBack(request.event)) answer.components = components.collect();
    if (!restoreMetadataComesBack(request.event))
        for (ComponentState& component : answer.components) component.restoreMetadata.reset();
    current_ = nullptr;
    return answer;
}

bool CVssWriterImpl::isPathAffected(LPCWSTR path) const {
    if (!current_ || !path) return false;
    for (const Text& volume : current_->volumes)
        if (isPathUnder(toText(path), volume)) return true;
    return false;
}

HRESULT CVssWriterImpl::setWriterFailure(HRESULT hr) {
    if (!current_) return VSS_E_BAD_STATE;
    failure_ = hr;
    return S_OK;
}

// --- The exported members ---------------------------------------------------
// Each is a free function with the member's calling convention; vssapi.def
// exports it under the member's Microsoft C++ name.

namespace {

// A pure event reached through the base's own table, as by a writer
// destroyed while still subscribed: like the platform, end the process.
bool __stdcall pureEventCalled(WriterObject*) { std::abort(); }

extern const WriterTable kBaseTable;

const EventRequest* currentEvent(const WriterObject* self) { return self->impl->currentEvent(); }

}  // namespace

extern "C" {

void* __thiscall writerConstruct(WriterObject* self) {
    self->table = &kBaseTable;
    self->impl = new CVssWriterImpl(*self);
    return self;
}

void __thiscall writerDestruct(WriterObject* self) {
    self->table = &kBaseTable;
    delete self->impl;
    self->impl = nullptr;
}

HRESULT __stdcall writerInitialize(WriterObject* self, VSS_ID writerId, LPCWSTR writerName,
                                   VSS_USAGE_TYPE usage, VSS_SOURCE_TYPE source,
                                   VSS_APPLICATION_LEVEL level, DWORD freezeTimeout,
                                   VSS_ALTERNATE_WRITER_STATE alternateState, bool ioThrottlingOnly,
                                   LPCWSTR instanceName) {
    return self->impl->initialize(writerId, writerName, usage, source, level, freezeTimeout,
                                  alternateState, ioThrottlingOnly, instanceName);
}

// The form of systems before the writer instance name.
HRESULT __stdcall writerInitializeUnnamed(WriterObject* self, VSS_ID writerId, LPCWSTR writerName,
                                          VSS_USAGE_TYPE usage, VSS_SOURCE_TYPE source,
                                          VSS_APPLICATION_LEVEL level, DWORD freezeTimeout,
                                          VSS_ALTERNATE_WRITER_STATE alternateState,
                                          bool ioThrottlingOnly) {
    return writerInitialize(self, writerId, writerName, usage, source, level, freezeTimeout,
                            alternateState, ioThrottlingOnly, nullptr);
}

HRESULT __stdcall writerSubscribe(WriterObject* self, DWORD eventFlags) {
    return self->impl->subscribe(eventFlags);
}

HRESULT __stdcall writerUnsubscribe(WriterObject* self) { return self->impl->unsubscribe(); }

VSS_ID* __stdcall writerCurrentSnapshotSetId(const WriterObject* self, VSS_ID* result) {
    const VSS_ID* id = self->impl->currentSnapshotSetId();
    *result = id ? *id : GUID_NULL;
    return result;
}

UINT __stdcall writerCurrentVolumeCount(const WriterObject* self) {
    const EventRequest* event = currentEvent(self);
    return event ? static_cast<UINT>(event->volumes.size()) : 0;
}

VSS_APPLICATION_LEVEL __stdcall writerCurrentLevel(const WriterObject* self) {
    return self->impl->level();
}

bool __stdcall writerIsPathAffected(const WriterObject* self, LPCWSTR path) {
    return self->impl->isPathAffected(path);
}

bool __stdcall writerIsBootableSystemStateBackedUp(const WriterObject*) { return false; }

bool __stdcall writerAreComponentsSelected(const WriterObject* self) {
    const EventRequest* event = currentEvent(self);
    return event && event->selectComponents;
}

VSS_BACKUP_TYPE __stdcall writerBackupType(const WriterObject* self) {
    const EventRequest* event = currentEvent(self);
    return event ? static_cast<VSS_BACKUP_TYPE>(event->backupType) : VSS_BT_UNDEFINED;
}

VSS_RESTORE_TYPE __stdcall writerRestoreType(const WriterObject* self) {
    const EventRequest* event = currentEvent(self);
    return event && isRestoreEvent(event->event) ? VSS_RTYPE_BY_COPY : VSS_RTYPE_UNDEFINED;
}

bool __stdcall writerIsPartialFileSupportEnabled(const WriterObject*) { return false; }

HRESULT __stdcall writerSetWriterFailure(WriterObject* self, HRESULT hr) {
    return self->impl->setWriterFailure(hr);
}

// The base's answers for events a writer does not override.
bool __stdcall writerOnIdentify(WriterObject*, IVssCreateWriterMetadata*) { return true; }
bool __stdcall writerOnPrepareBackup(WriterObject*, IVssWriterComponents*) { return true; }
bool __stdcall writerOnBackupComplete(WriterObject*, IVssWriterComponents*) { return true; }
bool __stdcall writerOnBackupShutdown(WriterObject*, VSS_ID) { return true; }
bool __stdcall writerOnPreRestore(WriterObject*, IVssWriterComponents*) { return true; }
bool __stdcall writerOnPostRestore(WriterObject*, IVssWriterComponents*) { return true; }
bool __stdcall writerOnPostSnapshot(WriterObject*, IVssWriterComponents*) { return true; }
bool __stdcall writerOnBackOffIOOnVolume(WriterObject*, VSS_PWSZ, VSS_ID, VSS_ID) { return true; }
bool __stdcall writerOnContinueIOOnVolume(WriterObject*, VSS_PWSZ, VSS_ID, VSS_ID) { return true; }
bool __stdcall writerOnVSSShutdown(WriterObject*) { return true; }
bool __stdcall writerOnVSSApplicationStartup(WriterObject*) { return true; }

}  // extern "C"

namespace {

// The base class is abstract: its own slot 0 only ever destroys, never frees.
void* __thiscall destroyBase(WriterObject* self, unsigned int) {
    writerDestruct(self);
    return self;
}

const WriterTable kBaseTable = {destroyBase,
                                writerOnIdentify,
                                writerOnPrepareBackup,
                                pureEventCalled,
                                pureEventCalled,
                                pureEventCalled,
                                pureEventCalled,
                                writerOnBackupComplete,
                                writerOnBackupShutdown,
                                writerOnPreRestore,
                                writerOnPostRestore,
                                writerOnPostSnapshot,
                                writerOnBackOffIOOnVolume,
                                writerOnContinueIOOnVolume,
                                writerOnVSSShutdown,
                                writerOnVSSApplicationStartup};

}  // namespace
