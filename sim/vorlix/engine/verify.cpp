#include "sim/vorlix/engine/verify.h"

#include <set>
#include <utility>

#include "sim/vorlix/engine/file_headers.h"
#include "sim/vorlix/engine/row_store.h"

namespace vorlix {

namespace {

std::string number(uint64_t n) { return std::to_string(n); }

class Verifier {
public:
    Verifier(const InstanceState& s, Storage& storage) : s_(s), storage_(storage) {}

    std::vector<std::string> run() {
        for (const auto& name : s_.controlFiles()) controlFile(name);
        for (const auto& file : s_.datafiles) {
            if (file.online) datafile(file);
        }
        return problems_;
    }

private:
    void controlFile(const std::string& name) {
        auto block = storage_.readStart(name, kHeaderBlockSize);
        auto header = block ? decodeControlFileHeader(*block) : std::nullopt;
        if (!header)
            problem("control file " + name + ": missing or not a control file");
        else if (header->dbid != s_.dbid)
            problem("control file " + name + ": of database " + number(header->dbid));
    }

    void datafile(const Datafile& file) {
        std::string what = "datafile " + number(uint64_t(file.number));
        auto block = storage_.readStart(file.name, kHeaderBlockSize);
        auto header = block ? decodeDatafileHeader(*block) : std::nullopt;
        if (!header) return problem(what + " " + file.name + ": no header");
        if (header->dbid != s_.dbid || header->fileNumber != file.number)
            return problem(what + ": the header is of file " +
                           number(uint64_t(header->fileNumber)) + " of database " +
                           number(header->dbid));
        if (header->backupMode != file.backupMode)
            problem(what + ": backup mode in the header differs from the control file's");
        // A header left in backup mode outside an open database is a hot backup copy.
        bool needsRecovery = header->backupMode ? s_.status != InstanceStatus::Open
                                                : header->checkpoint < s_.checkpointChange;
        if (needsRecovery)
            problem(what + ": checkpoint " + number(header->checkpoint) +
                    (header->backupMode
                         ? " of a hot backup copy"
                         : " is behind the database's " + number(s_.checkpointChange)) +
                    ": it needs media recovery");
        bool clean = !header->fuzzy && !header->backupMode;
        for (const auto& [n, stored] : readBlocks(storage_, file.name)) {
            std::string where = what + " block " + number(n);
            if (stored.state == BlockState::Fractured) {
                problem(where + ": fractured, written while it was being copied");
                continue;
            }
            uint64_t change = stored.block.change;
            if (change > s_.currentChange)
                problem(where + ": change " + number(change) + " is ahead of the database's " +
                        number(s_.currentChange));
            if (clean && change >= header->checkpoint)
                problem(where + ": change " + number(change) + " is after the checkpoint " +
                        number(header->checkpoint) + " of a clean header");
            for (const auto& row : stored.block.rows) rowOf(file, where, row);
        }
    }

    void rowOf(const Datafile& file, const std::string& where, const Row& row) {
        const UserTable* table = nullptr;
        for (const auto& t : s_.tables) {
            if (t.id == row.table) table = &t;
        }
        std::string what = "row " + number(row.key) + " of table " + number(row.table);
        if (!table) return problem(where + ": " + what + " is of no table in the catalog");
        if (row.key >= table->nextKey) problem(where + ": " + what + " has a key never given out");
        if (s_.tablespaceName(file.tablespace) != table->tablespace)
            problem(where + ": " + what + " lies outside the table's tablespace");
        if (!seen_.insert({row.table, row.key}).second)
            problem(where + ": " + what + " is stored twice");
    }

    void problem(const std::string& text) { problems_.push_back(text); }

    const InstanceState& s_;
    Storage& storage_;
    std::vector<std::string> problems_;
    std::set<std::pair<uint32_t, uint32_t>> seen_;
};

}  // namespace

std::vector<std::string> verifyInstance(const InstanceState& state, Storage& storage) {
    return Verifier(state, storage).run();
}

}  // namespace vorlix
