#pragma once
// Reader of the ZIP container: the central directory, the local headers and
// the entries' data (stored or deflated). zlib inflates and checks the CRCs.
// Pure byte work: no Windows header; the bytes come through ByteSource.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace launcher::zip {

// A damaged or unsupported archive; the text says which entry and why.
class ZipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A fault of one entry. Its name is kept as stored, for a reader that knows
// the name's code page; what() quotes those bytes as they are.
class EntryError : public ZipError {
public:
    EntryError(const std::string& storedName, bool utf8Name, const std::string& problem)
        : ZipError("entry '" + storedName + "' " + problem),
          storedName_(storedName),
          utf8Name_(utf8Name),
          problem_(problem) {}

    const std::string& storedName() const { return storedName_; }
    bool utf8Name() const { return utf8Name_; }
    const std::string& problem() const { return problem_; }

private:
    std::string storedName_;
    bool utf8Name_;
    std::string problem_;
};

// Random access to the archive's bytes. read() fills the whole buffer or throws.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    virtual void read(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

struct Entry {
    std::string name;  // as stored: UTF-8 when utf8Name, else the creator's OEM code page
    bool utf8Name = false;
    std::uint16_t method = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint64_t dataOffset = 0;
    std::uint16_t modifiedTime = 0;  // MS-DOS format, the creator's local time
    std::uint16_t modifiedDate = 0;

    bool isDirectory() const;
};

// An entry's modification time as the creator's clock read it.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The MS-DOS date and time fields read out; nothing when they name no real
// moment (a zero date, month 13, minute 61 and the like).
std::optional<LocalTime> modificationTime(const Entry& entry);

// Reads and checks the whole structure: end record, central directory, and
// every entry's local header. Throws ZipError for anything it cannot vouch for
// (damage, encryption, ZIP64, several volumes, unknown compression).
std::vector<Entry> readDirectory(ByteSource& source);

using ChunkSink = std::function<void(const std::uint8_t* data, std::size_t size)>;

// Hands the entry's uncompressed bytes to `sink` in chunks, and throws
// ZipError when the data is damaged, longer or shorter than recorded, or its
// CRC differs. Bytes already given to the sink are then worthless.
void extractEntry(ByteSource& source, const Entry& entry, const ChunkSink& sink);

}  // namespace launcher::zip
