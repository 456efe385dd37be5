#include "sim/vss/common/subscriptions.h"

#include "sim/vss/common/wide.h"
#include "support/unique_handle.h"

namespace vsssim {

const wchar_t kSubscriptionsKey[] = L"SOFTWARE\\ShadowCopySim\\Subscriptions";

namespace {

bool setString(HKEY key, const wchar_t* name, const Text& value) {
    std::wstring wide = toWide(value);
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

Text getString(HKEY key, const wchar_t* name) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()),
                         &size) != ERROR_SUCCESS)
        return {};
    return toText(value.c_str());
}

}  // namespace

bool addSubscription(const Subscription& subscription) {
    std::wstring path = std::wstring(kSubscriptionsKey) + L"\\" + toWide(subscription.key);
    support::RegistryKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_WRITE, nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return false;
    DWORD processId = subscription.processId;
    return setString(key.get(), L"WriterId", subscription.writerId) &&
           setString(key.get(), L"WriterName", subscription.writerName) &&
           setString(key.get(), L"InstanceName", subscription.instanceName) &&
           setString(key.get(), L"Pipe", subscription.pipeName) &&
           RegSetValueExW(key.get(), L"ProcessId", 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&processId),
                          sizeof(processId)) == ERROR_SUCCESS;
}

void removeSubscription(const Text& key) {
    std::wstring path = std::wstring(kSubscriptionsKey) + L"\\" + toWide(key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
}

std::vector<Subscription> listSubscriptions() {
    std::vector<Subscription> found;
    support::RegistryKey root;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSubscriptionsKey, 0, KEY_READ, root.receive()) !=
        ERROR_SUCCESS)
        return found;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(root.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        support::RegistryKey key;
        if (RegOpenKeyExW(root.get(), name, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) continue;
        Subscription subscription;
        subscription.key = toText(name);
        subscription.writerId = getString(key.get(), L"WriterId");
        subscription.writerName = getString(key.get(), L"WriterName");
        subscription.instanceName = getString(key.get(), L"InstanceName");
        subscription.pipeName = getString(key.get(), L"Pipe");
        DWORD size = sizeof(subscription.processId);
        RegQueryValueExW(key.get(), L"ProcessId", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&subscription.processId), &size);
        found.push_back(subscription);
    }
    return found;
}

bool isStale(const Subscription& subscription) {
    support::KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, subscription.processId));
    return !process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace vsssim
