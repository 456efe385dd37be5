#pragma once
// Installation settings: the environment first, then the registry values
// under HKEY_LOCAL_MACHINE\SOFTWARE\Vorlix (32-bit view), where the
// administration tool stores them.

#include <optional>
#include <string>

namespace vorlix {

extern const wchar_t* const kSettingsKey;

std::optional<std::string> readSetting(const std::string& name);
bool storeSetting(const std::string& name, const std::string& value);
bool removeSetting(const std::string& name);

}  // namespace vorlix
