#pragma once
// The rows of user tables as they lie in a datafile: after the header block,
// blocks of kDatafileBlockSize bytes, each holding whole rows. A block carries
// the change of its last write at its head and its tail and a checksum, so a
// copy that caught a block half written finds it fractured.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/vorlix/engine/bytes.h"
#include "sim/vorlix/engine/file_headers.h"
#include "sim/vorlix/engine/value.h"

namespace vorlix {

// A row of a table: the table's number in the catalog, a key unique in the table.
struct Row {
    uint32_t table = 0;
    uint32_t key = 0;
    std::vector<Value> values;
};

void writeRow(ByteWriter& out, const Row& row);
std::optional<Row> readRow(ByteReader& in);

struct DataBlock {
    uint64_t change = 0;  // of the last change written into the block
    std::vector<Row> rows;

    const Row* find(uint32_t table, uint32_t key) const;
    void put(const Row& row);  // replaces the row of the same key or adds it
    bool remove(uint32_t table, uint32_t key);
    bool fits(const Row& row) const;  // after `put`, the block still encodes
};

enum class BlockState { Unused, Whole, Fractured };

struct StoredBlock {
    BlockState state = BlockState::Unused;
    DataBlock block;
};

std::string encodeBlock(const DataBlock& block);  // exactly kDatafileBlockSize bytes
// Bytes missing at the end (a file shorter than the block) read as zeros.
StoredBlock decodeBlock(const std::string& bytes);

constexpr uint64_t blockOffset(uint32_t block) {
    return kHeaderBlockSize + uint64_t(block) * kDatafileBlockSize;
}

}  // namespace vorlix
