#include "sim/vorlix/engine/file_headers.h"

#include <cstring>

namespace vorlix {

namespace {

const char kDatafileMagic[8] = {'V', 'L', 'X', 'D', 'F', 'H', 'D', '1'};
const char kArchivedLogMagic[8] = {'V', 'L', 'X', 'A', 'R', 'C', 'L', '1'};
const char kOnlineLogMagic[8] = {'V', 'L', 'X', 'O', 'N', 'L', 'G', '1'};
const char kControlFileMagic[8] = {'V', 'L', 'X', 'C', 'T', 'L', 'F', '1'};
constexpr size_t kNameField = 32;

// Little-endian fields after an 8-byte magic, in a zero-filled block.
class BlockWriter {
public:
    explicit BlockWriter(const char* magic) : block_(kHeaderBlockSize, '\0') {
        std::memcpy(block_.data(), magic, 8);
    }
    BlockWriter& u32(uint32_t v) { return bytes(v, 4); }
    BlockWriter& u64(uint64_t v) { return bytes(v, 8); }
    BlockWriter& text(const std::string& s) {
        std::memcpy(&block_[at_], s.data(), std::min(s.size(), kNameField - 1));
        at_ += kNameField;
        return *this;
    }
    std::string done() { return block_; }

private:
    BlockWriter& bytes(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) block_[at_++] = char((v >> (8 * i)) & 0xFF);
        return *this;
    }
    std::string block_;
    size_t at_ = 8;
};

class BlockReader {
public:
    BlockReader(const std::string& block, const char* magic)
        : block_(block),
          valid_(block.size() >= kHeaderBlockSize && std::memcmp(block.data(), magic, 8) == 0) {}
    bool valid() const { return valid_; }
    uint32_t u32() { return uint32_t(bytes(4)); }
    uint64_t u64() { return bytes(8); }
    std::string text() {
        std::string s(block_.data() + at_, kNameField);
        at_ += kNameField;
        return s.substr(0, s.find('\0'));
    }

private:
    uint64_t bytes(int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= uint64_t(uint8_t(block_[at_++])) << (8 * i);
        return v;
    }
    const std::string& block_;
    bool valid_;
    size_t at_ = 8;
};

}  // namespace

std::string encodeHeader(const DatafileHeader& h) {
    return BlockWriter(kDatafileMagic)
        .u32(h.dbid)
        .u32(uint32_t(h.fileNumber))
        .u64(h.checkpoint)
        .u32(h.fuzzy)
        .u32(h.backupMode)
        .text(h.tablespace)
        .done();
}

std::string encodeHeader(const ArchivedLogHeader& h) {
    return BlockWriter(kArchivedLogMagic)
        .u32(h.dbid)
        .u32(uint32_t(h.sequence))
        .u64(h.firstChange)
        .u64(h.nextChange)
        .u64(h.resetlogsChange)
        .u32(h.blocks)
        .done();
}

std::string encodeHeader(const OnlineLogHeader& h) {
    return BlockWriter(kOnlineLogMagic)
        .u32(h.dbid)
        .u32(uint32_t(h.group))
        .u32(uint32_t(h.sequence))
        .u64(h.firstChange)
        .u64(h.resetlogsChange)
        .done();
}

std::string encodeHeader(const ControlFileHeader& h) {
    return BlockWriter(kControlFileMagic).u32(h.dbid).text(h.type).u64(h.checkpoint).done();
}

std::optional<DatafileHeader> decodeDatafileHeader(const std::string& block) {
    BlockReader r(block, kDatafileMagic);
    if (!r.valid()) return std::nullopt;
    DatafileHeader h;
    h.dbid = r.u32();
    h.fileNumber = int(r.u32());
    h.checkpoint = r.u64();
    h.fuzzy = r.u32() != 0;
    h.backupMode = r.u32() != 0;
    h.tablespace = r.text();
    return h;
}

std::optional<ArchivedLogHeader> decodeArchivedLogHeader(const std::string& block) {
    BlockReader r(block, kArchivedLogMagic);
    if (!r.valid()) return std::nullopt;
    ArchivedLogHeader h;
    h.dbid = r.u32();
    h.sequence = int(r.u32());
    h.firstChange = r.u64();
    h.nextChange = r.u64();
    h.resetlogsChange = r.u64();
    h.blocks = r.u32();
    return h;
}

std::optional<OnlineLogHeader> decodeOnlineLogHeader(const std::string& block) {
    BlockReader r(block, kOnlineLogMagic);
    if (!r.valid()) return std::nullopt;
    OnlineLogHeader h;
    h.dbid = r.u32();
    h.group = int(r.u32());
    h.sequence = int(r.u32());
    h.firstChange = r.u64();
    h.resetlogsChange = r.u64();
    return h;
}

std::optional<ControlFileHeader> decodeControlFileHeader(const std::string& block) {
    BlockReader r(block, kControlFileMagic);
    if (!r.valid()) return std::nullopt;
    ControlFileHeader h;
    h.dbid = r.u32();
    h.type = r.text();
    h.checkpoint = r.u64();
    return h;
}

}  // namespace vorlix
