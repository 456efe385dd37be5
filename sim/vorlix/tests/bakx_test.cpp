// BAKX.EXE driven as the writer drives it: started with VORLIX_SID set, its
// commands put into the input pipe with the writer's send block, its answers
// read with the writer's receive block (or item by item, where the test wants
// to see every line).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "sim/vorlix/tests/pipe_blocks.h"
#include "sim/vorlix/tests/vci_client.h"
#include "support/unique_handle.h"

namespace vorlix::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

constexpr int kNoData = 100;
constexpr DWORD kPollMillis = 200;
constexpr int kPolls = 600;  // a stuck tool fails the test instead of hanging it

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// What the receive block hands back for one run.
struct Answer {
    int rc = 0;  // of the execution: 0, or the no-data code
    int retval = -1;
    std::string errors;
};

class Tool {
public:
    Tool(const TestInstance& db, const std::string& options) : db_(db) {
        if (c_.connectLocal(db.sid()) != 0) throw std::runtime_error(c_.lastErrorText());
        SetEnvironmentVariableW(L"VORLIX_SID", wide(db.sid()).c_str());
        std::wstring line =
            L"\"" + binDirectory() + L"\\BAKX.EXE\" TARGET / PIPE VSS TIMEOUT " + wide(options);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            throw std::runtime_error("cannot start BAKX.EXE");
        process_.reset(process.hProcess);
        CloseHandle(process.hThread);
    }

    ~Tool() {
        if (running()) TerminateProcess(process_.get(), 99);
    }

    bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

