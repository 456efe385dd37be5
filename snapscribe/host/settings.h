#pragma once
// Installation settings of the database client and the tool that stores them.

#include <cstdint>
#include <string>

namespace snapscribe {

// Installation settings of an instance; the instance name takes the place of %s.
constexpr const char* kTraceLevelSetting = "VLX_%s_VSS_TLEVEL";
constexpr const char* kTraceFileSetting = "VLX_%s_VSS_TNAME";
constexpr const char* kToolOptionsSetting = "VLX_%s_VSS_ROPT";

std::string instanceSettingName(const char* pattern, const std::string& sid);

// Read setting `name` into `buffer` (at most `size` bytes, terminator
// included). Returns the length of the value, 0 when it is missing or empty;
// without a buffer it only answers whether the setting exists.
std::uint32_t getSetting(const char* name, char* buffer, std::uint32_t size, std::uint32_t* length);

// Store (or remove) the trace level and file name of instance `sid` from the
// writer settings through the database's administration tool.
void saveTraceSettings(const std::string& sid);

// Run `commandLine` and wait for its end; true when its exit code was
// obtained, false when it could not be started.
bool runProgram(const std::wstring& commandLine);

}  // namespace snapscribe
