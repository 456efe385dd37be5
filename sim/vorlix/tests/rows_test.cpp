// Rows in datafiles, redo in the logs, hot backup copies and media recovery,
// on an instance whose files live in memory.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/description.h"
#include "sim/vorlix/engine/executor.h"
#include "sim/vorlix/engine/redo.h"
#include "sim/vorlix/engine/verify.h"
#include "sim/vorlix/tests/memory_storage.h"

namespace vorlix {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kUsers = "C:\\DB\\users01.dbf";

TEST(DataFormats, BlocksAndRedoReadBackAndRefuseWhatIsDamaged) {
    DataBlock block;
    block.change = 77;
    block.put({4, 1, {Value::number(-2.5), Value(), Value::text(std::string("x\0y", 3))}});
    std::string bytes = encodeBlock(block);
    ASSERT_EQ(bytes.size(), kDatafileBlockSize);
    StoredBlock back = decodeBlock(bytes);
    ASSERT_EQ(back.state, BlockState::Whole);
    EXPECT_EQ(back.block.change, 77u);
    EXPECT_EQ(back.block.rows.at(0).values, block.rows[0].values);
    EXPECT_EQ(decodeBlock(std::string(kDatafileBlockSize, '\0')).state, BlockState::Unused);
    EXPECT_EQ(decodeBlock("").state, BlockState::Unused);  // beyond the end of the file
    std::string torn = bytes;
    torn[40] ^= 1;
    EXPECT_EQ(decodeBlock(torn).state, BlockState::Fractured);

    RedoRecord insert{5, 3, 0, RedoRecord::Kind::RowImage, block.rows[0], {}};
    RedoRecord image{6, 3, 0, RedoRecord::Kind::BlockImage, {}, bytes};
    std::string log = encodeRedo(insert) + encodeRedo(image);
    std::string padded = padToLogBlocks(log);
    EXPECT_EQ(padded.size() % kHeaderBlockSize, 0u);
    auto records = decodeRedo(padded);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].row.values, block.rows[0].values);
    EXPECT_EQ(records[1].image, bytes);
    EXPECT_EQ(decodeRedo(log.substr(0, log.size() - 1)).size(), 1u);  // a cut last record
}

class TableInstance : public ::testing::Test {
protected:
    void SetUp() override {
        Description d = parseDescription(
            R"({"tables": [{"name": "T1", "columns": ["ID", "NAME"], "rows": [[1, "seed"]]}]})",
            "R1", "C:\\DB");
        createDescribedFiles(d, files);
        state = d.state;
        Instance instance(state, files);
        instance.startup("");
        instance.mount();
        instance.open(false);
    }

    Outcome run(const std::string& text) {
        SessionData session;
        return Executor(state, files, session).execute(text, {});
    }

    int errorOf(const std::string& text) {
        try {
            run(text);
        } catch (const DbError& e) {
            return e.number();
        }
        return 0;
    }

    std::string single(const std::string& query) {
        return run(query).result.rows.at(0).at(0).asText();
    }

    // The rows of T1 as "ID NAME", in key order.
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& row : run("select id, name from t1 order by id").result.rows)
            out.push_back(row[0].asText() + " " + row[1].asText());
        return out;
    }

    uint64_t insert(int id, const std::string& name) {
        run("insert into t1 values (" + std::to_string(id) + ", '" + name + "')");
        return state.currentChange;
    }

    void restart(bool open = true) {
        Instance(state, files).shutdown(false);
        Instance instance(state, files);
        instance.startup("");
        instance.mount();
        if (open) instance.open(false);
    }

    // A copy made in two reads with `meanwhile` run between them, as a slow
    // copy of a file that is being written looks.
    std::string copyAcross(const std::string& name, size_t split,
                           const std::function<void()>& meanwhile) {
        std::string first = files.files.at(name).substr(0, split);
        meanwhile();
        return first + files.files.at(name).substr(split);
    }

    // The database shut down, `copy` put back in place of the users datafile, mounted.
    void restoreUsers(const std::string& copy) {
        Instance(state, files).shutdown(false);
        files.files[kUsers] = copy;
        Instance instance(state, files);
        instance.startup("");
        instance.mount();
    }

    std::vector<std::string> problems() { return verifyInstance(state, files); }

    InstanceState state;
    MemoryStorage files;
};

