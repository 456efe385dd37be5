#pragma once
// The wallet locator "entr:PROFILE::INIFILE::" the host passes to a login,
// taken apart in place: the separators become NULs, and the parts point into
// the host's text.

#include <cstdint>

namespace kmpwallet {

struct LocatorParts {
    bool entrust = false;           // the text begins with "entr:"
    const char* profile = nullptr;  // absent when missing or empty
    const char* iniFile = nullptr;  // absent when missing or empty
};

// `length` counts the bytes of `text` the host passed, its NUL included when
// the host counted it.
LocatorParts splitLocator(char* text, std::uint32_t length);

}  // namespace kmpwallet
