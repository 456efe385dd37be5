#include "launcher/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <array>

namespace launcher::zip {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::size_t kChunkSize = 64 * 1024;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

EntryError entryError(const Entry& entry, const std::string& what) {
    return EntryError(entry.name, entry.utf8Name, what);
}

std::vector<std::uint8_t> readBytes(ByteSource& source, std::uint64_t offset, std::size_t count,
                                    const char* what) {
    if (offset > source.size() || count > source.size() - offset) {
        throw ZipError(std::string("the archive is truncated (") + what + " lies past its end)");
    }
    std::vector<std::uint8_t> bytes(count);
    if (count > 0) source.read(offset, bytes.data(), count);
    return bytes;
}

struct Directory {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::uint16_t entryCount = 0;
};

// The end record is the last 22 bytes unless the archive carries a comment;
// the record found must account for exactly the bytes after it.
Directory findDirectory(ByteSource& source) {
    const std::uint64_t total = source.size();
    if (total < kEndSize) throw ZipError("the file is too short to be a ZIP archive");
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(total, kEndSize + kMaxCommentSize));
    const std::uint64_t tailOffset = total - tailSize;
    const std::vector<std::uint8_t> tail =
        readBytes(source, tailOffset, tailSize, "the end record");
    for (std::size_t pos = tailSize - kEndSize + 1; pos-- > 0;) {
        const std::uint8_t* p = tail.data() + pos;
        if (le32(p) != kEndSignature || pos + kEndSize + le16(p + 20) != tailSize) continue;
        if (le16(p + 4) != 0 || le16(p + 6) != 0 || le16(p + 8) != le16(p + 10)) {
            throw ZipError("archives spread over several volumes are not supported");
        }
        Directory directory;
        directory.entryCount = le16(p + 10);
        directory.size = le32(p + 12);
        directory.offset = le32(p + 16);
        if (directory.entryCount == 0xFFFF || directory.size == 0xFFFFFFFF ||
            directory.offset == 0xFFFFFFFF) {
            throw ZipError("ZIP64 archives are not supported");
        }
        if (directory.offset + directory.size > tailOffset + pos) {
            throw ZipError("the central directory overlaps the end record");
        }
        return directory;
    }
    throw ZipError("not a ZIP archive (no end of central directory record)");
}

void checkSupported(const Entry& entry, std::uint16_t flags) {
    if (flags & kFlagEncrypted) throw entryError(entry, "is encrypted");
    if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
        throw entryError(entry,
                         "uses an unsupported compression method " + std::to_string(entry.method));
    }
    if (entry.compressedSize == 0xFFFFFFFF || entry.uncompressedSize == 0xFFFFFFFF) {
        throw entryError(entry, "needs ZIP64, which is not supported");
    }
    if (entry.method == kMethodStored && entry.compressedSize != entry.uncompressedSize) {
        throw entryError(entry, "is stored with two different sizes");
    }
}

// The local header must repeat the central record's name, and the data must
// end before the central directory begins.
void locateData(ByteSource& source, Entry& entry, std::uint32_t localOffset,
                std::uint64_t directoryOffset) {
    const std::vector<std::uint8_t> header =
        readBytes(source, localOffset, kLocalSize, "a local header");
    if (le32(header.data()) != kLocalSignature) {
        throw entryError(entry, "has no local header where the directory says");
    }
    const std::uint16_t nameLength = le16(header.data() + 26);
    const std::uint16_t extraLength = le16(header.data() + 28);
    const std::vector<std::uint8_t> name =
        readBytes(source, localOffset + kLocalSize, nameLength, "a local header's name");
    if (std::string(name.begin(), name.end()) != entry.name) {
        throw entryError(entry, "has a different name in its local header");
    }
    entry.dataOffset = std::uint64_t{localOffset} + kLocalSize + nameLength + extraLength;
    if (entry.dataOffset + entry.compressedSize > directoryOffset) {
        throw entryError(entry, "runs into the central directory");
    }
}

}  // namespace

