#include "code_page.h"

#include <windows.h>

#include "support/code_page_text.h"

namespace snapscribe {

std::optional<std::wstring> strictWide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int chars =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (chars <= 0) return std::nullopt;
    std::wstring wide(chars, L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), chars);
    return wide;
}

std::wstring lenientWide(std::string_view text) { return support::toWide(text, CP_ACP); }

std::string systemNarrow(std::wstring_view text) { return support::toNarrow(text, CP_ACP); }

}  // namespace snapscribe
