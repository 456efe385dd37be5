#pragma once
// Redo: a record of every change to a datafile, written to the current
// online log before the datafile, copied whole into the archived log at a log
// switch, and replayed by media recovery.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/vorlix/engine/data_block.h"
#include "sim/vorlix/engine/state.h"
#include "sim/vorlix/engine/storage.h"

namespace vorlix {

struct RedoRecord {
    // A block image is logged at the first change of a block while its
    // tablespace is in hot backup mode: it mends a copy that caught the block
    // half written.
    enum class Kind : uint8_t { RowImage = 1, RowDeletion = 2, BlockImage = 3 };
    uint64_t change = 0;
    int file = 0;
    uint32_t block = 0;
    Kind kind = Kind::RowImage;
    Row row;            // the row image; of a deletion only table and key
    std::string image;  // the block after the change
};

std::string encodeRedo(const RedoRecord& record);
// The records of a log body in the order written, up to its zero padding.
std::vector<RedoRecord> decodeRedo(const std::string& body);
// The body padded to whole log blocks, as an archived log keeps it.
std::string padToLogBlocks(std::string body);

// The online redo log groups; the current one follows from the log sequence.
class OnlineLog {
public:
    OnlineLog(const InstanceState& state, Storage& storage) : s_(state), storage_(storage) {}

    int currentGroup() const;
    // Appends to every member of the current group; false when none took it.
    bool write(const std::string& records);
    // The records of the current log, from a member holding its sequence.
    std::optional<std::string> currentBody();
    // Makes the current group's members empty logs of the current sequence.
    bool startCurrent();
    // Every member empty; the current group's for the current sequence.
    bool createAll();

private:
    std::vector<std::string> members(int group) const;
    std::vector<int> groups() const;

    const InstanceState& s_;
    Storage& storage_;
};

}  // namespace vorlix
