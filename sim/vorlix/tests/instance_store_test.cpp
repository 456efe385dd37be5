// The state kept by a store against changes made through another store of
// the same instance, as another process makes them.

#include <windows.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <set>
#include <stdexcept>
#include <string>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/instance/instance_store.h"
#include "sim/vorlix/instance/text.h"
#include "sim/vorlix/instance/win_storage.h"
#include "support/unique_handle.h"

namespace vorlix {
namespace {

class TwoStores : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string sid = "KEPT" + std::to_string(GetCurrentProcessId());
        directory = std::string(temp) + "vorlix-store-" + sid;
        InstanceState state;
        state.sid = sid;
        state.dbid = 1;
        ours.emplace(directory, sid);
        theirs.emplace(directory, sid);
        ours->create(state);
    }
    void TearDown() override { deleteTree(widen(directory)); }

    // "datafiles.2" of the file "datafiles.2.<generation>.json"
    static std::string partOf(const std::string& file) {
        return file.substr(0, file.find('.', file.find('.') + 1));
    }
    // The files holding the long lists' parts.
    std::set<std::string> partFiles() const {
        std::set<std::string> names;
        WIN32_FIND_DATAA found;
        support::FindHandle search(FindFirstFileA((directory + "\\parts\\*").c_str(), &found));
        if (!search) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(found.cFileName);
        } while (FindNextFileA(search.get(), &found));
        return names;
    }
    // The parts of the files in `these` that are not in `others`.
    static std::set<std::string> partsOnlyIn(const std::set<std::string>& these,
                                             const std::set<std::string>& others) {
        std::set<std::string> parts;
        for (const auto& name : these) {
            if (!others.count(name)) parts.insert(partOf(name));
        }
        return parts;
    }
    // The part files a change wrote, and those it made obsolete.
    std::pair<std::set<std::string>, std::set<std::string>> filesChangedBy(
        const std::function<void(InstanceState&)>& change) {
        const auto before = partFiles();
        ours->update(change);
        const auto after = partFiles();
        return {partsOnlyIn(after, before), partsOnlyIn(before, after)};
    }

    std::string directory;
    std::optional<InstanceStore> ours, theirs;
};

using Parts = std::set<std::string>;

InstanceState withLongLists(const std::string& sid, int datafiles, int archivedLogs) {
    InstanceState state;
    state.sid = sid;
    for (int number = 1; number <= datafiles; ++number) {
        Datafile file;
        file.number = number;
        file.name = "df" + std::to_string(number) + ".dbf";
        file.tablespace = number % 7;
        state.datafiles.push_back(file);
    }
    for (int sequence = 1; sequence <= archivedLogs; ++sequence) {
        FileRecord log;
        log.sequence = sequence;
        log.name = "ARC" + std::to_string(sequence) + ".ARC";
        state.archivedLogs.push_back(log);
    }
    return state;
}

TEST_F(TwoStores, EveryChangeOfTheOtherIsSeenAlsoWhenTheFileKeepsItsSizeAndTime) {
    for (uint32_t dbid = 2; dbid < 10; ++dbid) {  // one digit: the file keeps its size
        ASSERT_EQ(ours->read().dbid, dbid - 1);
        theirs->update([&](InstanceState& s) { s.dbid = dbid; });
        EXPECT_EQ(ours->read().dbid, dbid);
        ours->update([&](InstanceState& s) { ++s.currentChange; });
        EXPECT_EQ(theirs->read().currentChange, 1000 + dbid - 1);
    }
}

TEST_F(TwoStores, AFailedStatementKeepsWhatItChangedAndAnyOtherFailureNothing) {
    EXPECT_THROW(ours->update([](InstanceState& s) {
        s.dbid = 7;
        raiseError(942);
    }),
                 DbError);
    EXPECT_EQ(theirs->read().dbid, 7u);
    EXPECT_THROW(ours->update([](InstanceState& s) {
        s.dbid = 8;
        throw std::runtime_error("no memory");
    }),
                 std::runtime_error);
    EXPECT_EQ(ours->read().dbid, 7u);
    EXPECT_EQ(theirs->read().dbid, 7u);
}

