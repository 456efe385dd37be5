#include "launcher/extract_number.h"

#include <cstdlib>
#include <string>

namespace launcher {
namespace {

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::string keptCharacters(std::wstring_view text) {
    std::string kept;
    int points = 0;
    int minuses = 0;
    for (wchar_t c : text) {
        if (c == L'.') ++points;
        if (c == L'-') ++minuses;
        if (!isDigit(c) && c != L'.' && c != L'-') continue;
        if (points > 1 || minuses > 1) break;
        kept += static_cast<char>(c);
    }
    return kept;
}

// A minus sign is only valid in front, and at least one digit must be there.
bool isDecimalNumber(const std::string& kept) {
    const std::size_t minus = kept.find('-');
    if (minus != std::string::npos && minus != 0) return false;
    return kept.find_first_of("0123456789") != std::string::npos;
}

}  // namespace

double extractNumber(std::wstring_view text) {
    const std::string kept = keptCharacters(text);
    if (kept.empty() || kept == "-") return 0;
    if (!isDecimalNumber(kept)) {
        throw NumberConversionError("'" + kept + "' is not a valid floating point value");
    }
    // strtod of the C locale: the point is the decimal separator whatever the user's locale.
    return std::strtod(kept.c_str(), nullptr);
}

}  // namespace launcher
