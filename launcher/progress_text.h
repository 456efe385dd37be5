#pragma once
// The status line shown while a package is transferred: speed in kilobytes
// per second and the time remaining. Pure arithmetic and text: no Windows header.

#include <cstdint>
#include <string>

namespace launcher {

enum class TransferDirection { Receiving, Sending };

class TransferProgress {
public:
    // A transfer begins; `expectedBytes` is 0 when the server announced no total.
    void begin(std::uint64_t expectedBytes, std::uint64_t nowMilliseconds);

    // `bytesSoFar` arrived by `nowMilliseconds`; returns the status line.
    std::wstring update(TransferDirection direction, std::uint64_t bytesSoFar,
                        std::uint64_t nowMilliseconds);

    double speed() const { return kilobytesPerSecond_; }

private:
    std::uint64_t expectedBytes_ = 0;
    std::uint64_t startMilliseconds_ = 0;
    double kilobytesPerSecond_ = 0;
};

// "Time remaining " and the seconds as blank-padded hours, minutes and seconds.
std::wstring remainingTimeText(std::int64_t seconds);

// "Download Speed 12.34 KB/S; " + remaining (or "Uploade ..." when sending).
std::wstring transferStatusText(TransferDirection direction, double kilobytesPerSecond,
                                const std::wstring& remaining);

}  // namespace launcher
