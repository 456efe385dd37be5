#pragma once
// A small tree of named records with wide-text fields, written as plain
// lines. It carries the writer metadata and the backup components document
// between processes and into a backup set, so every 16-bit unit of a value
// must survive exactly, whatever it is.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vsssim {

struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Record {
    std::string tag;
    std::vector<std::pair<std::string, std::u16string>> fields;
    std::vector<Record> children;

    void set(const std::string& key, const std::u16string& value);
    void setNumber(const std::string& key, std::uint64_t value);
    void setFlag(const std::string& key, bool value) { setNumber(key, value ? 1 : 0); }

    // The first field of that key, or null.
    const std::u16string* find(const std::string& key) const;
    std::u16string text(const std::string& key) const;
    std::uint64_t number(const std::string& key) const;
    bool flag(const std::string& key) const { return number(key) != 0; }

    std::vector<const Record*> childrenTagged(const std::string& childTag) const;
};

// Text of `record` and its children. A value is written escaped (below), or,
// when that is longer, as base64 of its UTF-16LE bytes after "key:units".
std::string writeRecord(const Record& record);
// Reads what writeRecord wrote; throws FormatError on anything else.
Record readRecord(const std::string& text);

// Printable ASCII stays, the backslash doubles, every other unit becomes
// \uXXXX; spaces at either end are escaped so a value never begins or ends
// with a blank that an editor could lose.
std::string escapeUnits(const std::u16string& value);
std::u16string unescapeUnits(const std::string& text);

std::u16string fromAscii(const std::string& text);
std::string toAscii(const std::u16string& text);  // units above 0x7F become '?'

}  // namespace vsssim
