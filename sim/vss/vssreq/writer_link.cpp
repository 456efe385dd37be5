#include "sim/vss/vssreq/writer_link.h"

#include "sim/vss/common/pipe_frames.h"
#include "sim/vss/common/wide.h"

namespace vsssim {

namespace {

constexpr DWORD kBusyPipeWaitMs = 5000;

}  // namespace

bool WriterLink::connect() {
    std::wstring name = toWide(subscription_.pipeName);
    for (int attempt = 0; attempt < 2; ++attempt) {
        pipe_.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe_) return true;
        // Another requester holds the writer's one pipe instance.
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeW(name.c_str(), kBusyPipeWaitMs))
            return false;
    }
    return false;
}

Outcome WriterLink::receive(DWORD timeoutMs) {
    Outcome outcome;
    PipeStatus status = awaitFrame(pipe_.get(), timeoutMs);
    if (status == PipeStatus::TimedOut) {
        outcome.delivery = Delivery::TimedOut;
        return outcome;
    }
    std::string frame;
    if (status != PipeStatus::Ok || readFrame(pipe_.get(), frame, nullptr) != PipeStatus::Ok)
        return outcome;
    --owed_;
    try {
        outcome.answer = readAnswer(frame);
        outcome.delivery = Delivery::Answered;
    } catch (const FormatError&) {
        outcome.delivery = Delivery::WriterGone;
    }
    return outcome;
}

Outcome WriterLink::exchange(const EventRequest& request, DWORD timeoutMs) {
    if (!pipe_ ||
        writeFrame(pipe_.get(), [&](TextSink& sink) { write(request, sink); }) != PipeStatus::Ok)
        return {};
    ++owed_;
    while (owed_ > 1) {
        Outcome late = receive(timeoutMs);
        if (late.delivery != Delivery::Answered) return late;
    }
    return receive(timeoutMs);
}

}  // namespace vsssim
