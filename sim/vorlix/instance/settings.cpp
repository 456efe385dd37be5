#include "sim/vorlix/instance/settings.h"

#include <windows.h>

#include <vector>

#include "sim/vorlix/instance/text.h"
#include "support/unique_handle.h"

namespace vorlix {

const wchar_t* const kSettingsKey = L"SOFTWARE\\Vorlix";

namespace {

std::optional<std::string> fromEnvironment(const std::wstring& name) {
    DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
    value.resize(length);
    return narrow(value);
}

std::optional<std::string> fromRegistry(const std::wstring& name) {
    support::RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      key.receive()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(value.data()), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return narrow(value.data());
}

}  // namespace

std::optional<std::string> readSetting(const std::string& name) {
    std::wstring wide = widen(name);
    if (auto value = fromEnvironment(wide)) return value;
    return fromRegistry(wide);
}

bool storeSetting(const std::string& name, const std::string& value) {
    support::RegistryKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, key.receive(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    std::wstring wide = widen(value);
    return RegSetValueExW(key.get(), widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          DWORD((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool removeSetting(const std::string& name) {
    support::RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                      key.receive()) != ERROR_SUCCESS)
        return false;
    return RegDeleteValueW(key.get(), widen(name).c_str()) == ERROR_SUCCESS;
}

}  // namespace vorlix
