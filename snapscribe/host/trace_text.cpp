#include "trace_text.h"

#include <cstdio>
#include <cstdlib>

namespace snapscribe {
namespace {

struct StartLine {
    std::uint32_t bit;
    const wchar_t* line;
};

constexpr StartLine kStartLines[] = {
    {TRC_EVENT, L"\nEnable Vss event tracing"},
    {TRC_COMPONENT, L"\nEnable Vss Component tracing"},
    {TRC_FILES, L"\nEnable Vss Files tracing"},
    {TRC_MISC, L"\nEnable Vss Misc tracing"},
    {TRC_METADATA, L"\nEnable Vss Metadata tracing"},
    {TRC_SQL, L"\nEnable Vss SQL tracing"},
    {TRC_TIME, L"\nEnable Vss Time tracing"},
};

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Fields out of range (a negative weekday) still name a day and a month.
int wrapped(int value, int count) { return (value % count + count) % count; }

}  // namespace

std::string timeStampText(const std::tm& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %lld",
                  kWeekdays[wrapped(time.tm_wday, 7)], kMonths[wrapped(time.tm_mon, 12)],
                  time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec, 1900LL + time.tm_year);
    return text;
}

std::vector<const wchar_t*> traceStartLines(std::uint32_t level) {
    std::vector<const wchar_t*> lines;
    if (level & TRC_MISC) lines.push_back(L"\nStarting Application Trace file");
    for (const StartLine& entry : kStartLines) {
        if (level & entry.bit) lines.push_back(entry.line);
    }
    return lines;
}

std::uint32_t parseTraceLevel(const char* text) {
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 0));
}

}  // namespace snapscribe