    DWORD exitCode() const {
        WaitForSingleObject(process_.get(), kPolls * kPollMillis);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

    std::string outputPipeType() {
        for (int i = 0; i < kPolls && running(); ++i) {
            auto rows = c_.rows("select type from v$db_pipes where name='VLX$BAKX_VSS_OUT'");
            if (!rows.empty()) return rows[0][0];
            Sleep(kPollMillis);
        }
        return "";
    }

    void send(const std::string& command) {
        std::vector<char> cmd(4096, '\0');
        command.copy(cmd.data(), cmd.size() - 1);
        auto& v = vci();
        VCIStmt* stmt = c_.newStatement(kSendBlock);
        v.VCIBindByName(stmt, nullptr, c_.err, ":cmd", 4, cmd.data(), int32_t(cmd.size()), SQLT_STR,
                        nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
        if (c_.check(v.VCIStmtExecute(c_.svc, stmt, c_.err, 1, 0, nullptr, nullptr, VCI_DEFAULT)) !=
            VCI_SUCCESS)
            throw std::runtime_error(c_.lastErrorText());
    }

    // One run of the writer's receive block.
    Answer receiveOnce() {
        std::vector<char> errors(4096, '\0');
        uint32_t retval = 0;
        auto& v = vci();
        VCIStmt* stmt = c_.newStatement(kReceiveBlock);
        v.VCIBindByName(stmt, nullptr, c_.err, ":bakxerr", 8, errors.data(), int32_t(errors.size()),
                        SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
        v.VCIBindByName(stmt, nullptr, c_.err, ":retval", 7, &retval, sizeof retval, SQLT_UIN,
                        nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
        Answer a;
        a.rc = v.VCIStmtExecute(c_.svc, stmt, c_.err, 1, 0, nullptr, nullptr, VCI_DEFAULT);
        if (a.rc != VCI_SUCCESS && a.rc != kNoData) {
            c_.check(a.rc);
            throw std::runtime_error("receive block: " + c_.lastErrorText());
        }
        a.retval = int32_t(retval);
        a.errors = errors.data();
        return a;
    }

    // Polls as the writer does until an answer is complete (or the tool ends).
    Answer answer() {
        for (int i = 0; i < kPolls; ++i) {
            if (!running()) return Answer{kNoData, -1, "(tool ended)"};
            Answer a = receiveOnce();
            if (a.rc != kNoData && a.retval >= 0) return a;
            Sleep(kPollMillis);
        }
        return Answer{kNoData, -1, "(no answer)"};
    }

    Answer command(const std::string& text) {
        send(text);
        return answer();
    }

    // The messages of one answer, item by item, up to and including the prompt.
    std::vector<std::vector<std::string>> messagesUntilPrompt() {
        std::vector<std::vector<std::string>> messages;
        for (int i = 0; i < kPolls && running(); ++i) {
            auto message = nextMessage();
            if (!message) {
                Sleep(kPollMillis);
                continue;
            }
            messages.push_back(*message);
            if (message->size() == 1 && message->front().starts_with("BAKX-00572:")) break;
        }
        return messages;
    }

    Connection& connection() { return c_; }

private:
    std::optional<std::vector<std::string>> nextMessage() {
        auto& v = vci();
        int32_t rc = -1;
        VCIStmt* receive = c_.newStatement(
            "begin :rc := sys.dbms_pipe.receive_message('vlx$bakx_vss_out', 0); end;");
        v.VCIBindByName(receive, nullptr, c_.err, ":rc", 3, &rc, sizeof rc, SQLT_INT, nullptr,
                        nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
        c_.check(v.VCIStmtExecute(c_.svc, receive, c_.err, 1, 0, nullptr, nullptr, VCI_DEFAULT));
        if (rc != 0) return std::nullopt;
        std::vector<std::string> items;
        for (;;) {
            int32_t type = 0;
            VCIStmt* next = c_.newStatement("begin :t := sys.dbms_pipe.next_item_type; end;");
            v.VCIBindByName(next, nullptr, c_.err, ":t", 2, &type, sizeof type, SQLT_INT, nullptr,
                            nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
            c_.check(v.VCIStmtExecute(c_.svc, next, c_.err, 1, 0, nullptr, nullptr, VCI_DEFAULT));
            if (type != 9) return items;
            char item[1024] = {};
            VCIStmt* unpack = c_.newStatement("begin sys.dbms_pipe.unpack_message(:item); end;");
            v.VCIBindByName(unpack, nullptr, c_.err, ":item", 5, item, sizeof item, SQLT_STR,
                            nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
            c_.check(v.VCIStmtExecute(c_.svc, unpack, c_.err, 1, 0, nullptr, nullptr, VCI_DEFAULT));
            items.push_back(item);
        }
    }

    const TestInstance& db_;
    Connection c_;
    support::KernelHandle process_;
};

const char* const kMounted = R"({"archivedLogs": 2, "state": "mounted"})";
constexpr int kUsersFile = 3;  // after SYSTEM and SYSAUX

TEST(Bakx, ComesUpListeningOnAPrivatePipeAndEndsWithExit) {
    TestInstance db(kMounted);
    Tool tool(db, "360");
    EXPECT_EQ(tool.outputPipeType(), "PRIVATE");
    Answer first = tool.answer();
    EXPECT_EQ(first.rc, 0);
    EXPECT_EQ(first.retval, 1);
    EXPECT_EQ(first.errors, "");
    Answer echo = tool.command("set echo on;");
    EXPECT_EQ(echo.retval, 1);
    EXPECT_EQ(echo.errors, "");
    tool.send("exit;");
    EXPECT_EQ(tool.exitCode(), 0u);
}

TEST(Bakx, EchoesCommandsAfterSetEchoOnAndRunsSeveralCommandsOfALineInOrder) {
    TestInstance db(kMounted);
    Tool tool(db, "360");
    auto greeting = tool.messagesUntilPrompt();
    ASSERT_FALSE(greeting.empty());
    EXPECT_THAT(greeting.back(), ElementsAre(StartsWith("BAKX-00572:")));
    tool.send("set echo on; CONFIGURE SNAPSHOT CONTROLFILE NAME TO \"C:\\snap;x.ctl\";");
    auto messages = tool.messagesUntilPrompt();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_THAT(
        messages[0],
        ElementsAre("echo set on", "CONFIGURE SNAPSHOT CONTROLFILE NAME TO \"C:\\snap;x.ctl\";",
                    HasSubstr("C:\\snap;x.ctl")));
    std::string state;
    runTool(L"vlxsim.exe\" show " + wide(db.sid()), &state);
    EXPECT_THAT(state, HasSubstr("C:\\\\snap;x.ctl"));  // the instance's snapshot name, in JSON
    tool.send("set echo off; configure snapshot controlfile name to 'C:\\s2.ctl';");
    EXPECT_THAT(tool.messagesUntilPrompt().at(0),
                ElementsAre("set echo off;", "echo set off",  // echoed while still on
                            "snapshot control file name set to: C:\\s2.ctl"));
}

TEST(Bakx, ErrorStackOneLinePerMessageFillsTheErrorText) {
    TestInstance db(kMounted);
    Tool tool(db, "360");
    tool.answer();
    Answer a = tool.command("recover everything;");
    EXPECT_EQ(a.retval, 1);  // the banner set it to 0, the prompt after it counts
    EXPECT_THAT(a.errors, StartsWith("BAKX-01001: input not understood: recover everything"));
    EXPECT_THAT(a.errors, HasSubstr("BAKX-01002: syntax error: found \"everything\""));
    EXPECT_THAT(a.errors, Not(HasSubstr("BAKX-00572")));
    // The tool listens on after a failure.
    EXPECT_EQ(tool.command("set echo on;").errors, "");
}

TEST(Bakx, WholeStackInOneMessageLosesTheLineAfterTheBanner) {
    TestInstance db(kMounted);
    Tool tool(db, "360 STACK WHOLE");
    tool.answer();
    Answer a = tool.command("catalog archivelog 'C:\\no\\such.arc';");
    EXPECT_THAT(a.errors, Not(HasSubstr("BAKX-01010")));
    EXPECT_THAT(a.errors, HasSubstr("C:\\no\\such.arc"));
    EXPECT_THAT(a.errors, HasSubstr("VLX-"));
}

TEST(Bakx, AFailingCommandStopsTheRestOfItsLine) {
    TestInstance db(kMounted);
    Tool tool(db, "360");
    tool.messagesUntilPrompt();
    tool.send("bogus; set echo on; recover tablespace SYSTEM");
    auto messages = tool.messagesUntilPrompt();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_THAT(messages[0], ElementsAre("BAKX-00569: error message stack follows"));
    for (const auto& m : messages) EXPECT_THAT(m, Not(Contains("echo set on")));
    // An unterminated command is refused too.
    EXPECT_THAT(tool.command("recover tablespace SYSTEM").errors,
                HasSubstr("a command must end with ';'"));
}

TEST(Bakx, EndsWithAnErrorWhenNoCommandComesInTime) {
    TestInstance db(kMounted);
    Tool tool(db, "2");
    EXPECT_EQ(tool.answer().retval, 1);
    EXPECT_EQ(tool.exitCode(), 1u);
    EXPECT_THAT(tool.connection().rows("select type from v$db_pipes where name='VLX$BAKX_VSS_OUT'"),
                IsEmpty());
}

// An instance whose USERS datafile was put back from a copy taken three log
// switches ago, mounted and waiting for recovery.
class RestoredDatafile : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring file = wide(db_.directory() + "\\users01.dbf");
        ASSERT_TRUE(CopyFileW(file.c_str(), (file + L".old").c_str(), FALSE));
        oldCheckpoint_ = checkpointOf(kUsersFile);
        ASSERT_EQ(db_.vlxsim("switch 3"), 0);
        ASSERT_EQ(db_.vlxsim("shutdown"), 0);
        ASSERT_TRUE(CopyFileW((file + L".old").c_str(), file.c_str(), FALSE));
        ASSERT_EQ(db_.vlxsim("startup mount"), 0);
        ASSERT_EQ(checkpointOf(kUsersFile), oldCheckpoint_);
        ASSERT_GT(checkpointOf(1), oldCheckpoint_);
    }

    uint64_t checkpointOf(int file) {
        Connection c;
        c.connectLocal(db_.sid());
        return std::stoull(
            c.rows("select checkpoint_change# from v$datafile_header where file# = " +
                   std::to_string(file))
                .at(0)
                .at(0));
    }

    // The archived log (and its name) that holds the change.
    std::string logHolding(uint64_t change) {
        Connection c;
        c.connectLocal(db_.sid());
        std::string n = std::to_string(change);
        return c
            .rows("select name from v$archived_log where first_change# <= " + n +
                  " and next_change# > " + n)
            .at(0)
            .at(0);
    }

    int openDatabase(const std::string& how = "") {
        Connection c;
        c.connectLocal(db_.sid());
        return c.execute("alter database open" + how);
    }

    TestInstance db_{R"({"archivedLogs": 1})"};
    uint64_t oldCheckpoint_ = 0;
};

TEST_F(RestoredDatafile, CompleteRecoveryBringsTheHeaderForward) {
    Tool tool(db_, "360");
    tool.answer();
    Answer a = tool.command("recover database;");
    EXPECT_EQ(a.retval, 1);
    EXPECT_EQ(a.errors, "");
    EXPECT_EQ(checkpointOf(kUsersFile), checkpointOf(1));
    EXPECT_EQ(openDatabase(), 0);
}

TEST_F(RestoredDatafile, MissingLogFailsNamingItUntilItIsCataloguedAgain) {
    std::string log = logHolding(oldCheckpoint_);
    std::wstring kept = wide(db_.directory() + "\\kept.arc");
    ASSERT_TRUE(MoveFileW(wide(log).c_str(), kept.c_str()));
    Tool tool(db_, "360");
    tool.answer();
    Answer a = tool.command("recover database;");
    EXPECT_THAT(a.errors, HasSubstr("VLX-00279"));
    EXPECT_THAT(a.errors, HasSubstr("not found: " + log));
    EXPECT_EQ(checkpointOf(kUsersFile), oldCheckpoint_);
    EXPECT_EQ(openDatabase(), 1113);

    EXPECT_THAT(tool.command("catalog archivelog '" + db_.directory() + "\\nothing.arc';").errors,
                HasSubstr("VLX-00308"));
    std::string datafile = db_.directory() + "\\system01.dbf";
    EXPECT_THAT(tool.command("catalog archivelog '" + datafile + "';").errors,
                HasSubstr("VLX-00308"));
    a = tool.command("catalog archivelog '" + db_.directory() + "\\kept.arc'; recover database;");
    EXPECT_EQ(a.errors, "");
    EXPECT_EQ(checkpointOf(kUsersFile), checkpointOf(1));
}

TEST_F(RestoredDatafile, DatafileAndTablespaceRecovery) {
    Tool tool(db_, "360");
    tool.answer();
    EXPECT_THAT(tool.command("RECOVER DATAFILE 9;").errors, HasSubstr("VLX-01516"));
    EXPECT_EQ(tool.command("RECOVER DATAFILE 1,3;").errors, "");
    EXPECT_EQ(checkpointOf(kUsersFile), checkpointOf(1));
    std::wstring file = wide(db_.directory() + "\\users01.dbf");
    ASSERT_TRUE(CopyFileW((file + L".old").c_str(), file.c_str(), FALSE));
    EXPECT_THAT(tool.command("RECOVER TABLESPACE NOSUCH;").errors, HasSubstr("VLX-00959"));
    EXPECT_EQ(tool.command("RECOVER TABLESPACE SYSTEM,USERS;").errors, "");
    EXPECT_EQ(checkpointOf(kUsersFile), checkpointOf(1));
    EXPECT_EQ(openDatabase(), 0);
}

TEST_F(RestoredDatafile, IncompleteRecoveryStopsAtTheChangeAndNeedsResetlogs) {
    Connection c;
    c.connectLocal(db_.sid());
    auto until =
        std::stoull(c.rows("select min(next_change#) from v$archived_log where next_change# > " +
                           std::to_string(oldCheckpoint_))
                        .at(0)
                        .at(0));
    Tool tool(db_, "360");
    tool.answer();
    EXPECT_THAT(tool.command("reset database to incarnation 7;").errors,
                HasSubstr("incarnation 7"));
    Answer a = tool.command("reset database to incarnation 1; recover database until scn " +
                            std::to_string(until) + ";");
    EXPECT_EQ(a.errors, "");
    EXPECT_EQ(checkpointOf(kUsersFile), until);
    EXPECT_EQ(openDatabase(), 1589);
    EXPECT_EQ(openDatabase(" resetlogs"), 0);
}

TEST(Bakx, RefusesABadCommandLineOrAnUnreachableInstance) {
    EXPECT_EQ(runTool(L"BAKX.EXE\" TARGET / PIPE VSS"), 2);
    EXPECT_EQ(runTool(L"BAKX.EXE\" TARGET / PIPE VSS TIMEOUT 360 STACK SIDEWAYS"), 2);
    SetEnvironmentVariableW(L"VORLIX_SID", L"NOSUCHDB");
    EXPECT_EQ(runTool(L"BAKX.EXE\" TARGET / PIPE VSS TIMEOUT 360"), 3);
}

}  // namespace
}  // namespace vorlix::test
