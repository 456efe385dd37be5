#include "sim/vss/model/record.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

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

// Units of a value are encoded and escaped this many at a time; a multiple
// of three, so no slice but the last ends inside a base64 group.
constexpr std::size_t kSliceUnits = 3 * 16384;

std::size_t escapedLength(std::u16string_view value) {
    std::size_t length = 0;
    for (char16_t unit : value) length += unit == u'\\' ? 2 : isPlainUnit(unit) ? 1 : 6;
    return length;
}

std::uint64_t base64Length(std::u16string_view value) {
    return (static_cast<std::uint64_t>(value.size()) * 2 + 2) / 3 * 4;
}

// The units [from, to) of `value`, escaped; a blank is escaped at either end
// of the whole value only.
void appendEscaped(std::string& out, std::u16string_view value, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        char16_t unit = value[i];
        bool edgeBlank = unit == u' ' && (i == 0 || i + 1 == value.size());
        if (unit == u'\\')
            out += "\\\\";
        else if (isPlainUnit(unit) && !edgeBlank)
            out += static_cast<char>(unit);
        else
            appendEscapedUnit(out, unit);
    }
}

// Three units are six bytes, two whole groups: values are encoded and
// decoded three units at a time, the last one to three bytes apart.
void putGroup(char*& to, std::uint32_t group, std::size_t bytes) {
    *to++ = kBase64[group >> 18 & 0x3F];
    *to++ = kBase64[group >> 12 & 0x3F];
    *to++ = bytes > 1 ? kBase64[group >> 6 & 0x3F] : '=';
    *to++ = bytes > 2 ? kBase64[group & 0x3F] : '=';
}

void appendBase64(std::string& out, std::u16string_view units) {
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(base64Length(units)));
    char* to = out.data() + start;
    std::size_t i = 0;
    for (; i + 3 <= units.size(); i += 3) {
        const std::uint32_t a = units[i], b = units[i + 1], c = units[i + 2];
        putGroup(to, (a & 0xFF) << 16 | (a >> 8) << 8 | (b & 0xFF), 3);
        putGroup(to, (b >> 8) << 16 | (c & 0xFF) << 8 | (c >> 8), 3);
    }
    const std::size_t rest = units.size() - i;
    if (rest == 1) putGroup(to, (units[i] & 0xFF) << 16 | (units[i] >> 8) << 8, 2);
    if (rest == 2) {
        const std::uint32_t a = units[i], b = units[i + 1];
        putGroup(to, (a & 0xFF) << 16 | (a >> 8) << 8 | (b & 0xFF), 3);
        putGroup(to, (b >> 8) << 16, 1);
    }
}

const std::array<signed char, 256>& base64Values() {
    static const auto table = [] {
        std::array<signed char, 256> values;
        values.fill(-1);
        for (int i = 0; i < 64; ++i) values[static_cast<unsigned char>(kBase64[i])] = i;
        return values;
    }();
    return table;
}

// The 24 bits of four base64 characters, each checked.
std::uint32_t groupOf(const char* from) {
    const auto& values = base64Values();
    std::uint32_t group = 0;
    for (int k = 0; k < 4; ++k) {
        const int value = values[static_cast<unsigned char>(from[k])];
        if (value < 0) throw FormatError("bad base64 in a value");
        group = group << 6 | static_cast<std::uint32_t>(value);
    }
    return group;
}

