// Rows and redo through the stand-in's programs: vlxsql changes rows from
// processes of its own, vlxsim reads them from the datafile and checks the
// files, and a datafile put back from a hot backup copy is recovered.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "sim/vorlix/tests/vci_client.h"

namespace vorlix::test {
namespace {

using ::testing::HasSubstr;

const char* const kTable =
    R"({"tables": [{"name": "T1", "columns": ["ID", "WHO"], "rows": [[0, "seed"]]}]})";

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

int vlxsql(const std::string& sid, const std::vector<std::string>& statements,
           std::string* output = nullptr) {
    std::wstring line = L"vlxsql.exe\" " + wide(sid) + L" --";
    for (const auto& s : statements) line += L" \"" + wide(s) + L"\"";
    return runTool(line, output);
}

int vlxsimOutput(const std::string& command, std::string* output) {
    return runTool(L"vlxsim.exe\" " + wide(command), output);
}

std::vector<std::string> inserts(const std::string& who, int count) {
    std::vector<std::string> statements;
    for (int i = 1; i <= count; ++i)
        statements.push_back("insert into t1 values (" + std::to_string(i) + ", '" + who + "')");
    return statements;
}

TEST(Rows, ChangedThroughVlxsqlReadFromTheDatafileAcrossARestart) {
    TestInstance db(kTable);
    ASSERT_EQ(vlxsql(db.sid(), {"insert into t1 values (1, 'one')",
                                "update t1 set who = 'SEED' where id = 0", "commit"}),
              0);
    Connection c;
    ASSERT_EQ(c.connectLocal(db.sid()), 0);
    VCIStmt* update = c.newStatement("update t1 set who = who where id >= 0");
    ASSERT_EQ(
        c.check(vci().VCIStmtExecute(c.svc, update, c.err, 1, 0, nullptr, nullptr, VCI_DEFAULT)),
        VCI_SUCCESS);
    uint32_t changed = 0;
    vci().VCIAttrGet(update, VCI_HTYPE_STMT, &changed, nullptr, VCI_ATTR_ROW_COUNT, c.err);
    EXPECT_EQ(changed, 2u);
    ASSERT_EQ(db.vlxsim("shutdown"), 0);
    std::string rows;
    ASSERT_EQ(vlxsimOutput("rows " + db.sid() + " t1", &rows), 0);
    EXPECT_EQ(rows, "ID\tWHO\r\n0\tSEED\r\n1\tone\r\n");
    ASSERT_EQ(db.vlxsim("startup"), 0);
    std::string selected;
    ASSERT_EQ(vlxsql(db.sid(), {"select who from t1 order by id"}, &selected), 0);
    EXPECT_EQ(selected, "SEED\r\none\r\n");
    std::string verdict;
    EXPECT_EQ(vlxsimOutput("verify " + db.sid(), &verdict), 0);
    EXPECT_THAT(verdict, HasSubstr("every file agrees with the control file"));
    std::string headers;
    ASSERT_EQ(vlxsimOutput("headers " + db.sid(), &headers), 0);
    EXPECT_THAT(headers, HasSubstr("online log group 1"));
}

TEST(Rows, InsertsOfTwoProcessesAcrossLogSwitchesAllComeBackFromAHotBackupCopy) {
    TestInstance db(kTable);
    std::wstring users = wide(db.directory()) + L"\\users01.dbf";
    std::wstring copy = users + L".copy";
    ASSERT_EQ(vlxsql(db.sid(), {"alter tablespace users begin backup"}), 0);
    ASSERT_TRUE(CopyFileW(users.c_str(), copy.c_str(), FALSE)) << GetLastError();
    ASSERT_EQ(vlxsql(db.sid(), {"alter tablespace users end backup"}), 0);
    std::vector<std::string> switches(8, "alter system archive log current");
    int codes[3] = {-1, -1, -1};
    std::thread a([&] { codes[0] = vlxsql(db.sid(), inserts("a", 40)); });
    std::thread b([&] { codes[1] = vlxsql(db.sid(), inserts("b", 40)); });
    std::thread c([&] { codes[2] = vlxsql(db.sid(), switches); });
    a.join();
    b.join();
    c.join();
    EXPECT_THAT(codes, ::testing::Each(0));
    const std::vector<std::string> counts = {"select count(*) from t1 where who = 'a'",
                                             "select count(*) from t1 where who = 'b'"};
    std::string before;
    ASSERT_EQ(vlxsql(db.sid(), counts, &before), 0);
    EXPECT_EQ(before, "40\r\n40\r\n");

    ASSERT_EQ(db.vlxsim("shutdown"), 0);
    ASSERT_TRUE(CopyFileW(copy.c_str(), users.c_str(), FALSE));
    ASSERT_EQ(db.vlxsim("startup mount"), 0);
    std::string verdict;
    EXPECT_EQ(vlxsimOutput("verify " + db.sid(), &verdict), 1);
    EXPECT_THAT(verdict, HasSubstr("datafile 3: checkpoint"));
    ASSERT_EQ(
        vlxsql(db.sid(), {"alter database recover automatic database", "alter database open"}), 0);
    std::string after;
    ASSERT_EQ(vlxsql(db.sid(), counts, &after), 0);
    EXPECT_EQ(after, before);
    EXPECT_EQ(vlxsimOutput("verify " + db.sid(), &verdict), 0) << verdict;
}

// What a backup and a restore of the files must do: a row inserted before the
// backup comes back, one inserted after it does not.
TEST(Rows, ARestoreRecoveredToTheBackupTellsTheRowsBeforeItFromTheRowsAfter) {
    TestInstance db(kTable);
    std::wstring users = wide(db.directory()) + L"\\users01.dbf";
    std::wstring copy = users + L".copy";
    ASSERT_EQ(vlxsql(db.sid(), {"insert into t1 values (1, 'before')",
                                "alter tablespace users begin backup"}),
              0);
    ASSERT_TRUE(CopyFileW(users.c_str(), copy.c_str(), FALSE)) << GetLastError();
    std::string backupEnd;
    ASSERT_EQ(vlxsql(db.sid(),
                     {"alter tablespace users end backup", "alter system archive log current",
                      "select max(next_change#) from v$archived_log"},
                     &backupEnd),
              0);
    ASSERT_EQ(vlxsql(db.sid(),
                     {"insert into t1 values (2, 'after')", "alter system archive log current"}),
              0);
    ASSERT_EQ(db.vlxsim("shutdown"), 0);
    ASSERT_TRUE(CopyFileW(copy.c_str(), users.c_str(), FALSE));
    ASSERT_EQ(db.vlxsim("startup mount"), 0);
    std::string rows;
    ASSERT_EQ(vlxsql(db.sid(),
                     {"alter database recover database until change " +
                          backupEnd.substr(0, backupEnd.find('\r')),
                      "alter database open resetlogs", "select who from t1 order by id"},
                     &rows),
              0);
    EXPECT_EQ(rows, "seed\r\nbefore\r\n");
}

}  // namespace
}  // namespace vorlix::test
