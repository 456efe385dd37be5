#include "sim/vorlix/vci/conversions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vci {

using vorlix::raiseError;
using vorlix::Value;

namespace {

constexpr size_t kVarnumSize = 22;

int64_t readInteger(const void* p, int32_t size, bool isSigned) {
    switch (size) {
        case 1:
            return isSigned ? int64_t(*static_cast<const int8_t*>(p))
                            : int64_t(*static_cast<const uint8_t*>(p));
        case 2:
            return isSigned ? int64_t(*static_cast<const int16_t*>(p))
                            : int64_t(*static_cast<const uint16_t*>(p));
        case 4:
            return isSigned ? int64_t(*static_cast<const int32_t*>(p))
                            : int64_t(*static_cast<const uint32_t*>(p));
        case 8: {
            int64_t v;
            std::memcpy(&v, p, 8);
            return v;
        }
        default: raiseError(3115);
    }
}

void writeInteger(void* p, int32_t size, int64_t v) {
    switch (size) {
        case 1: *static_cast<int8_t*>(p) = int8_t(v); break;
        case 2: *static_cast<int16_t*>(p) = int16_t(v); break;
        case 4: *static_cast<int32_t*>(p) = int32_t(v); break;
        case 8: std::memcpy(p, &v, 8); break;
        default: raiseError(3115);
    }
}

void setIndicator(const Target& t, int16_t value) {
    if (t.indicator) *static_cast<int16_t*>(t.indicator) = value;
}

void setLength(const Target& t, size_t length, uint16_t code) {
    if (t.length) *t.length = uint16_t(length);
    if (t.returnCode) *t.returnCode = code;
}

}  // namespace

std::string encodeVarnum(double n) {
    std::string out(1, '\0');
    if (n == 0) {
        out += char(0x80);
        out[0] = 1;
        return out;
    }
    bool negative = n < 0;
    char text[64];
    std::snprintf(text, sizeof text, "%.14e", std::fabs(n));  // d.dddddddddddddde+XX
    std::string digits = std::string(1, text[0]) + std::string(text + 2, 14);
    int point = std::atoi(std::strchr(text, 'e') + 1) + 1;  // digits before the decimal point
    if (point % 2 != 0) {
        digits = "0" + digits;
        ++point;
    }
    if (digits.size() % 2 != 0) digits += '0';
    while (digits.size() > 2 && digits.compare(digits.size() - 2, 2, "00") == 0)
        digits.resize(digits.size() - 2);
    int exponent = point / 2 - 1;
    out += char(negative ? 62 - exponent : 193 + exponent);
    for (size_t i = 0; i < digits.size(); i += 2) {
        int pair = (digits[i] - '0') * 10 + (digits[i + 1] - '0');
        out += char(negative ? 101 - pair : pair + 1);
    }
    if (negative && out.size() < kVarnumSize) out += char(102);
    out[0] = char(out.size() - 1);
    return out;
}

double decodeVarnum(const unsigned char* bytes, size_t length) {
    if (length == 0) raiseError(1722);
    if (length == 1 && bytes[0] == 0x80) return 0;
    bool negative = bytes[0] < 0x80;
    int exponent = negative ? 62 - bytes[0] : bytes[0] - 193;
    double value = 0, scale = std::pow(100.0, exponent);
    for (size_t i = 1; i < length; ++i) {
        if (negative && bytes[i] == 102) break;
        int pair = negative ? 101 - bytes[i] : bytes[i] - 1;
        value += pair * scale;
        scale /= 100;
    }
    return negative ? -value : value;
}

std::string encodeDate(const std::string& text) {
    int year, month, day, hour = 0, minute = 0, second = 0;
    int fields = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute,
                             &second);
    if (fields != 3 && fields != 6) return {};
    unsigned char b[7] = {
        uint8_t(year / 100 + 100), uint8_t(year % 100 + 100), uint8_t(month),     uint8_t(day),
        uint8_t(hour + 1),         uint8_t(minute + 1),       uint8_t(second + 1)};
    return std::string(reinterpret_cast<char*>(b), 7);
}

std::string decodeDate(const unsigned char* b) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d",
                  (b[0] - 100) * 100 + (b[1] - 100), b[2], b[3], b[4] - 1, b[5] - 1, b[6] - 1);
    return text;
}

Value readValue(const Target& t) {
    if (t.indicator && *static_cast<const int16_t*>(t.indicator) == -1) return {};
    if (!t.value) return {};
    switch (t.type) {
        case SQLT_STR: {
            const char* text = static_cast<const char*>(t.value);
            return Value::text(std::string(text, strnlen(text, size_t(t.size))));
        }
        case SQLT_INT: return Value::number(double(readInteger(t.value, t.size, true)));
        case SQLT_UIN: return Value::number(double(readInteger(t.value, t.size, false)));
        case SQLT_VNU: {
            auto* bytes = static_cast<const unsigned char*>(t.value);
            return Value::number(decodeVarnum(bytes + 1, bytes[0]));
        }
        case SQLT_DAT: {
            auto* bytes = static_cast<const unsigned char*>(t.value);
            if (std::all_of(bytes, bytes + 7, [](unsigned char c) { return c == 0; })) return {};
            return Value::text(decodeDate(bytes));
        }
        default: raiseError(3115);
    }
}

int writeValue(const Value& value, const Target& t) {
    if (value.isNull()) {
        // Without an indicator a null arrives as an empty value, which the
        // writer's optional file names rely on.
        setIndicator(t, -1);
        setLength(t, 0, 0);
        if (t.value && t.size > 0) std::memset(t.value, 0, size_t(t.size));
        return 0;
    }
    setIndicator(t, 0);
    switch (t.type) {
        case SQLT_STR: {
            std::string text = value.asText();
            if (t.size <= 0) raiseError(3115);
            size_t room = size_t(t.size) - 1;
            size_t n = std::min(room, text.size());
            std::memcpy(t.value, text.data(), n);
            static_cast<char*>(t.value)[n] = '\0';
            if (n < text.size()) {
                setIndicator(t, int16_t(std::min<size_t>(text.size(), 32767)));
                setLength(t, n, 1406);
                return 1406;
            }
            setLength(t, n, 0);
            return 0;
        }
        case SQLT_INT:
        case SQLT_UIN:
            writeInteger(t.value, t.size, int64_t(std::llround(value.asNumber())));
            setLength(t, size_t(t.size), 0);
            return 0;
        case SQLT_VNU: {
            std::string bytes = encodeVarnum(value.asNumber());
            if (t.size < int32_t(bytes.size())) raiseError(3115);
            std::memcpy(t.value, bytes.data(), bytes.size());
            setLength(t, bytes.size(), 0);
            return 0;
        }
        case SQLT_DAT: {
            std::string bytes = value.isText() ? encodeDate(value.asText()) : std::string();
            if (bytes.empty()) raiseError(932);
            if (t.size < 7) raiseError(3115);
            std::memcpy(t.value, bytes.data(), 7);
            setLength(t, 7, 0);
            return 0;
        }
        default: raiseError(3115);
    }
}

}  // namespace vci
