// The state kept by a store against changes made through another store of
// the same instance, as another process makes them.

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/instance/instance_store.h"

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
    void TearDown() override {
        DeleteFileA((directory + "\\state.json").c_str());
        DeleteFileA((directory + "\\state.generation").c_str());
        RemoveDirectoryA(directory.c_str());
    }

    std::string directory;
    std::optional<InstanceStore> ours, theirs;
};

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

}  // namespace
}  // namespace vorlix
