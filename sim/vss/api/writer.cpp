#include <windows.h>

#include <objbase.h>
#include <vswriter.h>

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
    CVssWriter* writer;
    Event event;
    IVssWriterComponents* components;
    IVssCreateWriterMetadata* metadata;
    VSS_ID snapshotSetId;
};

// Runs inside the escape guard; holds nothing that needs destroying.
bool dispatchEvent(void* context) {
    EventCall& call = *static_cast<EventCall*>(context);
    CVssWriter& writer = *call.writer;
    switch (call.event) {
        case Event::Identify: return writer.OnIdentify(call.metadata);
        case Event::PrepareBackup: return writer.OnPrepareBackup(call.components);
        case Event::PrepareSnapshot: return writer.OnPrepareSnapshot();
        case Event::Freeze: return writer.OnFreeze();
        case Event::Thaw: return writer.OnThaw();
        case Event::PostSnapshot: return writer.OnPostSnapshot(call.components);
        case Event::Abort: return writer.OnAbort();
        case Event::BackupComplete: return writer.OnBackupComplete(call.components);
        case Event::BackupShutdown: return writer.OnBackupShutdown(call.snapshotSetId);
        case Event::PreRestore: return writer.OnPreRestore(call.components);
        case Event::PostRestore: return writer.OnPostRestore(call.components);
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
                answer = deliver(readRequest(frame));
            } catch (const FormatError&) {
                answer.succeeded = false;
                answer.writerFailure = static_cast<std::uint32_t>(VSS_E_INVALID_XML_DOCUMENT);
            }
            if (writeFrame(pipe_.get(), writeAnswer(answer)) != PipeStatus::Ok) break;
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

EventAnswer CVssWriterImpl::deliver(const EventRequest& request) {
    EventAnswer answer;
    if (!isSubscribedTo(request.event)) {
        answer.succeeded = true;
        if (documentComesBack(request.event)) answer.components = request.components;
        return answer;
    }
    current_ = &request;
    snapshotSetId_ = GUID_NULL;
    parseGuid(request.snapshotSetId, snapshotSetId_);
    failure_ = S_OK;

    CreateWriterMetadataObject metadata(identity_);
    WriterComponentsObject components(request.components, request.event, writerId_);
    EventCall call{&writer_, request.event, &components, &metadata, snapshotSetId_};
    DWORD exceptionCode = 0;
    bool succeeded = runGuarded(dispatchEvent, &call, exceptionCode);

    answer.succeeded = succeeded && exceptionCode == 0;
    answer.exceptionCode = exceptionCode;
    answer.writerFailure = static_cast<std::uint32_t>(failure_);
    if (request.event == Event::Identify) answer.metadata = metadata.metadata();
    if (documentComesBack(request.event)) answer.components = components.collect();
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

// --- CVssWriter -------------------------------------------------------------

CVssWriter::CVssWriter() : m_pWrapper(new CVssWriterImpl(*this)) {}

CVssWriter::~CVssWriter() { delete m_pWrapper; }

HRESULT CVssWriter::Initialize(VSS_ID WriterID, LPCWSTR wszWriterName, VSS_USAGE_TYPE ut,
                               VSS_SOURCE_TYPE st, VSS_APPLICATION_LEVEL nLevel,
                               DWORD dwTimeoutFreeze, VSS_ALTERNATE_WRITER_STATE aws,
                               bool bIOThrottlingOnly, LPCWSTR wszWriterInstanceName) {
    return m_pWrapper->initialize(WriterID, wszWriterName, ut, st, nLevel, dwTimeoutFreeze, aws,
                                  bIOThrottlingOnly, wszWriterInstanceName);
}

HRESULT CVssWriter::Subscribe(DWORD dwEventFlags) { return m_pWrapper->subscribe(dwEventFlags); }
HRESULT CVssWriter::Unsubscribe() { return m_pWrapper->unsubscribe(); }

const VSS_ID* CVssWriter::GetCurrentSnapshotSetId() { return m_pWrapper->currentSnapshotSetId(); }

LONG CVssWriter::GetCurrentVolumeCount() {
    const EventRequest* event = m_pWrapper->currentEvent();
    return event ? static_cast<LONG>(event->volumes.size()) : 0;
}

VSS_APPLICATION_LEVEL CVssWriter::GetCurrentLevel() { return m_pWrapper->level(); }

bool CVssWriter::IsPathAffected(LPCWSTR wszPath) { return m_pWrapper->isPathAffected(wszPath); }

bool CVssWriter::IsBootableSystemStateBackedUp() { return false; }

bool CVssWriter::AreComponentsSelected() {
    const EventRequest* event = m_pWrapper->currentEvent();
    return event && event->selectComponents;
}

VSS_BACKUP_TYPE CVssWriter::GetBackupType() {
    const EventRequest* event = m_pWrapper->currentEvent();
    return event ? static_cast<VSS_BACKUP_TYPE>(event->backupType) : VSS_BT_UNDEFINED;
}

VSS_RESTORE_TYPE CVssWriter::GetRestoreType() {
    const EventRequest* event = m_pWrapper->currentEvent();
    return event && isRestoreEvent(event->event) ? VSS_RTYPE_BY_COPY : VSS_RTYPE_UNDEFINED;
}

bool CVssWriter::IsPartialFileSupportEnabled() { return false; }

HRESULT CVssWriter::SetWriterFailure(HRESULT hr) { return m_pWrapper->setWriterFailure(hr); }

// The base's answers for events a writer does not override.
bool CVssWriter::OnIdentify(IVssCreateWriterMetadata*) { return true; }
bool CVssWriter::OnPrepareBackup(IVssWriterComponents*) { return true; }
bool CVssWriter::OnBackupComplete(IVssWriterComponents*) { return true; }
bool CVssWriter::OnBackupShutdown(VSS_ID) { return true; }
bool CVssWriter::OnPreRestore(IVssWriterComponents*) { return true; }
bool CVssWriter::OnPostRestore(IVssWriterComponents*) { return true; }
bool CVssWriter::OnPostSnapshot(IVssWriterComponents*) { return true; }
bool CVssWriter::OnBackOffIOOnVolume(VSS_PWSZ, VSS_ID, VSS_ID) { return true; }
bool CVssWriter::OnContinueIOOnVolume(VSS_PWSZ, VSS_ID, VSS_ID) { return true; }
bool CVssWriter::OnVSSShutdown() { return true; }
bool CVssWriter::OnVSSApplicationStartup() { return true; }
