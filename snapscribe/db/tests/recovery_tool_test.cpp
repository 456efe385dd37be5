// The conversation with the recovery tool (BAKX.EXE of the build's Vorlix
// home) through the database pipes of a stand-in instance.

#include "snapscribe/db/recovery_tool.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "db_test_support.h"
#include "snapscribe/sequence/conversation.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"
#include "support/unique_handle.h"

namespace snapscribe::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Short waits; the limit only matters to the tests of a tool that never answers.
constexpr ToolWaits kTestWaits{200, 300, 300, 60000};

// The failure a command raised, 0 when it was answered.
std::uint32_t commandFailure(const char* command, std::wstring* text = nullptr) {
    try {
        runToolCommand(command);
    } catch (const WriterFailureError& error) {
        if (text != nullptr && !error.strings().empty()) *text = error.strings().back();
        return error.code();
    }
    return 0;
}

void setEnvironment(const std::wstring& name, const std::string& value) {
    SetEnvironmentVariableW(name.c_str(), std::wstring(value.begin(), value.end()).c_str());
}

// The tool processes this process started that still run.
std::vector<DWORD> runningTools() {
    support::KernelHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    std::vector<DWORD> tools;
    for (BOOL more = Process32FirstW(processes.get(), &process); more;
         more = Process32NextW(processes.get(), &process)) {
        if (process.th32ParentProcessID == GetCurrentProcessId() &&
            lstrcmpiW(process.szExeFile, L"BAKX.EXE") == 0) {
            tools.push_back(process.th32ProcessID);
        }
    }
    return tools;
}

// Suspends or resumes every thread of the tools this process started.
void holdTools(bool suspend) {
    const std::vector<DWORD> tools = runningTools();
    support::KernelHandle threads(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(threads.get(), &thread); more;
         more = Thread32Next(threads.get(), &thread)) {
        if (std::find(tools.begin(), tools.end(), thread.th32OwnerProcessID) == tools.end()) {
            continue;
        }
        support::KernelHandle handle(OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread.th32ThreadID));
        if (suspend) {
            SuspendThread(handle.get());
        } else {
            ResumeThread(handle.get());
        }
    }
}

class RecoveryToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        vorlixHome();
        setToolWaitsForTesting(kTestWaits);
    }
    void TearDown() override {
        cleanupConversation();
        setCurrentSession(nullptr);
        setToolWaitsForTesting({});
    }

    // A conversation on `db` whose tool runs with `options`, traced under TRC_MISC.
    void beginConversation(const Instance& db, const std::string& options = "") {
        db.makeCurrent();
        setEnvironment(L"VLX_" + writerSettings().Sid + L"_VSS_ROPT", options);
        trace_.reset();  // one trace at a time
        trace_ = std::make_unique<TraceCapture>(TRC_MISC);
        connectInstance(false, nullptr);
    }

    std::unique_ptr<TraceCapture> trace_;
};

TEST_F(RecoveryToolTest, ACommandIsAnsweredByThePromptAndTheToolEndsWithTheConversation) {
    Instance db;
    beginConversation(db);
    EXPECT_EQ(commandFailure("CONFIGURE SNAPSHOT CONTROLFILE NAME TO \"C:\\snap.ctl\";"), 0u);
    EXPECT_TRUE(sequenceState().conversation->toolRunning);
    cleanupConversation();

    const std::string text = trace_->text();
    EXPECT_THAT(text, HasSubstr("\nExecuting BAKX command : [set echo on;]"));
    EXPECT_THAT(text, HasSubstr("\nExecuting BAKX command : [CONFIGURE SNAPSHOT CONTROLFILE NAME "
                                "TO \"C:\\snap.ctl\";]"));
    EXPECT_THAT(text, HasSubstr("retval=1, vcirc=0, exitcode=259...Sucess"));
    EXPECT_THAT(text, HasSubstr("\nExecuting BAKX command : [exit;]"));
    EXPECT_THAT(text, HasSubstr("exitcode=0"));
}

