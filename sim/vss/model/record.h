#pragma once
// A small tree of named records with wide-text fields, written as plain
// lines. It carries the writer metadata and the backup components document
// between processes and into a backup set, so every 16-bit unit of a value
// must survive exactly, whatever it is.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
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
    std::u16string* find(const std::string& key);
    std::u16string text(const std::string& key) const;
    std::uint64_t number(const std::string& key) const;
    bool flag(const std::string& key) const { return number(key) != 0; }

    std::vector<const Record*> childrenTagged(const std::string& childTag) const;
    std::vector<Record*> childrenTagged(const std::string& childTag);
};

// Where record text goes: a string, a file, a pipe, or only a count of its
// bytes. Restore metadata can carry hundreds of MiB, so the text is passed
// on in slices and never has to be held whole by the one writing it.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void put(std::string_view text) = 0;
    // The base64 of `value`'s UTF-16LE bytes, encoded a slice at a time.
    virtual void putUnitsBase64(std::u16string_view value);
};

class StringSink final : public TextSink {
public:
    void put(std::string_view text) override { text_.append(text); }
    std::string& text() { return text_; }

private:
    std::string text_;
};

// Counts the bytes without encoding anything.
class CountingSink final : public TextSink {
public:
    void put(std::string_view text) override { bytes_ += text.size(); }
    void putUnitsBase64(std::u16string_view value) override;
    std::uint64_t bytes() const { return bytes_; }

private:
    std::uint64_t bytes_ = 0;
};

// Writes records one line at a time, in the order they are opened, filled
// and closed. A value is written escaped (below), or, when that is longer, as
// base64 of its UTF-16LE bytes after "key:units".
class RecordWriter {
public:
    explicit RecordWriter(TextSink& sink) : sink_(sink) {}
    void begin(std::string_view tag);
    void field(std::string_view key, std::u16string_view value);
    void number(std::string_view key, std::uint64_t value);
    void end();

private:
    void indent();

    TextSink& sink_;
    int depth_ = 0;
};

void writeRecord(const Record& record, RecordWriter& writer);
std::string writeRecord(const Record& record);
// Reads what writeRecord wrote; throws FormatError on anything else. Values
// are decoded straight from `text`, so a large one is held once more only.
Record readRecord(std::string_view text);

// Printable ASCII stays, the backslash doubles, every other unit becomes
// \uXXXX; spaces at either end are escaped so a value never begins or ends
// with a blank that an editor could lose.
std::string escapeUnits(std::u16string_view value);
std::u16string unescapeUnits(std::string_view text);

std::u16string fromAscii(const std::string& text);
std::string toAscii(const std::u16string& text);  // units above 0x7F become '?'

}  // namespace vsssim
