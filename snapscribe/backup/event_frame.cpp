#include "event_frame.h"

#include <windows.h>

#include <cstdlib>

#include "snapscribe/sequence/conversation.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/trace.h"

namespace snapscribe {
namespace {

constexpr std::int32_t kWriterErrors[] = {
    static_cast<std::int32_t>(0x800423F0),  // inconsistent snapshot
    static_cast<std::int32_t>(0x800423F1),  // out of resources
    static_cast<std::int32_t>(0x800423F2),  // timeout
    static_cast<std::int32_t>(0x800423F3),  // retryable
    kWriterErrorNonRetryable,
};
constexpr long kFailPhaseLine = 1;

// Where the trace is opened and closed, and what a handled writer failure
// takes down, differs by event.
bool opensTrace(Phase phase) {
    return phase == PhaseIdentify || phase == PhasePrepareForBackup || phase == PhasePreRestore;
}

bool endsSequence(Phase phase) {
    return phase == PhaseAbort || phase == PhaseBackupComplete || phase == PhaseBackupShutdown ||
           phase == PhasePostRestore;
}

void cleanUpAfterFailure(Phase phase) {
    if (phase == PhaseIdentify) {
        disconnectIdentifySession();
    } else if (endsSequence(phase)) {
        cleanupConversation();
        dropConversationSession();
    } else {
        dropConversationSession();
    }
}

// Publishes the event's phase on its thread for as long as the event runs.
class PhaseSlot {
public:
    explicit PhaseSlot(int* phase) : slot_(writerSettings().TlsIndex) { set(phase); }
    ~PhaseSlot() { set(nullptr); }
    PhaseSlot(const PhaseSlot&) = delete;
    PhaseSlot& operator=(const PhaseSlot&) = delete;

private:
    void set(int* phase) {
        if (slot_ != kTlsOutOfIndexes) TlsSetValue(slot_, phase);
    }
    std::uint32_t slot_;
};

void traceReceived(Phase phase, std::int32_t hr) {
    if (!tracing(TRC_EVENT)) return;
    traceMsg(L"\nThreadId 0x%04x - Received event - %s ()%s%s", GetCurrentThreadId(),
             phaseName(phase), hr < 0 ? L" - FAILED " : L"",
             failureName(static_cast<std::uint32_t>(hr)));
}

void stallWhenAsked() {
    const WriterSettings& settings = writerSettings();
    if (!settings.HangEnabled) return;
    if (tracing(TRC_EVENT)) traceMsg(L"\nSleeping %ld seconds", settings.HangMillis / 1000);
    Sleep(settings.HangMillis);
    if (tracing(TRC_EVENT)) traceMsg(L"Wake up.");
}

void traceInformational(Phase phase, const InformationalFailure& failure) {
    if (!tracing(TRC_EVENT)) return;
    traceMsg(L"\nThreadId 0x%04x - event - %s () raised 0x%08X: 0x%08X %s at line %ld",
             GetCurrentThreadId(), phaseName(phase), kInformationalFailure, failure.hr(),
             failureName(static_cast<std::uint32_t>(failure.hr())), failure.failure().line);
}

void traceUnexpected(Phase phase, const char* what) {
    if (!tracing(TRC_EVENT)) return;
    traceMsg(L"\nThreadId 0x%04x - event - %s () ended by an unexpected exception: %hs",
             GetCurrentThreadId(), phaseName(phase), what);
}

void traceExit(Phase phase, bool result) {
    if (!tracing(TRC_EVENT)) return;
    traceMsg(L"\nThreadId 0x%04x - event - %s () Exiting(%s)", GetCurrentThreadId(),
             phaseName(phase), result ? L"TRUE" : L"FALSE");
}

}  // namespace

InformationalFailure::InformationalFailure(const WriterFailure& failure, std::int32_t hr)
    : failure_(failure), hr_(hr) {}

void checkPlatformCall(std::int32_t hr, long line) {
    if (hr >= 0) return;
    throw InformationalFailure(WriterFailure{line, currentPhase(), {}}, hr);
}

std::int32_t randomWriterError() { return kWriterErrors[std::rand() % std::size(kWriterErrors)]; }

bool runEvent(Phase phase, const std::function<void()>& body,
              const std::function<void(std::int32_t)>& markWriterFailed) {
    int phaseNumber = phase;
    const std::int32_t hr = writerSettings().FailPhase == phase ? randomWriterError() : 0;
    bool result = true;
    PhaseSlot slot(&phaseNumber);
    const bool openedTrace = opensTrace(phase) && initTrace(writerSettings().SidNarrow) == 0;

    try {
        traceReceived(phase, hr);
        stallWhenAsked();
        checkPlatformCall(hr, kFailPhaseLine);
        body();
    } catch (const WriterFailureError& failure) {
        reportEventFailure(failure.code(), failure);
        result = false;
        cleanUpAfterFailure(phase);
        markWriterFailed(kWriterErrorNonRetryable);
    } catch (const InformationalFailure& failure) {
        traceInformational(phase, failure);
        result = false;
    } catch (const std::exception& unexpected) {
        traceUnexpected(phase, unexpected.what());
        result = false;
    } catch (...) {
        traceUnexpected(phase, "unknown");
        result = false;
    }

    traceExit(phase, result);
    if ((phase == PhaseIdentify && openedTrace) || endsSequence(phase)) closeTrace();
    return result;
}

}  // namespace snapscribe
