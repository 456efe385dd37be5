#include "sim/vorlix/engine/row_store.h"

#include "sim/vorlix/engine/db_error.h"

namespace vorlix {

namespace {

[[noreturn]] void raiseCorrupt(const Datafile& file, uint32_t block) {
    raiseError(1578, std::to_string(file.number) + ", block # " + std::to_string(block));
}

}  // namespace

std::map<uint32_t, StoredBlock> readBlocks(Storage& storage, const std::string& name) {
    std::map<uint32_t, StoredBlock> blocks;
    auto bytes = storage.readAll(name);
    if (!bytes) return blocks;
    for (uint32_t n = 0; blockOffset(n) < bytes->size(); ++n) {
        StoredBlock b = decodeBlock(bytes->substr(size_t(blockOffset(n)), kDatafileBlockSize));
        if (b.state != BlockState::Unused) blocks[n] = std::move(b);
    }
    return blocks;
}

void checkBlocks(Storage& storage, const Datafile& file, std::optional<uint64_t> until, int error) {
    for (const auto& [number, b] : readBlocks(storage, file.name)) {
        if (b.state == BlockState::Fractured) raiseCorrupt(file, number);
        if (until && b.block.change >= *until) raiseError(error, std::to_string(file.number));
    }
}

Datafile& RowStore::datafileOf(const UserTable& table) {
    Tablespace* ts = s_.tablespace(table.tablespace);
    if (!ts) raiseError(959, table.tablespace);
    for (auto& file : s_.datafiles) {
        if (file.tablespace != ts->number) continue;
        if (!file.online || !file.error.empty()) raiseError(376, std::to_string(file.number));
        return file;
    }
    raiseError(959, table.tablespace);
}

std::vector<StoredRow> RowStore::scan(const UserTable& table) {
    const Datafile& file = datafileOf(table);
    std::vector<StoredRow> rows;
    if (file.blocks == 0) return rows;
    auto bytes =
        storage_.readAt(file.name, blockOffset(0), size_t(file.blocks) * kDatafileBlockSize);
    if (!bytes) raiseError(376, std::to_string(file.number));
    for (uint32_t n = 0; n < file.blocks; ++n) {
        size_t at = size_t(n) * kDatafileBlockSize;
        StoredBlock b =
            decodeBlock(at < bytes->size() ? bytes->substr(at, kDatafileBlockSize) : std::string());
        if (b.state == BlockState::Fractured) raiseCorrupt(file, n);
        for (const auto& row : b.block.rows) {
            if (row.table == table.id) rows.push_back({n, row});
        }
        blocks_[n] = std::move(b.block);
    }
    return rows;
}

DataBlock& RowStore::load(const Datafile& file, uint32_t number) {
    auto cached = blocks_.find(number);
    if (cached != blocks_.end()) return cached->second;
    auto bytes = storage_.readAt(file.name, blockOffset(number), kDatafileBlockSize);
    if (!bytes) raiseError(376, std::to_string(file.number));
    StoredBlock b = decodeBlock(*bytes);
    if (b.state == BlockState::Fractured) raiseCorrupt(file, number);
    return blocks_[number] = std::move(b.block);
}

// Logs the change, then writes the block. While the tablespace is in hot
// backup mode the first change of a block since the backup began logs the
// whole block, so a copy that caught it half written can be mended.
void RowStore::log(const Datafile& file, uint32_t number, RedoRecord record) {
    DataBlock& block = load(file, number);
    bool firstSinceBackupBegan = file.backupMode && block.change < file.checkpoint;
    block.change = record.change;
    std::string bytes = encodeBlock(block);
    if (firstSinceBackupBegan) {
        record.kind = RedoRecord::Kind::BlockImage;
        record.row = {};
        record.image = bytes;
    }
    if (!OnlineLog(s_, storage_).write(encodeRedo(record)))
        raiseError(313, std::to_string(OnlineLog(s_, storage_).currentGroup()));
    if (!storage_.writeAt(file.name, blockOffset(number), bytes))
        raiseError(1114, std::to_string(file.number) + ", block # " + std::to_string(number));
}

void RowStore::place(Datafile& file, const Row& row) {
    if (file.blocks == 0) file.blocks = 1;
    uint32_t number = file.blocks - 1;
    if (!load(file, number).fits(row)) number = file.blocks++;
    DataBlock& block = load(file, number);
    if (!block.fits(row)) raiseError(1401);
    block.put(row);
    log(file, number, {s_.nextChange(), file.number, number, RedoRecord::Kind::RowImage, row, {}});
}

void RowStore::insert(UserTable& table, std::vector<Value> values) {
    place(datafileOf(table), Row{table.id, table.nextKey++, std::move(values)});
}

void RowStore::update(const UserTable& table, const StoredRow& stored, std::vector<Value> values) {
    Datafile& file = datafileOf(table);
    Row row{table.id, stored.row.key, std::move(values)};
    DataBlock& block = load(file, stored.block);
    if (block.fits(row)) {
        block.put(row);
        log(file, stored.block,
            {s_.nextChange(), file.number, stored.block, RedoRecord::Kind::RowImage, row, {}});
        return;
    }
    remove(table, stored);  // grown out of its block: it moves to the last one
    place(file, row);
}

void RowStore::remove(const UserTable& table, const StoredRow& stored) {
    const Datafile& file = datafileOf(table);
    load(file, stored.block).remove(table.id, stored.row.key);
    Row key{table.id, stored.row.key, {}};
    log(file, stored.block,
        {s_.nextChange(), file.number, stored.block, RedoRecord::Kind::RowDeletion, key, {}});
}

StoredBlock& BlockReplay::load(uint32_t number) {
    auto cached = blocks_.find(number);
    if (cached != blocks_.end()) return cached->second;
    auto bytes = storage_.readAt(file_.name, blockOffset(number), kDatafileBlockSize);
    return blocks_[number] = decodeBlock(bytes.value_or(std::string()));
}

void BlockReplay::apply(const RedoRecord& record) {
    StoredBlock& b = load(record.block);
    if (record.kind == RedoRecord::Kind::BlockImage) {
        if (b.state == BlockState::Whole && b.block.change >= record.change) return;
        b = decodeBlock(record.image);
        changed_.insert(record.block);
        return;
    }
    if (b.state == BlockState::Fractured) raiseCorrupt(file_, record.block);
    if (b.state == BlockState::Whole && b.block.change >= record.change) return;
    b.state = BlockState::Whole;
    if (record.kind == RedoRecord::Kind::RowImage)
        b.block.put(record.row);
    else
        b.block.remove(record.row.table, record.row.key);
    b.block.change = record.change;
    changed_.insert(record.block);
}

void BlockReplay::finish(std::optional<uint64_t> until) {
    for (uint32_t number : changed_) {
        if (!storage_.writeAt(file_.name, blockOffset(number), encodeBlock(blocks_[number].block)))
            raiseError(1114, std::to_string(file_.number) + ", block # " + std::to_string(number));
    }
    checkBlocks(storage_, file_, until, 1194);
}

}  // namespace vorlix
