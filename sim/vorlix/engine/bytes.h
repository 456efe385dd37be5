#pragma once
// Little-endian fields in byte strings, for the records the instance writes
// into its datafiles and redo logs.

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>

namespace vorlix {

class ByteWriter {
public:
    ByteWriter& u8(uint8_t v) { return field(v, 1); }
    ByteWriter& u16(uint16_t v) { return field(v, 2); }
    ByteWriter& u32(uint32_t v) { return field(v, 4); }
    ByteWriter& u64(uint64_t v) { return field(v, 8); }
    ByteWriter& bytes(const std::string& s) {
        out_ += s;
        return *this;
    }
    // A length-prefixed text.
    ByteWriter& text(const std::string& s) { return u32(uint32_t(s.size())).bytes(s); }
    const std::string& done() const { return out_; }
    size_t size() const { return out_.size(); }

private:
    ByteWriter& field(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out_ += char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    std::string out_;
};

// Reads what ByteWriter wrote; reading past the end marks the reader failed
// and yields zeros, so a damaged record is refused once, at its end.
class ByteReader {
public:
    ByteReader(const std::string& data, size_t at = 0, size_t end = std::string::npos)
        : data_(data), at_(at), end_(std::min(end, data.size())) {}
    uint8_t u8() { return uint8_t(field(1)); }
    uint16_t u16() { return uint16_t(field(2)); }
    uint32_t u32() { return uint32_t(field(4)); }
    uint64_t u64() { return field(8); }
    std::string bytes(size_t n) {
        if (!take(n)) return {};
        return data_.substr(at_ - n, n);
    }
    std::string text() { return bytes(u32()); }
    bool failed() const { return failed_; }
    size_t position() const { return at_; }
    size_t remaining() const { return end_ - at_; }

private:
    bool take(size_t n) {
        if (failed_ || n > end_ - at_) {
            failed_ = true;
            return false;
        }
        at_ += n;
        return true;
    }
    uint64_t field(int n) {
        if (!take(size_t(n))) return 0;
        uint64_t v = 0;
        for (int i = 0; i < n; ++i)
            v |= uint64_t(uint8_t(data_[at_ - size_t(n) + size_t(i)])) << (8 * i);
        return v;
    }
    const std::string& data_;
    size_t at_;
    size_t end_;
    bool failed_ = false;
};

}  // namespace vorlix
