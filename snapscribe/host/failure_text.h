#pragma once
// Names and texts of the failure reports and the event source that need no
// system services.

#include <cstdint>
#include <string>

namespace snapscribe {

// First insertion string of the writer's start, stop and information events.
constexpr const wchar_t* kWriterVersionText = L"Vorlix VSS writer version 11.2.0.0.0 Beta";

// The event name of a phase number; "UNDEFINED" outside 1 to 11.
const wchar_t* phaseName(int phase);

// The name of one of the five shadow-copy writer errors; empty for 0.
const wchar_t* failureName(std::uint32_t code);

// The first insertion string of a writer failure event, at most 500 characters.
std::wstring failureMessage(const std::wstring& banner, long line, int phase);

// The language suffix of the message library for a user language identifier.
const wchar_t* messageSuffix(std::uint16_t language);

}  // namespace snapscribe
