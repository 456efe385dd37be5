#pragma once
// The instance's event source in the Application event log and the message
// library its texts come from. Every reported event is also formatted from
// that library and written to the trace. Failures go to the trace only; the
// caller learns of them from a 0 result.

#include <cstdint>
#include <string>

namespace snapscribe {

constexpr std::uint16_t kEventCategory = 255;
constexpr std::uint32_t kWin32ErrorEvent = 0x4FFF0009;

// Registers the event source of instance `sid` with its message library;
// 1 on success (and without an instance), 0 on failure.
int initEventLog(const wchar_t* sid);
int closeEventLog();

// The message library for user language `language`: the one with the
// language's suffix in the program's directory, else the US one there.
std::wstring messageLibraryFor(std::uint16_t language);

// Report one event with one, two or three insertion strings and optional raw
// data; 1 on success, 0 on failure.
int writeToEventLog1(std::uint16_t type, std::uint16_t category, std::uint32_t id,
                     const wchar_t* s1, std::uint32_t rawSize, const void* raw);
int writeToEventLog2(std::uint16_t type, std::uint16_t category, std::uint32_t id,
                     const wchar_t* s1, const wchar_t* s2, std::uint32_t rawSize, const void* raw);
int writeToEventLog3(std::uint16_t type, std::uint16_t category, std::uint32_t id,
                     const wchar_t* s1, const wchar_t* s2, const wchar_t* s3, std::uint32_t rawSize,
                     const void* raw);

// Report the thread's last system error as its own event, with `context` (or
// nothing) as raw data. Returns the error code, 0 when there was none.
std::uint32_t wwriteToEventLog2(const wchar_t* context);

// Trace the thread's last system error after `context` (or nothing). Returns
// the error code, 0 when there was none.
std::uint32_t traceLastError(const wchar_t* context);

}  // namespace snapscribe
