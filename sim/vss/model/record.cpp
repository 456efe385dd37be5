#include "sim/vss/model/record.h"

#include <array>
#include <cstring>

namespace vsssim {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isPlainUnit(char16_t unit) { return unit >= 0x20 && unit < 0x7F && unit != u'\\'; }

void appendEscapedUnit(std::string& out, char16_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 0xF];
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw FormatError("bad hex digit in escape");
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Values written as base64 of their UTF-16LE bytes carry this after the key.
constexpr char kUnitsSuffix[] = ":units";

std::size_t escapedLength(const std::u16string& value) {
    std::size_t length = 0;
    for (char16_t unit : value) length += unit == u'\\' ? 2 : isPlainUnit(unit) ? 1 : 6;
    return length;
}

std::size_t base64Length(const std::u16string& value) { return (value.size() * 2 + 2) / 3 * 4; }

std::string unitsToBase64(const std::u16string& value) {
    std::string bytes;
    bytes.reserve(value.size() * 2);
    for (char16_t unit : value) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    std::string out;
    out.reserve(base64Length(value));
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[group >> 18 & 0x3F];
        out += kBase64[group >> 12 & 0x3F];
        out += i + 1 < bytes.size() ? kBase64[group >> 6 & 0x3F] : '=';
        out += i + 2 < bytes.size() ? kBase64[group & 0x3F] : '=';
    }
    return out;
}

int base64Value(char c) {
    static const auto table = [] {
        std::array<signed char, 256> values;
        values.fill(-1);
        for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(kBase64[i])] = i;
        return values;
    }();
    int value = table[static_cast<unsigned char>(c)];
    if (value < 0) throw FormatError("bad base64 in a value");
    return value;
}

std::u16string unitsFromBase64(const std::string& text) {
    if (text.size() % 4 != 0) throw FormatError("bad base64 length in a value");
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::size_t padding = text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0;
        if (padding && i + 4 != text.size()) throw FormatError("padding inside base64");
        std::uint32_t group = base64Value(text[i]) << 18 | base64Value(text[i + 1]) << 12;
        if (padding < 2) group |= base64Value(text[i + 2]) << 6;
        if (padding < 1) group |= base64Value(text[i + 3]);
        bytes += static_cast<char>(group >> 16);
        if (padding < 2) bytes += static_cast<char>(group >> 8 & 0xFF);
        if (padding < 1) bytes += static_cast<char>(group & 0xFF);
    }
    if (bytes.size() % 2 != 0) throw FormatError("odd byte count in a value");
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return units;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string trimLeft(const std::string& line) {
    std::size_t start = line.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : line.substr(start);
}

void writeInto(std::string& out, const Record& record, int depth) {
    out.append(depth * 2, ' ').append("begin ").append(record.tag).append("\n");
    for (const auto& [key, value] : record.fields) {
        out.append(depth * 2 + 2, ' ').append(key);
        // Texts of mostly non-ASCII units (restore metadata carrying whole
        // files) are far shorter as base64 than escaped unit by unit.
        if (escapedLength(value) > base64Length(value))
            out.append(kUnitsSuffix).append(" ").append(unitsToBase64(value));
        else if (!value.empty())
            out.append(" ").append(escapeUnits(value));
        out.append("\n");
    }
    for (const Record& child : record.children) writeInto(out, child, depth + 1);
    out.append(depth * 2, ' ').append("end\n");
}

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    Record readTop() {
        std::string line;
        if (!nextLine(line) || line.rfind("begin ", 0) != 0) throw FormatError("no record");
        Record record = readBody(line.substr(6));
        while (nextLine(line))
            if (!line.empty()) throw FormatError("text after the record");
        return record;
    }

private:
    Record readBody(const std::string& tag) {
        Record record;
        record.tag = tag;
        std::string line;
        while (nextLine(line)) {
            if (line.empty()) continue;
            if (line == "end") return record;
            if (line.rfind("begin ", 0) == 0) {
                record.children.push_back(readBody(line.substr(6)));
                continue;
            }
            std::size_t blank = line.find(' ');
            std::string key = line.substr(0, blank);
            std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
            if (endsWith(key, kUnitsSuffix))
                record.fields.emplace_back(key.substr(0, key.size() - std::strlen(kUnitsSuffix)),
                                           unitsFromBase64(value));
            else
                record.fields.emplace_back(key, unescapeUnits(value));
        }
        throw FormatError("record " + tag + " is not closed");
    }

    bool nextLine(std::string& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string::npos) end = text_.size();
        std::string raw = text_.substr(pos_, end - pos_);
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        pos_ = end + 1;
        line = trimLeft(raw);
        return true;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

}  // namespace

void Record::set(const std::string& key, const std::u16string& value) {
    fields.emplace_back(key, value);
}

void Record::setNumber(const std::string& key, std::uint64_t value) {
    set(key, fromAscii(std::to_string(value)));
}

const std::u16string* Record::find(const std::string& key) const {
    for (const auto& field : fields)
        if (field.first == key) return &field.second;
    return nullptr;
}

std::u16string Record::text(const std::string& key) const {
    const std::u16string* value = find(key);
    return value ? *value : std::u16string();
}

std::uint64_t Record::number(const std::string& key) const {
    const std::u16string* value = find(key);
    if (!value || value->empty()) return 0;
    std::uint64_t result = 0;
    for (char16_t unit : *value) {
        if (unit < u'0' || unit > u'9') throw FormatError("field " + key + " is not a number");
        result = result * 10 + (unit - u'0');
    }
    return result;
}

std::vector<const Record*> Record::childrenTagged(const std::string& childTag) const {
    std::vector<const Record*> found;
    for (const Record& child : children)
        if (child.tag == childTag) found.push_back(&child);
    return found;
}

std::string writeRecord(const Record& record) {
    std::string out;
    writeInto(out, record, 0);
    return out;
}

Record readRecord(const std::string& text) { return Reader(text).readTop(); }

std::string escapeUnits(const std::u16string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        char16_t unit = value[i];
        bool edgeBlank = unit == u' ' && (i == 0 || i + 1 == value.size());
        if (unit == u'\\')
            out += "\\\\";
        else if (isPlainUnit(unit) && !edgeBlank)
            out += static_cast<char>(unit);
        else
            appendEscapedUnit(out, unit);
    }
    return out;
}

std::u16string unescapeUnits(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out += static_cast<char16_t>(static_cast<unsigned char>(c));
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += u'\\';
            ++i;
            continue;
        }
        if (i + 5 >= text.size() || text[i + 1] != 'u') throw FormatError("bad escape");
        char16_t unit = 0;
        for (int k = 2; k < 6; ++k) unit = static_cast<char16_t>(unit * 16 + hexValue(text[i + k]));
        out += unit;
        i += 5;
    }
    return out;
}

std::u16string fromAscii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::string toAscii(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
    return out;
}

}  // namespace vsssim
