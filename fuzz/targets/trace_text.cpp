// The trace's own texts: a time stamp of any calendar fields fits its
// buffer and is 24 characters for a real moment; the start lines follow the
// level's bits; a stored level word of any text reads without fault.

#include <bit>
#include <ctime>

#include "fuzz/fuzz_input.h"
#include "snapscribe/host/trace_text.h"

namespace {

using namespace snapscribe;

bool isRealMoment(const std::tm& time) {
    return time.tm_wday >= 0 && time.tm_wday <= 6 && time.tm_mon >= 0 && time.tm_mon <= 11 &&
           time.tm_mday >= 1 && time.tm_mday <= 31 && time.tm_hour >= 0 && time.tm_hour <= 23 &&
           time.tm_min >= 0 && time.tm_min <= 59 && time.tm_sec >= 0 && time.tm_sec <= 60 &&
           time.tm_year >= 0 && time.tm_year <= 8099;
}

void checkTimeStamp(const std::tm& time) {
    const std::string text = timeStampText(time);
    if (isRealMoment(time)) fuzzing::require(text.size() == 24, "a time stamp has 24 characters");
}

void checkStartLines(std::uint32_t level) {
    constexpr std::uint32_t kKnownBits =
        TRC_EVENT | TRC_COMPONENT | TRC_FILES | TRC_MISC | TRC_METADATA | TRC_SQL | TRC_TIME;
    const std::size_t expected =
        std::popcount(level & kKnownBits) + ((level & TRC_MISC) != 0 ? 1 : 0);
    fuzzing::require(traceStartLines(level).size() == expected, "one start line per bit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    std::tm time{};
    time.tm_wday = static_cast<int>(input.number<std::uint32_t>());
    time.tm_mon = static_cast<int>(input.number<std::uint32_t>());
    time.tm_mday = static_cast<int>(input.number<std::uint32_t>());
    time.tm_hour = static_cast<int>(input.number<std::uint32_t>());
    time.tm_min = static_cast<int>(input.number<std::uint32_t>());
    time.tm_sec = static_cast<int>(input.number<std::uint32_t>());
    time.tm_year = static_cast<int>(input.number<std::uint32_t>());
    checkTimeStamp(time);
    const std::string levelWord = input.restAsText();
    const std::uint32_t level = parseTraceLevel(levelWord.c_str());
    checkStartLines(level);
    return 0;
}
