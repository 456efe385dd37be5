#include "sim/vss/common/pipe_frames.h"

#include <cstdint>

#include "support/unique_handle.h"

namespace vsssim {

namespace {

// Completes one overlapped transfer, or gives up when `stop` is signalled.
PipeStatus finishTransfer(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, HANDLE stop,
                          DWORD& transferred) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return PipeStatus::Closed;
    if (stop) {
        HANDLE waits[] = {overlapped.hEvent, stop};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIo(pipe);
            GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
            return PipeStatus::Stopped;
        }
    }
    return GetOverlappedResult(pipe, &overlapped, &transferred, TRUE) ? PipeStatus::Ok
                                                                      : PipeStatus::Closed;
}

PipeStatus transferAll(HANDLE pipe, char* data, DWORD size, bool reading, HANDLE stop) {
    support::KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    DWORD done = 0;
    while (done < size) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = event.get();
        DWORD transferred = 0;
        BOOL started = reading ? ReadFile(pipe, data + done, size - done, nullptr, &overlapped)
                               : WriteFile(pipe, data + done, size - done, nullptr, &overlapped);
        PipeStatus status = finishTransfer(pipe, overlapped, started, stop, transferred);
        if (status != PipeStatus::Ok) return status;
        if (transferred == 0) return PipeStatus::Closed;
        done += transferred;
    }
    return PipeStatus::Ok;
}

constexpr std::size_t kPipeSliceBytes = 1 << 20;

// Passes text on to the pipe in slices; after a failed write it takes no more.
class PipeSink final : public TextSink {
public:
    explicit PipeSink(HANDLE pipe) : pipe_(pipe) { buffer_.reserve(kPipeSliceBytes); }

    void put(std::string_view text) override {
        if (buffer_.size() + text.size() > kPipeSliceBytes) flush();
        if (text.size() > kPipeSliceBytes)
            send(const_cast<char*>(text.data()), text.size());
        else
            buffer_.append(text);
    }

    PipeStatus finish() {
        flush();
        return status_;
    }

private:
    void flush() {
        send(buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    void send(char* data, std::size_t size) {
        if (status_ == PipeStatus::Ok && size > 0)
            status_ = transferAll(pipe_, data, static_cast<DWORD>(size), false, nullptr);
    }

    HANDLE pipe_;
    std::string buffer_;
    PipeStatus status_ = PipeStatus::Ok;
};

}  // namespace

PipeStatus awaitClient(HANDLE pipe, HANDLE stop) {
    support::KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    if (ConnectNamedPipe(pipe, &overlapped)) return PipeStatus::Ok;
    if (GetLastError() == ERROR_PIPE_CONNECTED) return PipeStatus::Ok;
    DWORD transferred = 0;
    return finishTransfer(pipe, overlapped, FALSE, stop, transferred);
}

PipeStatus readFrame(HANDLE pipe, std::string& frame, HANDLE stop) {
    unsigned char header[4] = {};
    PipeStatus status = transferAll(pipe, reinterpret_cast<char*>(header), 4, true, stop);
    if (status != PipeStatus::Ok) return status;
    std::uint32_t length =
        header[0] | header[1] << 8 | header[2] << 16 | static_cast<std::uint32_t>(header[3]) << 24;
    frame.assign(length, '\0');
    return transferAll(pipe, frame.data(), length, true, stop);
}

PipeStatus writeFrame(HANDLE pipe, const std::function<void(TextSink&)>& compose) {
    CountingSink counter;
    compose(counter);
    if (counter.bytes() > 0xFFFFFFFFu) return PipeStatus::Closed;
    std::uint32_t length = static_cast<std::uint32_t>(counter.bytes());
    char header[4] = {static_cast<char>(length & 0xFF), static_cast<char>(length >> 8 & 0xFF),
                      static_cast<char>(length >> 16 & 0xFF),
                      static_cast<char>(length >> 24 & 0xFF)};
    PipeStatus status = transferAll(pipe, header, 4, false, nullptr);
    if (status != PipeStatus::Ok) return status;
    PipeSink sink(pipe);
    compose(sink);
    return sink.finish();
}

PipeStatus awaitFrame(HANDLE pipe, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
            return PipeStatus::Closed;
        if (available > 0) return PipeStatus::Ok;
        if (GetTickCount64() >= deadline) return PipeStatus::TimedOut;
        Sleep(2);
    }
}

}  // namespace vsssim
