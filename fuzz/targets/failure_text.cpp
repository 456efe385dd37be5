// The failure event's first insertion string for any banner, line and
// phase: at most 500 characters, and the banner leads it whole when short.

#include "fuzz/fuzz_input.h"
#include "snapscribe/host/failure_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const auto line = static_cast<long>(static_cast<std::int32_t>(input.number<std::uint32_t>()));
    const auto phase = static_cast<int>(input.number<std::uint32_t>());
    const auto language = input.number<std::uint16_t>();
    // The banner is a C string: it ends at its first NUL.
    const std::wstring whole = input.restAsWide();
    const std::wstring banner = whole.substr(0, whole.find(L'\0'));
    const std::wstring message = snapscribe::failureMessage(banner, line, phase);
    fuzzing::require(message.size() <= 500, "a failure message has at most 500 characters");
    fuzzing::require(message.starts_with(banner.substr(0, 500)), "the banner leads the message");
    fuzzing::require(std::wstring(snapscribe::phaseName(phase)).size() > 0,
                     "every phase has a name");
    fuzzing::require(std::wstring(snapscribe::messageSuffix(language)).size() > 0,
                     "every language has a message library");
    return 0;
}