// A change said to only read is neither compared nor written: the file keeps
// its generation, and the other store still sees every real change after it.
TEST_F(TwoStores, AChangeThatOnlyReadsWritesNothing) {
    const auto onlyReads = [](const InstanceState&) { return false; };
    const std::string generationFile = directory + "\\state.generation";
    WIN32_FILE_ATTRIBUTE_DATA written{}, after{};
    ASSERT_TRUE(GetFileAttributesExA(generationFile.c_str(), GetFileExInfoStandard, &written));
    Sleep(20);
    EXPECT_EQ(ours->update([](InstanceState& s) { return s.dbid; }, onlyReads), 1u);
    EXPECT_THROW(ours->update([](InstanceState&) { raiseError(942); }, onlyReads), DbError);
    ASSERT_TRUE(GetFileAttributesExA(generationFile.c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(CompareFileTime(&written.ftLastWriteTime, &after.ftLastWriteTime), 0);
    theirs->update([](InstanceState& s) { s.dbid = 5; });
    EXPECT_EQ(ours->update([](InstanceState& s) { return s.dbid; }, onlyReads), 5u);
}

// 1,000 datafiles are four parts, 300 archived logs two: a change rewrites
// the parts it touched and nothing else, and the other store, which keeps the
// rest, still sees the whole state.
TEST_F(TwoStores, AChangeRewritesOnlyThePartsItTouched) {
    ours->create(withLongLists(ours->sid(), 1000, 300));
    EXPECT_EQ(partFiles().size(), 6u);
    ASSERT_EQ(theirs->read(), ours->read());

    EXPECT_EQ(filesChangedBy([](InstanceState& s) { s.datafiles[600].backupMode = true; }),
              std::pair(Parts{"datafiles.2"}, Parts{"datafiles.2"}));
    EXPECT_EQ(theirs->read(), ours->read());
    EXPECT_TRUE(theirs->read().datafiles[600].backupMode);

    EXPECT_EQ(filesChangedBy([](InstanceState& s) { s.archivedLogs.emplace_back(); }),
              std::pair(Parts{"archivedLogs.1"}, Parts{"archivedLogs.1"}));
    EXPECT_EQ(filesChangedBy([](InstanceState& s) { s.currentChange += 5; }),
              std::pair(Parts{}, Parts{}));
    EXPECT_EQ(theirs->read(), ours->read());

    EXPECT_EQ(filesChangedBy([](InstanceState& s) { s.datafiles.resize(700); }),
              std::pair(Parts{"datafiles.2"}, Parts{"datafiles.2", "datafiles.3"}));
    EXPECT_EQ(filesChangedBy([](InstanceState& s) { s.datafiles.erase(s.datafiles.begin()); }),
              std::pair(Parts{"datafiles.0", "datafiles.1", "datafiles.2"},
                        Parts{"datafiles.0", "datafiles.1", "datafiles.2"}));
    InstanceState seen = theirs->read();
    EXPECT_EQ(seen, ours->read());
    EXPECT_EQ(seen.datafiles.size(), 699u);
    EXPECT_EQ(seen.datafiles.front().number, 2);
    EXPECT_EQ(seen.archivedLogs.size(), 301u);
    EXPECT_EQ(partFiles().size(), 5u);
}

// A state file that holds the whole state, long lists inline, is read as it
// is and split into parts by the first change.
TEST_F(TwoStores, AStateFileWrittenWholeIsReadAndSplitByTheFirstChange) {
    InstanceState whole = withLongLists(ours->sid(), 300, 3);
    ASSERT_TRUE(WinStorage().createFile(directory + "\\state.json", toJson(whole)));
    DeleteFileA((directory + "\\state.generation").c_str());
    EXPECT_EQ(ours->read(), whole);

    theirs->update([](InstanceState& s) { s.datafiles[299].online = false; });
    whole.datafiles[299].online = false;
    EXPECT_EQ(ours->read(), whole);
    Parts parts;
    for (const auto& file : partFiles()) parts.insert(partOf(file));
    EXPECT_EQ(parts, (Parts{"archivedLogs.0", "datafiles.0", "datafiles.1"}));
}

// The fingerprint tells a part apart from the same part with any one field
// of one record changed, whatever the field.
TEST(StateParts, AnyChangedFieldChangesThePartsFingerprint) {
    InstanceState state = withLongLists("PRINT", 3, 3);
    state.tablespaces.push_back({1, "USERS"});
    state.backupPieces = state.datafileCopies = state.archivedLogs;
    state.pipes.push_back({"P", "PUBLIC", {{"a", "b"}}});
    for (LongList list : kLongLists) {
        const uint64_t original = partFingerprint(state, list, 0);
        auto records = nlohmann::json::parse(partToJson(state, list, 0));
        ASSERT_FALSE(records.empty()) << listName(list);
        for (auto& [field, value] : records[1 % records.size()].items()) {
            const auto kept = value;
            if (value.is_boolean())
                value = !value.get<bool>();
            else if (value.is_number())
                value = value.get<uint64_t>() + 1;
            else if (value.is_string())
                value = value.get<std::string>() + "x";
            else
                value.push_back(value.empty() ? nlohmann::json::array({"m"}) : value.back());
            InstanceState changed;
            appendPartFromJson(changed, list, records.dump());
            EXPECT_NE(partFingerprint(changed, list, 0), original)
                << listName(list) << "." << field;
            value = kept;
        }
    }
}

}  // namespace
}  // namespace vorlix
