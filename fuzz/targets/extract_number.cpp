// Size texts read as numbers: letters and blanks between the kept characters
// change nothing, and only NumberConversionError may escape.

#include <cmath>
#include <optional>

#include "fuzz/fuzz_input.h"
#include "launcher/extract_number.h"

namespace {

std::optional<double> numberOf(const std::wstring& text) {
    try {
        return launcher::extractNumber(text);
    } catch (const launcher::NumberConversionError&) {
        return std::nullopt;
    }
}

// The text with a letter and a blank after every character: what is kept
// stays the same.
std::wstring padded(const std::wstring& text) {
    std::wstring result;
    for (wchar_t c : text) {
        result += c;
        result += L"k ";
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const std::wstring text = input.restAsWide();
    const std::optional<double> number = numberOf(text);
    const std::optional<double> paddedNumber = numberOf(padded(text));
    fuzzing::require(number.has_value() == paddedNumber.has_value() &&
                         (!number || *number == *paddedNumber || std::isnan(*number)),
                     "characters other than digits, point and minus are ignored");
    fuzzing::require(!number || !std::isnan(*number), "a size is never NaN");
    return 0;
}
