#include "code_page.h"

#include <windows.h>

namespace snapscribe {
namespace {

std::optional<std::wstring> widen(std::string_view text, DWORD flags) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int chars = MultiByteToWideChar(CP_ACP, flags, text.data(), length, nullptr, 0);
    if (chars <= 0) return std::nullopt;
    std::wstring wide(chars, L'\0');
    MultiByteToWideChar(CP_ACP, flags, text.data(), length, wide.data(), chars);
    return wide;
}

}  // namespace

std::optional<std::wstring> strictWide(std::string_view text) {
    return widen(text, MB_ERR_INVALID_CHARS);
}

std::wstring lenientWide(std::string_view text) { return widen(text, 0).value_or(L""); }

std::string systemNarrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string narrow(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

}  // namespace snapscribe