TEST_F(TableInstance, RowsLiveInTheDatafileNotTheStateAndSurviveARestart) {
    insert(2, "two");
    insert(3, "three");
    EXPECT_EQ(run("update t1 set name = name || '!' where id in (1, 3)").rowCount, 2u);
    EXPECT_EQ(run("delete from t1 where name like 'tw%'").rowCount, 1u);
    run("commit");
    EXPECT_THAT(toJson(state), Not(HasSubstr("three")));
    EXPECT_THAT(files.files.at(kUsers), HasSubstr("three!"));
    restart();
    EXPECT_THAT(names(), ElementsAre("1 seed!", "3 three!"));
    EXPECT_THAT(problems(), IsEmpty());
}

TEST_F(TableInstance, StatementsOnTablesAndWhatTheyRefuse) {
    run("create table dlv.t2 (code varchar2(10), amount number(8, 2)) tablespace sysaux");
    run("insert into t2 (amount, code) values (2.5, 'a')");
    EXPECT_EQ(single("select code || '=' || amount from t2"), "a=2.5");
    EXPECT_EQ(errorOf("create table t2 (x number)"), 955);
    EXPECT_EQ(errorOf("create table t3 (x number) tablespace nosuch"), 959);
    EXPECT_EQ(errorOf("insert into nosuch values (1)"), 942);
    EXPECT_EQ(errorOf("insert into t2 values (1)"), 947);
    EXPECT_EQ(errorOf("insert into t2 values (1, 2, 3)"), 913);
    EXPECT_EQ(errorOf("update t2 set nosuch = 1"), 904);
    EXPECT_EQ(errorOf("insert into t2 values ('" + std::string(9000, 'x') + "', 1)"), 1401);
    EXPECT_EQ(errorOf("drop table t2"), 900);
    Instance(state, files).shutdown(false);
    Instance(state, files).startup("");
    run("alter database mount");
    EXPECT_EQ(errorOf("insert into t1 values (9, 'x')"), 1109);
    EXPECT_EQ(errorOf("select * from t1"), 1219);
    run("alter database open read only");
    EXPECT_EQ(errorOf("delete from t1"), 16000);
}

TEST_F(TableInstance, RowsFillBlocksAndARowThatOutgrowsItsBlockMoves) {
    for (int i = 2; i <= 120; ++i) insert(i, std::string(100, 'a'));
    const Datafile& users = *state.datafile(3);
    EXPECT_GT(users.blocks, 1u);
    run("update t1 set name = '" + std::string(5000, 'b') + "' where id = 1");
    EXPECT_EQ(single("select count(*) from t1"), "120");
    EXPECT_EQ(single("select length(name) from t1 where id = 1"), "5000");
    restart();
    EXPECT_EQ(single("select count(*) from t1"), "120");
    EXPECT_THAT(problems(), IsEmpty());
}

TEST_F(TableInstance, EveryChangeIsLoggedAndALogSwitchArchivesTheRecords) {
    uint64_t first = insert(2, "two");
    run("delete from t1 where id = 1");
    auto online = OnlineLog(state, files).currentBody();
    ASSERT_TRUE(online);
    auto records = decodeRedo(*online);
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[records.size() - 2].change, first);
    EXPECT_EQ(records.back().kind, RedoRecord::Kind::RowDeletion);
    run("alter system archive log current");
    const FileRecord& log = state.archivedLogs.front();
    const std::string& archived = files.files.at(log.name);
    EXPECT_EQ(decodeRedo(archived.substr(kHeaderBlockSize)).size(), records.size());
    EXPECT_EQ(archived.size(), size_t(log.blocks + 1) * log.blockSize);
    EXPECT_EQ(single("select blocks from v$archived_log where sequence# = 1 and dest_id = 1"),
              std::to_string(log.blocks));
    EXPECT_THAT(decodeRedo(*OnlineLog(state, files).currentBody()), IsEmpty());
}