TEST_F(RecoveryToolTest, AnErrorStackFailsTheCommandWithTheLinesAfterItsBanner) {
    Instance db;
    const char* const command = "catalog archivelog 'C:\\no\\such.arc';";
    for (const char* shape : {"STACK LINES", "STACK WHOLE"}) {
        SCOPED_TRACE(shape);
        beginConversation(db, shape);
        std::wstring error;
        EXPECT_EQ(commandFailure(command, &error), kToolAnswerFailure);
        const std::string narrow(error.begin(), error.end());
        if (std::string(shape) == "STACK LINES") {
            EXPECT_THAT(narrow, StartsWith("BAKX-01010: command failed: catalog archivelog"));
        } else {
            // In one message the line right after the banner is not kept.
            EXPECT_THAT(narrow, StartsWith("VLX-"));
        }
        EXPECT_THAT(narrow, HasSubstr("VLX-"));
        EXPECT_THAT(narrow, Not(HasSubstr("BAKX-00569"))) << "the banner is not kept";
        EXPECT_THAT(narrow, Not(HasSubstr("BAKX-00572"))) << "nor the prompt";
        EXPECT_THAT(trace_->text(), HasSubstr("...Failed : \n[" + narrow + "]"));
        EXPECT_EQ(commandFailure("set echo off;"), 0u) << "the tool listens on";
        cleanupConversation();
    }
}

TEST_F(RecoveryToolTest, AToolThatEndedIsStartedAgainByTheNextCommand) {
    Instance db;
    beginConversation(db);
    EXPECT_EQ(commandFailure("exit;"), 0u);
    EXPECT_EQ(commandFailure("set echo off;"), 0u);
    const std::string text = trace_->text();
    const std::string echo = "\nExecuting BAKX command : [set echo on;]";
    const std::size_t first = text.find(echo);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find(echo, first + 1), std::string::npos) << "a second tool was started";
}

// Cut to the input bind, this would be the first 315 of its commands.
TEST_F(RecoveryToolTest, ACommandLongerThanTheInputBindIsRefusedUnsent) {
    Instance db;
    beginConversation(db);
    std::string command;
    while (command.size() < 5000) command += "set echo off;";
    std::wstring refused;
    EXPECT_EQ(commandFailure(command.c_str(), &refused), kToolSendFailure);
    EXPECT_EQ(refused, std::wstring(command.begin(), command.end()));
    const std::string text = trace_->text();
    const std::size_t refusal = text.find(
        "\nBAKX command of 5005 bytes is longer than 4095 "
        "bytes: not sent");
    ASSERT_NE(refusal, std::string::npos);
    EXPECT_EQ(text.find("Polling BAKX output status", refusal), std::string::npos);
    EXPECT_EQ(commandFailure("set echo on;"), 0u) << "the tool was given nothing to answer";
}

// Whether "exit;" cannot be sent or the session is already gone, the tool
// ends with its conversation: the next one talks to a tool of its own.
TEST_F(RecoveryToolTest, AToolThatCannotBeToldToExitEndsWithItsConversation) {
    Instance db;
    for (const bool sessionGone : {false, true}) {
        SCOPED_TRACE(sessionGone ? "session gone" : "exit not sent");
        beginConversation(db);
        ASSERT_EQ(commandFailure("set echo off;"), 0u);
        ASSERT_EQ(runningTools().size(), 1u);
        if (sessionGone) {
            dropConversationSession();
        } else {
            ASSERT_EQ(db.vlxsim("fail", "every 3113 \"send_message('vlx$bakx_vss_in')\""), 0u);
        }
        cleanupConversation();
        db.vlxsim("clear-failures");
        EXPECT_TRUE(runningTools().empty());

        beginConversation(db);
        EXPECT_EQ(commandFailure("set echo off;"), 0u);
        EXPECT_EQ(runningTools().size(), 1u);
        cleanupConversation();
    }
}

