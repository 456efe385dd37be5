// The transfer status line for any counts and clock readings: it always
// starts with its direction's words, fits the window's status line, and
// never counts down below zero.

#include "fuzz/fuzz_input.h"
#include "launcher/progress_text.h"

namespace {

using launcher::TransferDirection;

constexpr std::size_t kLongestStatusLine = 128;

void checkStatus(const std::wstring& status, TransferDirection direction) {
    const std::wstring prefix =
        direction == TransferDirection::Receiving ? L"Download Speed " : L"Uploade Speed ";
    fuzzing::require(status.starts_with(prefix), "the status line names its direction");
    fuzzing::require(status.size() <= kLongestStatusLine, "the status line stays short");
    const std::size_t remaining = status.find(L"Time remaining ");
    fuzzing::require(
        remaining == std::wstring::npos || status.find(L'-', remaining) == std::wstring::npos,
        "the time remaining is never negative");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const TransferDirection direction =
        input.flag() ? TransferDirection::Sending : TransferDirection::Receiving;
    launcher::TransferProgress progress;
    progress.begin(input.number<std::uint64_t>(), input.number<std::uint64_t>());
    // Every further 16 bytes: the bytes so far and the clock of one update.
    do {
        const auto bytesSoFar = input.number<std::uint64_t>();
        const auto now = input.number<std::uint64_t>();
        checkStatus(progress.update(direction, bytesSoFar, now), direction);
        fuzzing::require(progress.speed() >= 0, "the speed is never negative");
    } while (!input.empty());
    return 0;
}
