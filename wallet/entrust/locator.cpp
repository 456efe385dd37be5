#include "wallet/entrust/locator.h"

#include <cstring>

namespace kmpwallet {

namespace {

constexpr char kPrefix[] = "entr:";
constexpr std::uint32_t kPrefixLength = sizeof kPrefix - 1;

// A part counts only when it is not empty and ends inside the host's text:
// a name running past the last byte would be read from memory not passed.
const char* presentOrNull(const char* part, const char* end) {
    if (part == nullptr || part >= end || *part == '\0') return nullptr;
    return std::memchr(part, '\0', static_cast<std::size_t>(end - part)) != nullptr ? part
                                                                                    : nullptr;
}

}  // namespace

LocatorParts splitLocator(char* text, std::uint32_t length) {
    LocatorParts parts;
    if (text == nullptr || length < kPrefixLength ||
        std::memcmp(text, kPrefix, kPrefixLength) != 0) {
        return parts;
    }
    parts.entrust = true;
    const char* iniFile = nullptr;
    int separators = 0;
    // The last two bytes are never taken for a separator: they hold the
    // closing "::" (or its last byte and the NUL).
    for (std::uint32_t j = kPrefixLength; j + 2 < length; ++j) {
        if (text[j] == ':' && text[j + 1] == ':') {
            text[j] = '\0';
            text[j + 1] = '\0';
            if (++separators == 1) iniFile = text + j + 2;
        }
    }
    if (separators < 2) text[length - 2] = '\0';
    parts.profile = presentOrNull(text + kPrefixLength, text + length);
    parts.iniFile = presentOrNull(iniFile, text + length);
    return parts;
}

}  // namespace kmpwallet
