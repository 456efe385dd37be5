#pragma once
// The rows of user tables in their tablespace's first datafile. Every change
// is logged to the online redo log first and then written through to its
// block; media recovery replays the logged changes onto a restored file.

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "sim/vorlix/engine/data_block.h"
#include "sim/vorlix/engine/redo.h"
#include "sim/vorlix/engine/state.h"
#include "sim/vorlix/engine/storage.h"

namespace vorlix {

struct StoredRow {
    uint32_t block = 0;
    Row row;
};

class RowStore {
public:
    RowStore(InstanceState& state, Storage& storage) : s_(state), storage_(storage) {}

    // Throws DbError 1578 for a fractured block, 376 for a file it cannot read.
    std::vector<StoredRow> scan(const UserTable& table);
    void insert(UserTable& table, std::vector<Value> values);
    void update(const UserTable& table, const StoredRow& stored, std::vector<Value> values);
    void remove(const UserTable& table, const StoredRow& stored);

    // The datafile a table's rows live in.
    Datafile& datafileOf(const UserTable& table);

private:
    DataBlock& load(const Datafile& file, uint32_t number);
    void place(Datafile& file, const Row& row);
    void log(const Datafile& file, uint32_t number, RedoRecord record);

    InstanceState& s_;
    Storage& storage_;
    std::map<uint32_t, DataBlock> blocks_;  // of the one datafile a statement touches
};

// Replays redo records onto one datafile, keeping the blocks it changes in
// memory until `finish`. A record older than its block's last change is
// already in the file and is skipped, so a copy that holds some of the
// changes ends up as one that holds none.
class BlockReplay {
public:
    BlockReplay(Storage& storage, const Datafile& file) : storage_(storage), file_(file) {}
    void apply(const RedoRecord& record);
    // Writes the replayed blocks; then every block must be whole and, after
    // an incomplete recovery, hold no change from `until` on (else 1194).
    void finish(std::optional<uint64_t> until);

private:
    StoredBlock& load(uint32_t number);

    Storage& storage_;
    const Datafile& file_;
    std::map<uint32_t, StoredBlock> blocks_;
    std::set<uint32_t> changed_;
};

// Every block of a datafile as it lies on disk, by number.
std::map<uint32_t, StoredBlock> readBlocks(Storage& storage, const std::string& name);

// Throws `error` when the file holds a change from `until` on, 1578 for a fractured block.
void checkBlocks(Storage& storage, const Datafile& file, std::optional<uint64_t> until, int error);

}  // namespace vorlix