bool Entry::isDirectory() const {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

std::optional<LocalTime> modificationTime(const Entry& entry) {
    LocalTime time;
    time.year = 1980 + (entry.modifiedDate >> 9);
    time.month = (entry.modifiedDate >> 5) & 0x0F;
    time.day = entry.modifiedDate & 0x1F;
    time.hour = entry.modifiedTime >> 11;
    time.minute = (entry.modifiedTime >> 5) & 0x3F;
    time.second = (entry.modifiedTime & 0x1F) * 2;
    constexpr int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = time.year % 4 == 0 && (time.year % 100 != 0 || time.year % 400 == 0);
    const bool validDate = time.month >= 1 && time.month <= 12 && time.day >= 1 &&
                           time.day <= kDaysInMonth[time.month - 1] &&
                           (time.month != 2 || time.day <= 28 || leap);
    if (!validDate || time.hour > 23 || time.minute > 59 || time.second > 59) return std::nullopt;
    return time;
}

std::vector<Entry> readDirectory(ByteSource& source) {
    const Directory directory = findDirectory(source);
    const std::vector<std::uint8_t> records =
        readBytes(source, directory.offset, directory.size, "the central directory");
    std::vector<Entry> entries;
    std::size_t pos = 0;
    for (std::uint16_t i = 0; i < directory.entryCount; ++i) {
        if (records.size() - pos < kCentralSize ||
            le32(records.data() + pos) != kCentralSignature) {
            throw ZipError("central directory record " + std::to_string(i + 1) + " is damaged");
        }
        const std::uint8_t* p = records.data() + pos;
        const std::size_t nameLength = le16(p + 28);
        const std::size_t recordSize = kCentralSize + nameLength + le16(p + 30) + le16(p + 32);
        if (records.size() - pos < recordSize) {
            throw ZipError("central directory record " + std::to_string(i + 1) + " is truncated");
        }
        Entry entry;
        const std::uint16_t flags = le16(p + 8);
        entry.name.assign(reinterpret_cast<const char*>(p + kCentralSize), nameLength);
        entry.utf8Name = (flags & kFlagUtf8) != 0;
        entry.method = le16(p + 10);
        entry.modifiedTime = le16(p + 12);
        entry.modifiedDate = le16(p + 14);
        entry.crc32 = le32(p + 16);
        entry.compressedSize = le32(p + 20);
        entry.uncompressedSize = le32(p + 24);
        checkSupported(entry, flags);
        locateData(source, entry, le32(p + 42), directory.offset);
        entries.push_back(std::move(entry));
        pos += recordSize;
    }
    return entries;
}

namespace {

class Inflater {
public:
    Inflater() {
        // Negative window bits: raw deflate data, as ZIP stores it.
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw ZipError("zlib cannot start");
    }
    ~Inflater() { inflateEnd(&stream_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates one chunk of input; returns true once the deflate stream ended.
    bool feed(const Entry& entry, std::vector<std::uint8_t>& input, const ChunkSink& sink) {
        std::array<std::uint8_t, kChunkSize> output;
        stream_.next_in = input.data();
        stream_.avail_in = static_cast<uInt>(input.size());
        int status = Z_OK;
        do {
            stream_.next_out = output.data();
            stream_.avail_out = static_cast<uInt>(output.size());
            status = inflate(&stream_, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                throw entryError(entry, "has damaged compressed data");
            }
            sink(output.data(), output.size() - stream_.avail_out);
        } while (status != Z_STREAM_END && stream_.avail_out == 0);
        if (status == Z_STREAM_END && stream_.avail_in > 0) {
            throw entryError(entry, "has data after its compressed stream");
        }
        return status == Z_STREAM_END;
    }

private:
    z_stream stream_{};
};

// Counts and checksums what reaches the caller, refusing more than recorded.
class CheckedSink {
public:
    CheckedSink(const Entry& entry, const ChunkSink& sink) : entry_(entry), sink_(sink) {}

    void operator()(const std::uint8_t* data, std::size_t size) {
        if (size == 0) return;
        if (size > entry_.uncompressedSize - written_) {
            throw entryError(entry_, "holds more data than recorded");
        }
        written_ += static_cast<std::uint32_t>(size);
        crc_ = static_cast<std::uint32_t>(::crc32(crc_, data, static_cast<uInt>(size)));
        sink_(data, size);
    }

    void finish() const {
        if (written_ != entry_.uncompressedSize) {
            throw entryError(entry_, "holds less data than recorded");
        }
        if (crc_ != entry_.crc32) throw entryError(entry_, "fails its CRC check");
    }

private:
    const Entry& entry_;
    const ChunkSink& sink_;
    std::uint32_t written_ = 0;
    std::uint32_t crc_ = 0;
};

}  // namespace

void extractEntry(ByteSource& source, const Entry& entry, const ChunkSink& sink) {
    CheckedSink checked(entry, sink);
    const ChunkSink checkedSink = [&checked](const std::uint8_t* data, std::size_t size) {
        checked(data, size);
    };
    Inflater inflater;
    bool ended = entry.method == kMethodStored;
    std::uint64_t offset = entry.dataOffset;
    std::uint32_t left = entry.compressedSize;
    while (left > 0) {
        const std::size_t count = std::min<std::size_t>(left, kChunkSize);
        std::vector<std::uint8_t> chunk = readBytes(source, offset, count, "entry data");
        offset += count;
        left -= static_cast<std::uint32_t>(count);
        if (entry.method == kMethodStored) {
            checkedSink(chunk.data(), chunk.size());
        } else if (ended) {
            throw entryError(entry, "has data after its compressed stream");
        } else {
            ended = inflater.feed(entry, chunk, checkedSink);
        }
    }
    if (!ended) throw entryError(entry, "has truncated compressed data");
    checked.finish();
}

}  // namespace launcher::zip