TEST_F(RecoveryToolTest, AToolThatFailsWhileACommandWaitsFailsTheCommand) {
    Instance db;
    beginConversation(db);
    ASSERT_EQ(commandFailure("set echo off;"), 0u);
    // The tool can no longer take its commands from the pipe and ends.
    ASSERT_EQ(db.vlxsim("fail", "every 1555 \"unpack_message(:cmd)\""), 0u);
    std::wstring error = L"untouched";
    EXPECT_EQ(commandFailure("recover database;", &error), kToolAnswerFailure);
    EXPECT_EQ(error, L"");
    EXPECT_THAT(trace_->text(), Not(HasSubstr("exitcode=0")));
    db.vlxsim("clear-failures");
}

TEST_F(RecoveryToolTest, AnAnswerThatNeverComesEndsTheWaitAtTheLimit) {
    Instance db;
    beginConversation(db);
    ASSERT_EQ(commandFailure("set echo off;"), 0u);
    ToolWaits waits = kTestWaits;
    waits.limit = 3000;
    setToolWaitsForTesting(waits);
    holdTools(true);
    std::wstring error;
    EXPECT_EQ(commandFailure("recover database;", &error), kToolAnswerFailure);
    EXPECT_EQ(error, L"No complete answer within 3 seconds");
    holdTools(false);
}

// The tool of another instance never serves this one's pipes; it does not
// answer "exit;" either, so the limit is short.
class ElsewhereToolTest : public RecoveryToolTest {
protected:
    void SetUp() override {
        RecoveryToolTest::SetUp();
        ToolWaits waits = kTestWaits;
        waits.limit = 3000;
        setToolWaitsForTesting(waits);
        beginConversation(db_);
        setEnvironment(L"VORLIX_SID", elsewhere_.sid());
    }

    Instance db_;
    Instance elsewhere_;
};

TEST_F(ElsewhereToolTest, AnOutputPipeThatNeverAppearsEndsTheWaitAtTheLimit) {
    EXPECT_EQ(commandFailure("recover database;"), kToolStartFailure);
    EXPECT_THAT(trace_->text(), Not(HasSubstr("Polling BAKX output status")));
}

TEST_F(ElsewhereToolTest, AnOutputPipeThatIsNotPrivateIsRefused) {
    VcwSession* session = sequenceState().conversationSession;
    VcwCursor* cursor = nullptr;
    ASSERT_EQ(vcw_opn(session, cursor,
                      "declare rc number; begin sys.dbms_pipe.pack_message('stale'); "
                      "rc := sys.dbms_pipe.send_message('vlx$bakx_vss_out'); end;"),
              0);
    ASSERT_EQ(vcw_exe(session, cursor), 0);
    vcw_cls(session, cursor);
    EXPECT_EQ(commandFailure("recover database;"), kToolStartFailure);
    EXPECT_THAT(trace_->text(), Not(HasSubstr("Polling BAKX output status")));
}

TEST_F(RecoveryToolTest, WithoutTheInstallationHomeNoCommandRuns) {
    Instance db;
    beginConversation(db);
    wchar_t home[MAX_PATH];
    GetEnvironmentVariableW(L"VORLIX_HOME", home, MAX_PATH);
    SetEnvironmentVariableW(L"VORLIX_HOME", nullptr);
    EXPECT_EQ(commandFailure("recover database;"), kToolStartFailure);
    EXPECT_EQ(commandFailure("exit;"), kToolStartFailure);
    SetEnvironmentVariableW(L"VORLIX_HOME", home);
    EXPECT_FALSE(sequenceState().conversation->toolRunning);
}

TEST_F(RecoveryToolTest, WithoutAConversationSessionNoCommandIsSent) {
    EXPECT_EQ(commandFailure("recover database;"), kToolStartFailure);
    EXPECT_TRUE(startRecoveryTool());
}

}  // namespace
}  // namespace snapscribe::testing
