#include "launcher/ftp_reply.h"

#include <limits>

namespace launcher {

std::optional<std::uint64_t> sizeFromReply(std::wstring_view reply) {
    constexpr std::wstring_view kFileStatus = L"213 ";
    if (!reply.starts_with(kFileStatus)) return std::nullopt;
    std::wstring_view digits = reply.substr(kFileStatus.size());
    while (!digits.empty() && (digits.back() == L'\r' || digits.back() == L'\n')) {
        digits.remove_suffix(1);
    }
    if (digits.empty()) return std::nullopt;
    std::uint64_t size = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (size > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        size = size * 10 + digit;
    }
    return size;
}

}  // namespace launcher
