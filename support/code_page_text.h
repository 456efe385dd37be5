#pragma once
// Conversions between wide text and narrow text of one code page (UTF-8
// unless told otherwise). Invalid input is replaced, never refused.

#include <windows.h>

#include <string>
#include <string_view>

namespace support {

inline std::wstring toWide(std::string_view text, UINT codePage = CP_UTF8) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

inline std::string toNarrow(std::wstring_view text, UINT codePage = CP_UTF8) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

}  // namespace support