// Decodes into units of exactly the size the text gives, without a copy of
// the bytes in between.
std::u16string unitsFromBase64(std::string_view text) {
    if (text.size() % 4 != 0) throw FormatError("bad base64 length in a value");
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    if (text.find('=') < text.size() - padding) throw FormatError("padding inside base64");
    const std::size_t bytes = text.size() / 4 * 3 - padding;
    if (bytes % 2 != 0) throw FormatError("odd byte count in a value");
    std::u16string units(bytes / 2, u'\0');
    const char* from = text.data();
    std::size_t i = 0;
    for (; i + 3 <= units.size(); i += 3, from += 8) {
        const std::uint32_t first = groupOf(from), second = groupOf(from + 4);
        units[i] = static_cast<char16_t>(first >> 16 | (first >> 8 & 0xFF) << 8);
        units[i + 1] = static_cast<char16_t>((first & 0xFF) | (second >> 16) << 8);
        units[i + 2] = static_cast<char16_t>((second >> 8 & 0xFF) | (second & 0xFF) << 8);
    }
    // One unit left is two bytes of one group; two are four bytes of two.
    std::string tail(text.substr(from - text.data()));
    for (char& c : tail)
        if (c == '=') c = 'A';
    const std::size_t rest = units.size() - i;
    if (rest >= 1) {
        const std::uint32_t first = groupOf(tail.data());
        units[i] = static_cast<char16_t>(first >> 16 | (first >> 8 & 0xFF) << 8);
        if (rest == 2)
            units[i + 1] =
                static_cast<char16_t>((first & 0xFF) | (groupOf(tail.data() + 4) >> 16) << 8);
    }
    return units;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string_view trimLeft(std::string_view line) {
    std::size_t start = line.find_first_not_of(' ');
    return start == std::string_view::npos ? std::string_view() : line.substr(start);
}

void writeTree(const Record& record, RecordWriter& writer) {
    writer.begin(record.tag);
    for (const auto& [key, value] : record.fields) writer.field(key, value);
    for (const Record& child : record.children) writeTree(child, writer);
    writer.end();
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    Record readTop() {
        std::string_view line;
        if (!nextLine(line) || line.rfind("begin ", 0) != 0) throw FormatError("no record");
        Record record = readBody(line.substr(6));
        while (nextLine(line))
            if (!line.empty()) throw FormatError("text after the record");
        return record;
    }

private:
    Record readBody(std::string_view tag) {
        Record record;
        record.tag = tag;
        std::string_view line;
        while (nextLine(line)) {
            if (line.empty()) continue;
            if (line == "end") return record;
            if (line.rfind("begin ", 0) == 0) {
                record.children.push_back(readBody(line.substr(6)));
                continue;
            }
            std::size_t blank = line.find(' ');
            std::string_view key = line.substr(0, blank);
            std::string_view value =
                blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
            if (endsWith(key, kUnitsSuffix))
                record.fields.emplace_back(key.substr(0, key.size() - std::strlen(kUnitsSuffix)),
                                           unitsFromBase64(value));
            else
                record.fields.emplace_back(key, unescapeUnits(value));
        }
        throw FormatError("record " + std::string(tag) + " is not closed");
    }

    bool nextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view raw = text_.substr(pos_, end - pos_);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        pos_ = end + 1;
        line = trimLeft(raw);
        return true;
    }

    std::string_view text_;
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

std::u16string* Record::find(const std::string& key) {
    return const_cast<std::u16string*>(std::as_const(*this).find(key));
}

std::vector<Record*> Record::childrenTagged(const std::string& childTag) {
    std::vector<Record*> found;
    for (Record& child : children)
        if (child.tag == childTag) found.push_back(&child);
    return found;
}

void TextSink::putUnitsBase64(std::u16string_view value) {
    std::string slice;
    for (std::size_t from = 0; from < value.size(); from += kSliceUnits) {
        slice.clear();
        appendBase64(slice, value.substr(from, kSliceUnits));
        put(slice);
    }
}

void CountingSink::putUnitsBase64(std::u16string_view value) { bytes_ += base64Length(value); }

void RecordWriter::indent() { sink_.put(std::string(depth_ * 2, ' ')); }

void RecordWriter::begin(std::string_view tag) {
    indent();
    sink_.put("begin ");
    sink_.put(tag);
    sink_.put("\n");
    ++depth_;
}

void RecordWriter::field(std::string_view key, std::u16string_view value) {
    indent();
    sink_.put(key);
    // Texts of mostly non-ASCII units (restore metadata carrying whole
    // files) are far shorter as base64 than escaped unit by unit.
    if (escapedLength(value) > base64Length(value)) {
        sink_.put(kUnitsSuffix);
        sink_.put(" ");
        sink_.putUnitsBase64(value);
    } else if (!value.empty()) {
        sink_.put(" ");
        std::string slice;
        for (std::size_t from = 0; from < value.size(); from += kSliceUnits) {
            slice.clear();
            appendEscaped(slice, value, from, std::min(value.size(), from + kSliceUnits));
            sink_.put(slice);
        }
    }
    sink_.put("\n");
}

void RecordWriter::number(std::string_view key, std::uint64_t value) {
    field(key, fromAscii(std::to_string(value)));
}

void RecordWriter::end() {
    --depth_;
    indent();
    sink_.put("end\n");
}

void writeRecord(const Record& record, RecordWriter& writer) { writeTree(record, writer); }

std::string writeRecord(const Record& record) {
    StringSink sink;
    RecordWriter writer(sink);
    writeTree(record, writer);
    return std::move(sink.text());
}

Record readRecord(std::string_view text) { return Reader(text).readTop(); }

std::string escapeUnits(std::u16string_view value) {
    std::string out;
    appendEscaped(out, value, 0, value.size());
    return out;
}

std::u16string unescapeUnits(std::string_view text) {
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
