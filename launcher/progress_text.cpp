#include "launcher/progress_text.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

namespace launcher {
namespace {

// A crawl against a huge announced total would count down past what the
// hours can show (and past what a number of seconds can hold): the
// countdown stops at its longest instead of turning negative.
constexpr std::int64_t kLongestCountdownSeconds = 0x7FFFFFFF;

}  // namespace

void TransferProgress::begin(std::uint64_t expectedBytes, std::uint64_t nowMilliseconds) {
    expectedBytes_ = expectedBytes;
    startMilliseconds_ = nowMilliseconds;
    kilobytesPerSecond_ = 0;
}

std::wstring TransferProgress::update(TransferDirection direction, std::uint64_t bytesSoFar,
                                      std::uint64_t nowMilliseconds) {
    const double elapsedSeconds =
        nowMilliseconds > startMilliseconds_
            ? static_cast<double>(nowMilliseconds - startMilliseconds_) / 1000.0
            : 0.0;
    if (elapsedSeconds > 0) {
        kilobytesPerSecond_ = static_cast<double>(bytesSoFar) / 1024.0 / elapsedSeconds;
    }
    std::wstring remaining;
    // Without an announced total there is nothing to count down to.
    if (kilobytesPerSecond_ > 0 && expectedBytes_ > 0) {
        // A server that sends more than it announced must not give a negative countdown.
        const double bytesLeft =
            bytesSoFar < expectedBytes_ ? static_cast<double>(expectedBytes_ - bytesSoFar) : 0.0;
        const double seconds = std::min(std::trunc(bytesLeft / 1024.0 / kilobytesPerSecond_),
                                        static_cast<double>(kLongestCountdownSeconds));
        remaining = remainingTimeText(static_cast<std::int64_t>(seconds));
    }
    return transferStatusText(direction, kilobytesPerSecond_, remaining);
}

std::wstring remainingTimeText(std::int64_t seconds) {
    seconds = std::clamp<std::int64_t>(seconds, 0, kLongestCountdownSeconds);
    wchar_t text[64];
    std::swprintf(text, 64, L"Time remaining %2d:%2d:%2d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

std::wstring transferStatusText(TransferDirection direction, double kilobytesPerSecond,
                                const std::wstring& remaining) {
    wchar_t speed[64];
    std::swprintf(speed, 64, L"%.2f KB/S", kilobytesPerSecond);
    const wchar_t* prefix =
        direction == TransferDirection::Receiving ? L"Download Speed " : L"Uploade Speed ";
    return prefix + std::wstring(speed) + L"; " + remaining;
}

}  // namespace launcher
