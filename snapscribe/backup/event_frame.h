#pragma once
// The frame every writer event runs its body in: the phase published for
// failure reports, the developer test options, the event trace, and what a
// failure inside the body leads to. Nothing raised in a body leaves the
// frame: the platform's event threads cannot unwind C++ frames.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe {

constexpr std::uint32_t kInformationalFailure = 0x4FFF0007;
constexpr std::int32_t kWriterErrorNonRetryable = static_cast<std::int32_t>(0x800423F4);

// A platform call inside an event failed: the event ends unsuccessfully but
// the writer is not marked failed.
class InformationalFailure : public std::exception {
public:
    InformationalFailure(const WriterFailure& failure, std::int32_t hr);
    const WriterFailure& failure() const noexcept { return failure_; }
    std::int32_t hr() const noexcept { return hr_; }
    const char* what() const noexcept override { return "informational failure"; }

private:
    WriterFailure failure_;
    std::int32_t hr_;
};

// Raises the informational failure when `hr` (a platform call's result,
// from source line `line`) reports a failure.
void checkPlatformCall(std::int32_t hr, long line);

// One of the five writer errors of the platform, chosen at random.
std::int32_t randomWriterError();

// Runs `body` as the event of `phase`. `markWriterFailed` receives the writer
// error code when a writer failure ends the event. Returns the event's result.
bool runEvent(Phase phase, const std::function<void()>& body,
              const std::function<void(std::int32_t)>& markWriterFailed);

}  // namespace snapscribe
