#include "sim/vorlix/engine/data_block.h"

#include <algorithm>
#include <bit>

namespace vorlix {

namespace {

constexpr uint32_t kBlockMagic = 0x424C5856;  // "VXLB"
constexpr size_t kBlockHead = 20;             // magic, change, row count, body length
constexpr size_t kBlockTail = 12;             // change, checksum
constexpr size_t kBodyRoom = kDatafileBlockSize - kBlockHead - kBlockTail;

enum ValueTag : uint8_t { kNull = 0, kNumber = 1, kText = 2 };

uint32_t checksum(const std::string& bytes, size_t length) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < length; ++i) hash = (hash ^ uint8_t(bytes[i])) * 16777619u;
    return hash;
}

std::string rowBytes(const Row& row) {
    ByteWriter out;
    writeRow(out, row);
    return out.done();
}

size_t bodySize(const std::vector<Row>& rows) {
    size_t size = 0;
    for (const auto& row : rows) size += rowBytes(row).size();
    return size;
}

}  // namespace

void writeRow(ByteWriter& out, const Row& row) {
    out.u32(row.table).u32(row.key).u16(uint16_t(row.values.size()));
    for (const auto& value : row.values) {
        if (value.isNull())
            out.u8(kNull);
        else if (value.isNumber())
            out.u8(kNumber).u64(std::bit_cast<uint64_t>(value.asNumber()));
        else
            out.u8(kText).text(value.asText());
    }
}

std::optional<Row> readRow(ByteReader& in) {
    Row row;
    row.table = in.u32();
    row.key = in.u32();
    uint16_t count = in.u16();
    for (uint16_t i = 0; i < count && !in.failed(); ++i) {
        switch (in.u8()) {
            case kNull: row.values.emplace_back(); break;
            case kNumber:
                row.values.push_back(Value::number(std::bit_cast<double>(in.u64())));
                break;
            case kText: row.values.push_back(Value::text(in.text())); break;
            default: return std::nullopt;
        }
    }
    if (in.failed()) return std::nullopt;
    return row;
}

const Row* DataBlock::find(uint32_t table, uint32_t key) const {
    for (const auto& row : rows) {
        if (row.table == table && row.key == key) return &row;
    }
    return nullptr;
}

void DataBlock::put(const Row& row) {
    for (auto& r : rows) {
        if (r.table == row.table && r.key == row.key) {
            r = row;
            return;
        }
    }
    rows.push_back(row);
}

bool DataBlock::remove(uint32_t table, uint32_t key) {
    return std::erase_if(rows, [&](const Row& r) { return r.table == table && r.key == key; }) > 0;
}

bool DataBlock::fits(const Row& row) const {
    DataBlock after = *this;
    after.put(row);
    return bodySize(after.rows) <= kBodyRoom;
}

std::string encodeBlock(const DataBlock& block) {
    ByteWriter out;
    out.u32(kBlockMagic).u64(block.change).u32(uint32_t(block.rows.size()));
    std::string body;
    for (const auto& row : block.rows) body += rowBytes(row);
    out.u32(uint32_t(body.size())).bytes(body);
    std::string bytes = out.done();
    bytes.resize(kDatafileBlockSize - kBlockTail, '\0');
    uint32_t sum = checksum(bytes, bytes.size());
    return bytes + ByteWriter().u64(block.change).u32(sum).done();
}

StoredBlock decodeBlock(const std::string& stored) {
    std::string bytes = stored;
    bytes.resize(kDatafileBlockSize, '\0');
    StoredBlock out;
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == '\0'; })) return out;
    out.state = BlockState::Fractured;
    ByteReader head(bytes);
    ByteReader tail(bytes, kDatafileBlockSize - kBlockTail);
    uint32_t magic = head.u32();
    uint64_t change = head.u64();
    uint32_t count = head.u32();
    uint32_t length = head.u32();
    uint64_t tailChange = tail.u64();
    if (magic != kBlockMagic || change != tailChange || length > kBodyRoom ||
        tail.u32() != checksum(bytes, kDatafileBlockSize - kBlockTail))
        return out;
    ByteReader body(bytes, kBlockHead, kBlockHead + length);
    for (uint32_t i = 0; i < count; ++i) {
        auto row = readRow(body);
        if (!row) return out;
        out.block.rows.push_back(std::move(*row));
    }
    out.block.change = change;
    out.state = BlockState::Whole;
    return out;
}

}  // namespace vorlix
