#include "launcher/install_names.h"

#include <algorithm>
#include <array>
#include <cwctype>

namespace launcher {
namespace {

constexpr std::size_t kMaxNameLength = 255;
constexpr std::wstring_view kForbiddenCharacters = L"<>:\"/\\|?*";
constexpr std::array<std::wstring_view, 6> kDeviceNames = {L"CON", L"PRN",    L"AUX",
                                                           L"NUL", L"CONIN$", L"CONOUT$"};

std::wstring upperCase(std::wstring_view text) {
    std::wstring upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return upper;
}

// Device names stay devices with any extension: "con.txt" is the console.
bool isDeviceName(std::wstring_view name) {
    const std::wstring stem = upperCase(name.substr(0, name.find(L'.')));
    if (std::find(kDeviceNames.begin(), kDeviceNames.end(), stem) != kDeviceNames.end()) {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT")) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

}  // namespace

std::wstring bareFileName(std::wstring_view entryName) {
    const std::size_t slash = entryName.find_last_of(L"/\\");
    return std::wstring(slash == std::wstring_view::npos ? entryName : entryName.substr(slash + 1));
}

bool isPlainFileName(std::wstring_view name) {
    if (name.empty() || name.size() > kMaxNameLength) return false;
    if (name.back() == L'.' || name.back() == L' ') return false;
    const bool badCharacter = std::any_of(name.begin(), name.end(), [](wchar_t c) {
        return c < 0x20 || kForbiddenCharacters.find(c) != std::wstring_view::npos;
    });
    return !badCharacter && !isDeviceName(name);
}

}  // namespace launcher
