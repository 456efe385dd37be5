#include "metadata_tokens.h"

#include <array>
#include <limits>
#include <string_view>

#include "snapscribe/host/packed_payload.h"

namespace snapscribe {
namespace {

struct KeyText {
    MetadataKey key;
    std::wstring_view text;
};

constexpr std::array<KeyText, 4> kKeys = {{{MetadataKey::FileName, L"FILENAME="},
                                           {MetadataKey::FirstChange, L"FIRST_SCN="},
                                           {MetadataKey::NextChange, L"NEXT_SCN="},
                                           {MetadataKey::Data, L"DATA="}}};

std::optional<MetadataToken> recognised(std::wstring_view token) {
    for (const KeyText& known : kKeys) {
        if (!token.starts_with(known.text)) continue;
        const std::wstring_view value = token.substr(known.text.size());
        MetadataToken result{known.key, {}, nullptr, 0};
        if (known.key == MetadataKey::Data) {
            const std::string_view characters = packedCharacters(value);
            result.payload = characters.data();
            result.payloadBytes = characters.size();
        } else {
            result.value.assign(value);
        }
        return result;
    }
    return std::nullopt;
}

}  // namespace

std::vector<MetadataToken> restoreMetadataTokens(const wchar_t* text) {
    std::vector<MetadataToken> tokens;
    const std::wstring_view all(text);
    std::size_t at = 0;
    while (at < all.size()) {
        const std::size_t end = std::min(all.find(L';', at), all.size());
        if (end > at) {
            if (auto token = recognised(all.substr(at, end - at))) tokens.push_back(*token);
        }
        at = end + 1;
    }
    return tokens;
}

std::optional<std::uint64_t> changeNumber(const std::wstring& text) {
    if (text.empty()) return std::nullopt;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t number = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
        if (number > (kMax - digit) / 10) return std::nullopt;
        number = number * 10 + digit;
    }
    return number;
}

}  // namespace snapscribe
