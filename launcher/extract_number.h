#pragma once
// Size texts from the version table and from VERSION.INI ("1,234,567",
// "12 KB") compared as numbers. Pure text work: no Windows header.

#include <stdexcept>
#include <string_view>

namespace launcher {

// A size text whose kept characters do not form a number (such as "1-2").
class NumberConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Keeps the digits, the first point and the first minus sign of `text` (and
// stops keeping anything once a second point or minus sign shows up), then
// reads what was kept as a decimal number. Empty or "-" gives 0. Throws
// NumberConversionError when the kept text is no number.
double extractNumber(std::wstring_view text);

}  // namespace launcher
