#pragma once
// Names and command lines of the per-instance writer services.

#include <cstdint>
#include <string>

namespace snapscribe {

constexpr const wchar_t* kWriterServicePrefix = L"VorlixVssWriter";

// What "/q" does with the writer services; List prints their names.
enum class ServiceQuery { List, Status, Start, Stop };

std::wstring writerServiceName(const std::wstring& sid);
std::wstring writerDisplayName(const std::wstring& sid);

// "\\machine" for a named machine, empty for this one.
std::wstring machinePrefix(const std::wstring& machine);

// The administration tool's command that starts or stops `service`.
std::wstring serviceStartCommand(const std::wstring& prefix, const std::wstring& service);
std::wstring serviceStopCommand(const std::wstring& prefix, const std::wstring& service);

// A program path as a command line's first word: quoted when it holds a
// blank, so no program at a shorter path can be started in its place.
std::wstring commandLineProgram(const std::wstring& path);

// Services "/q" works on: names beginning with the prefix, case included.
bool isWriterService(const std::wstring& name);

// The "/status" text of a service state.
const char* serviceStateText(std::uint32_t state);

}  // namespace snapscribe
