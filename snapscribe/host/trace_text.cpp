#include "trace_text.h"

#include <cstdio>
#include <cstdlib>

namespace snapscribe {
namespace {

struct StartLine {
    std::uint32_t bit;
    const char* line;
};

constexpr StartLine kStartLines[] = {
    {TRC_EVENT, "\nEnable Vss event tracing"},
    {TRC_COMPONENT, "\nEnable Vss Component tracing"},
    {TRC_FILES, "\nEnable Vss Files tracing"},
    {TRC_MISC, "\nEnable Vss Misc tracing"},
    {TRC_METADATA, "\nEnable Vss Metadata tracing"},
    {TRC_SQL, "\nEnable Vss SQL tracing"},
    {TRC_TIME, "\nEnable Vss Time tracing"},
};

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string timeStampText(const std::tm& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kWeekdays[time.tm_wday % 7],
                  kMonths[time.tm_mon % 12], time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                  1900 + time.tm_year);
    return text;
}

std::vector<const char*> traceStartLines(std::uint32_t level) {
    std::vector<const char*> lines;
    if (level & TRC_MISC) lines.push_back("\nStarting Application Trace file");
    for (const StartLine& entry : kStartLines) {
        if (level & entry.bit) lines.push_back(entry.line);
    }
    return lines;
}

std::uint32_t parseTraceLevel(const char* text) {
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 0));
}

}  // namespace snapscribe
