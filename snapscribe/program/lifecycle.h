#pragma once
// Bringing the writer up and down: backup privilege, COM, the one writer
// object, its registration and subscription; and the console mode that
// waits for Ctrl-C between the two.

#include <windows.h>

#include <cstdint>

namespace snapscribe {

constexpr std::int32_t kOutOfMemoryResult = static_cast<std::int32_t>(0x80070008);

// 0 or positive on success, a negative result code when a step failed. The
// start event is reported whatever the outcome.
std::int32_t initWriter();

// Undoes whatever initWriter achieved and reports the stop event.
void teardownWriter();

// The console mode: runs the writer until a console control arrives; false
// when the writer did not start, after saying why on standard output.
bool runConsole();

BOOL WINAPI consoleCtrlHandler(DWORD controlType);

}  // namespace snapscribe
