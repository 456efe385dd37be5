// Bringing the writer up and down inside the test process, where the
// reported events can be watched.

#include "snapscribe/program/lifecycle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "snapscribe/host/tests/host_test_support.h"
#include "program_harness.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"
#include "support/unique_handle.h"

namespace snapscribe::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint32_t kStartEvent = 0x4FFF100F;
constexpr std::uint32_t kStopEvent = 0x4FFF1010;
const std::wstring kVersion = L"Vorlix VSS writer version 11.2.0.0.0 Beta";

// The writer of an instance of its own, traced under TRC_MISC to a file.
class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriterSettings& settings = writerSettings();
        settings.Sid = L"W" + std::to_wstring(GetCurrentProcessId() % 100000000);
        settings.SidNarrow = narrow(settings.Sid);
        settings.TraceLevel = TRC_MISC;
        settings.TraceFile = scratch.narrowFile("trace.log");
        ASSERT_TRUE(initEventLog(settings.Sid.c_str()));
        initTrace(settings.SidNarrow);
    }
    void TearDown() override {
        closeTrace();
        closeEventLog();
        writerSettings().TraceLevel = 0;
        writerSettings().TraceFile.clear();
    }
    std::string trace() {
        closeTrace();
        return withoutCarriageReturns(readWholeFile(scratch.file(L"trace.log")));
    }
    std::vector<std::uint32_t> ids() const {
        std::vector<std::uint32_t> reported;
        for (const ReportedEvent& event : events.events) reported.push_back(event.id);
        return reported;
    }
    std::string requesterSees() {
        Program requester(vssreqPath(), L"writers --instance " + writerSettings().Sid,
                          scratch.file(L""));
        requester.finish();
        return requester.output();
    }

    ScratchDirectory scratch;
    EventRecorder events;
};

TEST_F(LifecycleTest, TheWriterIsSubscribedBetweenTheStartAndStopEvents) {
    ASSERT_GE(initWriter(), 0);
    EXPECT_THAT(requesterSees(), HasSubstr("Vorlix VSS Writer - " + narrow(writerSettings().Sid)));
    teardownWriter();
    EXPECT_THAT(requesterSees(), Not(HasSubstr("Vorlix VSS Writer")));

    // The listing had the writer identify an instance without a database
    // service: that is noted as unreachable, between the start and stop events.
    constexpr std::uint32_t kUnreachableEvent = 0x4FFF1007;
    EXPECT_THAT(ids(), ElementsAre(kStartEvent, kUnreachableEvent, kStopEvent));
    for (const ReportedEvent& event : events.events) {
        EXPECT_EQ(event.type, EVENTLOG_INFORMATION_TYPE);
        EXPECT_EQ(event.category, 255);
        if (event.id == kUnreachableEvent) continue;
        EXPECT_THAT(event.strings, ElementsAre(kVersion, writerSettings().Sid));
    }
    const std::string text = trace();
    EXPECT_THAT(text, HasSubstr("\nChecking privileges\nInitializing COM\nInitializing COM "
                                "security\nInitialising the Vorlix writer "));
    EXPECT_THAT(text, HasSubstr("(WriterType/ProcId)=(UserData/0x"));
    EXPECT_THAT(text, HasSubstr("\nInitialize takes the writer instance name"));
    EXPECT_THAT(text, HasSubstr("Closing Application Trace file"));
}

TEST_F(LifecycleTest, TheConsoleHandlerEndsTheWaitForEveryKindOfControl) {
    for (DWORD control : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_SHUTDOWN_EVENT}) {
        writerSettings().Running = true;
        EXPECT_TRUE(consoleCtrlHandler(control));
        EXPECT_FALSE(writerSettings().Running);
    }
}

// Answers 1 when the writer counted as started.
DWORD WINAPI consoleThread(void*) { return runConsole() ? 1 : 0; }

// The start event is reported while the writer comes up: a Ctrl-C there
// ends the console writer once it is up instead of being forgotten.
TEST_F(LifecycleTest, ACtrlCWhileTheConsoleWriterStartsEndsIt) {
    setEventObserver([](const ReportedEvent& event) {
        if (event.id == kStartEvent) consoleCtrlHandler(CTRL_C_EVENT);
    });
    support::KernelHandle thread(CreateThread(nullptr, 0, consoleThread, nullptr, 0, nullptr));
    ASSERT_TRUE(thread);
    const bool endedByItself = WaitForSingleObject(thread.get(), 30000) == WAIT_OBJECT_0;
    writerSettings().Running = false;
    WaitForSingleObject(thread.get(), INFINITE);
    setEventObserver({});
    EXPECT_TRUE(endedByItself);
    DWORD started = 0;
    GetExitCodeThread(thread.get(), &started);
    EXPECT_EQ(started, 1u) << "stopped by the user, not failed";
}

// The test process cannot take the privilege back, so this runs as a test
// of its own (see CMakeLists.txt).
TEST_F(LifecycleTest, WithoutTheBackupPrivilegeStartingStopsButTheStartEventIsReported) {
    if (GetEnvironmentVariableW(L"WITHOUT_BACKUP_PRIVILEGE", nullptr, 0) == 0) {
        GTEST_SKIP() << "runs as snapscribe_without_backup_privilege";
    }
    support::KernelHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.receive()));
    TOKEN_PRIVILEGES removal{1, {{{0, 0}, SE_PRIVILEGE_REMOVED}}};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &removal.Privileges[0].Luid));
    ASSERT_TRUE(AdjustTokenPrivileges(token.get(), FALSE, &removal, 0, nullptr, nullptr));

    EXPECT_EQ(initWriter(), static_cast<std::int32_t>(0x80070514));
    EXPECT_THAT(ids(), ElementsAre(kStartEvent));
    EXPECT_THAT(requesterSees(), Not(HasSubstr("Vorlix VSS Writer")));
    const std::string text = trace();
    EXPECT_THAT(text, HasSubstr("AdjustTokenPrivileges for SeBackupPrivilege failed with 0x00000514"
                                "\nAssertPrivilege returned error 0x80070514"));
    EXPECT_THAT(text, Not(HasSubstr("Initializing COM")));
    teardownWriter();
    EXPECT_THAT(ids(), ElementsAre(kStartEvent, kStopEvent));

    // A writer started from here inherits the token: its console mode ends at once, saying why.
    ProgramOptions console;
    console.ownConsole = true;
    vorlix::ServiceStartLock alone;
    Program writer(snapscribePath(), writerSettings().Sid, scratch.file(L""), console);
    EXPECT_EQ(writer.finish(), 200u);
    EXPECT_THAT(writer.output(), HasSubstr("Waiting for VSS events (press Ctrl-C to stop writer)"
                                           "\nThe writer did not start: the backup privilege "
                                           "could not be enabled (0x80070514)\n"));
}

}  // namespace
}  // namespace snapscribe::testing
