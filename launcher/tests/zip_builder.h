#pragma once
// Builds ZIP archives in memory for tests: stored or deflated entries, folder
// entries, and the raw bytes so a test can damage them.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace launcher::testing {

// The flag that marks a UTF-8 name, and the MS-DOS time and date (0: none).
struct EntryOptions {
    bool utf8Name = true;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

class ZipBuilder {
public:
    enum class Method : std::uint16_t { Stored = 0, Deflated = 8 };

    using Options = EntryOptions;

    void add(const std::string& name, const std::string& content, Method method = Method::Deflated,
             Options options = {}) {
        const std::string data = method == Method::Deflated ? deflateRaw(content) : content;
        const auto crc = static_cast<std::uint32_t>(::crc32(
            0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
        Record record{name,
                      static_cast<std::uint16_t>(method),
                      crc,
                      static_cast<std::uint32_t>(data.size()),
                      static_cast<std::uint32_t>(content.size()),
                      static_cast<std::uint32_t>(bytes_.size()),
                      options};
        header(0x04034b50, record, false);
        bytes_ += data;
        records_.push_back(record);
    }

    // The finished archive: central directory and end record appended.
    std::string finish(const std::string& comment = "") {
        std::string archive = bytes_;
        const std::size_t directoryOffset = archive.size();
        std::swap(archive, bytes_);
        for (const Record& record : records_) header(0x02014b50, record, true);
        std::swap(archive, bytes_);
        const std::size_t directorySize = archive.size() - directoryOffset;
        put32(archive, 0x06054b50);
        put16(archive, 0);
        put16(archive, 0);
        put16(archive, static_cast<std::uint16_t>(records_.size()));
        put16(archive, static_cast<std::uint16_t>(records_.size()));
        put32(archive, static_cast<std::uint32_t>(directorySize));
        put32(archive, static_cast<std::uint32_t>(directoryOffset));
        put16(archive, static_cast<std::uint16_t>(comment.size()));
        return archive + comment;
    }

    static std::string deflateRaw(const std::string& content) {
        z_stream stream{};
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
        stream.avail_in = static_cast<uInt>(content.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
        return out;
    }

private:
    struct Record {
        std::string name;
        std::uint16_t method;
        std::uint32_t crc;
        std::uint32_t compressedSize;
        std::uint32_t uncompressedSize;
        std::uint32_t localOffset;
        Options options;
    };

    static void put16(std::string& out, std::uint16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    }
    static void put32(std::string& out, std::uint32_t v) {
        put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
        put16(out, static_cast<std::uint16_t>(v >> 16));
    }

    // Local and central headers share most fields; the central one has a few more.
    void header(std::uint32_t signature, const Record& record, bool central) {
        put32(bytes_, signature);
        if (central) put16(bytes_, 20);  // made by
        put16(bytes_, 20);               // needed to extract
        put16(bytes_, record.options.utf8Name ? 0x0800 : 0);
        put16(bytes_, record.method);
        put16(bytes_, record.options.time);
        put16(bytes_, record.options.date);
        put32(bytes_, record.crc);
        put32(bytes_, record.compressedSize);
        put32(bytes_, record.uncompressedSize);
        put16(bytes_, static_cast<std::uint16_t>(record.name.size()));
        put16(bytes_, 0);  // extra
        if (central) {
            put16(bytes_, 0);  // comment
            put16(bytes_, 0);  // disk
            put16(bytes_, 0);  // internal attributes
            put32(bytes_, 0);  // external attributes
            put32(bytes_, record.localOffset);
        }
        bytes_ += record.name;
    }

    std::string bytes_;
    std::vector<Record> records_;
};

}  // namespace launcher::testing
