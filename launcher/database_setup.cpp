#include "launcher/database_setup.h"

#include <windows.h>

#include <algorithm>

#include "launcher/win_text.h"
#include "support/unique_handle.h"

namespace launcher {
namespace {

struct EngineSetting {
    const wchar_t* key;
    const wchar_t* name;
    const wchar_t* data;
};

constexpr wchar_t kDriverKey[] =
    L"SOFTWARE\\Borland\\Database Engine\\Settings\\DRIVERS\\VORLIX\\INIT";
constexpr wchar_t kSystemKey[] = L"SOFTWARE\\Borland\\Database Engine\\Settings\\System\\INIT";

constexpr EngineSetting kEngineSettings[] = {
    {kDriverKey, L"DLL32", L"SQLVLX8.DLL"},
    {kDriverKey, L"VENDOR INIT", L"VCI.DLL"},
    {kSystemKey, L"SHAREDMEMLOCATION", L"4096"},
    {kSystemKey, L"SHAREDMEMSIZE", L"4096"},
};

void writeString(HKEY key, const EngineSetting& setting) {
    const DWORD bytes = static_cast<DWORD>((wcslen(setting.data) + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key, setting.name, 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(setting.data), bytes);
    if (status != ERROR_SUCCESS) {
        throw Win32Error("cannot write the engine setting " + toNarrow(setting.name),
                         static_cast<DWORD>(status));
    }
}

}  // namespace

void writeEngineSettings() {
    for (const wchar_t* keyName : {kDriverKey, kSystemKey}) {
        support::RegistryKey key;
        const LSTATUS status =
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_SET_VALUE, nullptr, key.receive(), nullptr);
        if (status != ERROR_SUCCESS) {
            throw Win32Error("cannot open HKEY_LOCAL_MACHINE\\" + toNarrow(keyName),
                             static_cast<DWORD>(status));
        }
        for (const EngineSetting& setting : kEngineSettings) {
            if (setting.key == keyName) writeString(key.get(), setting);
        }
    }
}

void ensureDeliveryAlias(DatabaseEngine& engine, const Settings& settings) {
    const std::vector<std::wstring> names = engine.aliasNames();
    if (std::find(names.begin(), names.end(), kDeliveryAlias) != names.end()) return;
    engine.addAlias(kDeliveryAlias, kDeliveryDriver, deliveryAliasParameters(settings));
    engine.saveConfigFile();
}

void connectDeliveryDatabase(DatabaseEngine& engine, const Settings& settings) {
    engine.connect(kDeliveryAlias, connectionParameters(settings));
}

}  // namespace launcher
