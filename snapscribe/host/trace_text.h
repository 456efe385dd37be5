#pragma once
// Texts of the trace that need no system services: the time stamp of an
// entry and the lines announcing which kinds of tracing are on.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace snapscribe {

// Trace level bits. Callers test the bit before tracing.
constexpr std::uint32_t TRC_EVENT = 0x1;
constexpr std::uint32_t TRC_COMPONENT = 0x2;
constexpr std::uint32_t TRC_FILES = 0x4;
constexpr std::uint32_t TRC_MISC = 0x8;
constexpr std::uint32_t TRC_METADATA = 0x10;
constexpr std::uint32_t TRC_SQL = 0x10000;
constexpr std::uint32_t TRC_TIME = 0x20000;

// The 24-character form "Wed Dec  9 09:37:30 2026", without a line feed.
std::string timeStampText(const std::tm& time);

// The lines written when a trace opens at `level`, in the order of the bits.
std::vector<const wchar_t*> traceStartLines(std::uint32_t level);

// The stored level word: decimal, 0x-hexadecimal or 0-octal; 0 for no number.
std::uint32_t parseTraceLevel(const char* text);

}  // namespace snapscribe