TEST_F(TableInstance, AHotBackupCopyTakenWhileRowsChangeRecoversToExactlyTheCommittedRows) {
    insert(2, "two");
    run("alter tablespace users begin backup");
    std::string copy = copyAcross(kUsers, kHeaderBlockSize + 100, [&] {
        insert(3, "three");
        run("update t1 set name = 'TWO' where id = 2");
    });
    run("alter tablespace users end backup");
    insert(4, "four");
    run("alter system archive log current");
    insert(5, "five");  // only in the online log
    restoreUsers(copy);
    EXPECT_THAT(problems(), Contains(HasSubstr("block 0: fractured")));
    EXPECT_EQ(errorOf("alter database open"), 1113);
    run("alter database recover datafile 3");
    run("alter database open");
    EXPECT_THAT(names(), ElementsAre("1 seed", "2 TWO", "3 three", "4 four", "5 five"));
    EXPECT_THAT(problems(), IsEmpty());
}

TEST_F(TableInstance, RecoveryUntilAChangeBetweenTwoInsertsKeepsTheFirstOnly) {
    run("alter tablespace users begin backup");
    std::string copy = files.files.at(kUsers);
    run("alter tablespace users end backup");
    uint64_t first = insert(2, "before");
    insert(3, "after");
    run("alter system archive log current");
    restoreUsers(copy);
    run("alter database recover database until change " + std::to_string(first + 1));
    EXPECT_EQ(errorOf("alter database open"), 1589);
    run("alter database open resetlogs");
    EXPECT_THAT(names(), ElementsAre("1 seed", "2 before"));
    insert(4, "new incarnation");
    restart();
    EXPECT_THAT(names(), ElementsAre("1 seed", "2 before", "4 new incarnation"));
    EXPECT_THAT(problems(), IsEmpty());
}

TEST_F(TableInstance, IncompleteRecoveryRefusesFilesHoldingChangesAfterTheTarget) {
    uint64_t early = insert(2, "two");
    run("alter tablespace users begin backup");
    std::string copy = files.files.at(kUsers);  // holds change `early`
    run("alter tablespace users end backup");
    run("alter system archive log current");
    restart(false);
    std::string until = "alter database recover database until change " + std::to_string(early);
    EXPECT_EQ(errorOf(until), 1152);  // a file never restored is as new as ever
    restoreUsers(copy);
    EXPECT_EQ(errorOf(until), 1194);  // a copy from after the target
}

TEST_F(TableInstance, ACopyTakenOutsideBackupModeWhileRowsChangeIsUnrecoverable) {
    insert(2, "two");
    std::string copy = copyAcross(kUsers, kHeaderBlockSize + 100,
                                  [&] { run("update t1 set name = 'TWO' where id = 2"); });
    run("alter system archive log current");
    restoreUsers(copy);
    EXPECT_THAT(problems(), Contains(HasSubstr("block 0: fractured")));
    EXPECT_EQ(errorOf("alter database recover datafile 3"), 1578);
    EXPECT_EQ(single("select recover from v$datafile_header where file# = 3"), "YES");
}

TEST_F(TableInstance, AMissingArchivedLogStopsTheReplay) {
    std::string copy = files.files.at(kUsers);
    insert(2, "two");
    run("alter system archive log current");
    insert(3, "three");
    run("alter system archive log current");
    for (const auto& log : state.archivedLogs) {
        if (log.sequence == 1) files.files.erase(log.name);
    }
    restoreUsers(copy);
    EXPECT_EQ(errorOf("alter database recover database"), 279);
    EXPECT_EQ(files.files.at(kUsers), copy);
}

}  // namespace
}  // namespace vorlix
