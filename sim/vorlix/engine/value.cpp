#include "sim/vorlix/engine/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sim/vorlix/engine/db_error.h"

namespace vorlix {

std::string formatNumber(double n) {
    char buffer[64];
    if (std::floor(n) == n && std::fabs(n) < 1e18) {
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(n));
    } else {
        std::snprintf(buffer, sizeof buffer, "%.15g", n);
    }
    return buffer;
}

std::optional<double> parseNumber(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos) return std::nullopt;
    std::string trimmed = text.substr(begin, end - begin + 1);
    char* stop = nullptr;
    double n = std::strtod(trimmed.c_str(), &stop);
    if (stop != trimmed.c_str() + trimmed.size()) return std::nullopt;
    // strtod also accepts hexadecimal, infinities and NaN; the server does not.
    if (trimmed.find_first_of("xXnNiI") != std::string::npos) return std::nullopt;
    return n;
}

std::string Value::asText() const {
    switch (kind_) {
        case Kind::Null: return {};
        case Kind::Number: return formatNumber(number_);
        case Kind::Text: return text_;
    }
    return {};
}

double Value::asNumber() const {
    if (kind_ == Kind::Number) return number_;
    auto n = parseNumber(text_);
    if (!n) raiseError(1722);
    return *n;
}

int compareForSort(const Value& a, const Value& b) {
    if (a.isNull() || b.isNull()) return int(a.isNull()) - int(b.isNull());
    if (a.isNumber() != b.isNumber()) return a.isNumber() ? -1 : 1;
    if (a.isNumber()) {
        double x = a.asNumber(), y = b.asNumber();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return a.asText().compare(b.asText());
}

}  // namespace vorlix
