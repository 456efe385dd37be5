#include "snapscribe/backup/event_frame.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "snapscribe/sequence/conversation.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/tests/host_test_support.h"

namespace snapscribe {
namespace {

using testing::EventRecorder;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::ScratchDirectory;

constexpr std::uint32_t kSomeWriterFailure = 0xCFFF0015;

std::vector<VcwSession*> disconnected;
int recoveryToolStops = 0;

void recordDisconnect(VcwSession* session) { disconnected.push_back(session); }
void recordToolStop() { ++recoveryToolStops; }

VcwSession* fakeSession(int& storage) { return reinterpret_cast<VcwSession*>(&storage); }

// Each test traces every event to a file of its own and starts with no
// sequence, no developer options and the clean-up observed.
class EventFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriterSettings& settings = writerSettings();
        settings.SidNarrow = "FRAME";
        settings.TraceLevel = TRC_EVENT;
        settings.TraceFile = scratch.narrowFile("trace.log");
        settings.FailPhase = PhaseNone;
        settings.HangEnabled = false;
        settings.TlsIndex = TlsAlloc();
        disconnected.clear();
        recoveryToolStops = 0;
        installSequenceServices({recordDisconnect, recordToolStop});
    }
    void TearDown() override {
        closeTrace();
        WriterSettings& settings = writerSettings();
        TlsFree(settings.TlsIndex);
        settings.TlsIndex = kTlsOutOfIndexes;
        settings.TraceLevel = 0;
        settings.TraceFile.clear();
        settings.SidNarrow.clear();
        settings.FailPhase = PhaseNone;
        settings.HangEnabled = false;
        installSequenceServices({});
        sequenceState() = SequenceState{};
    }

    // Runs one event; `marks` collects what it asked to mark the writer with.
    bool run(
        Phase phase, const std::function<void()>& body = [] {}) {
        return runEvent(phase, body, [this](std::int32_t hr) { marks.push_back(hr); });
    }
    std::string trace() {
        closeTrace();
        return testing::withoutCarriageReturns(testing::readWholeFile(scratch.file(L"trace.log")));
    }
    // Opens the trace the way a running sequence has it open.
    void openTrace() { initTrace(writerSettings().SidNarrow); }

    ScratchDirectory scratch;
    std::vector<std::int32_t> marks;
    int sessionStorage = 0;
};

TEST_F(EventFrameTest, TheFailPhaseFailsOnlyItsEventWithARandomWriterErrorAndNoFailureCode) {
    const std::vector<std::string> names = {"InconsistentSnapshot", "OutOfResources", "Timeout",
                                            "Retryable", "Non-Retryable"};
    for (int phase = PhaseIdentify; phase <= PhasePostRestore; ++phase) {
        writerSettings().FailPhase = phase;
        openTrace();
        bool bodyRan = false;
        EXPECT_FALSE(run(static_cast<Phase>(phase), [&] { bodyRan = true; })) << phase;
        EXPECT_FALSE(bodyRan) << phase;
        const int other = phase == PhaseFreeze ? PhaseThaw : PhaseFreeze;
        openTrace();  // the events that end a sequence close it
        EXPECT_TRUE(run(static_cast<Phase>(other))) << phase;

        const std::string text = trace();
        const std::string received =
            "Received event - " + testing::narrow(phaseName(phase)) + " () - FAILED ";
        const std::size_t at = text.find(received);
        ASSERT_NE(at, std::string::npos) << text;
        const std::string name =
            text.substr(at + received.size(), text.find('\n', at) - at - received.size());
        EXPECT_THAT(names, ::testing::Contains(name)) << text;
        EXPECT_THAT(text, HasSubstr("raised 0x4FFF0007"));
        EXPECT_THAT(text, HasSubstr(testing::narrow(phaseName(phase)) + " () Exiting(FALSE)"));
        EXPECT_THAT(text, HasSubstr(testing::narrow(phaseName(other)) + " () Exiting(TRUE)"));
        std::filesystem::remove(scratch.file(L"trace.log"));
    }
    EXPECT_TRUE(marks.empty());
}

TEST_F(EventFrameTest, TheStallRunsInEveryEventWhileTheOptionIsOn) {
    writerSettings().HangEnabled = true;
    writerSettings().HangMillis = 1000;
    openTrace();
    EXPECT_TRUE(run(PhaseFreeze));
    EXPECT_TRUE(run(PhaseThaw));
    const std::string text = trace();
    EXPECT_THAT(text, HasSubstr("Received event - Freeze ()\nSleeping 1 secondsWake up.\n"
                                "ThreadId"));
    EXPECT_THAT(text, HasSubstr("Received event - Thaw ()\nSleeping 1 secondsWake up.\n"
                                "ThreadId"));
}

TEST_F(EventFrameTest, AWriterFailureIsReportedOnceMarksTheWriterAndDropsTheSession) {
    EventRecorder events;
    SequenceState& state = sequenceState();
    state.conversation = std::make_unique<Conversation>();
    state.conversationSession = fakeSession(sessionStorage);
    int phaseSeen = 0;

    EXPECT_FALSE(run(PhaseFreeze, [&] {
        phaseSeen = currentPhase();
        SetLastError(ERROR_SUCCESS);
        raiseWriterFailure(kSomeWriterFailure, 4242, {L"first", L"second"});
    }));

    EXPECT_EQ(phaseSeen, PhaseFreeze);
    EXPECT_EQ(currentPhase(), 0) << "the slot outlived its event";
    EXPECT_EQ(marks, std::vector<std::int32_t>{kWriterErrorNonRetryable});
    EXPECT_EQ(disconnected, std::vector<VcwSession*>{fakeSession(sessionStorage)});
    EXPECT_EQ(state.conversationSession, nullptr);
    EXPECT_NE(state.conversation, nullptr) << "the record waits for an ending event";
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].id, kSomeWriterFailure);
    ASSERT_EQ(events.events[0].strings.size(), 3u);
    EXPECT_THAT(testing::narrow(events.events[0].strings[0]),
                HasSubstr("Error at line : 4242\nFailure on Freeze event"));
}

TEST_F(EventFrameTest, AFailedEndingEventEndsTheConversationAndIdentifyOnlyItsOwnSession) {
    SequenceState& state = sequenceState();
    state.conversation = std::make_unique<Conversation>();
    state.conversation->toolRunning = true;
    state.conversationSession = fakeSession(sessionStorage);
    int identifyStorage = 0;
    state.identifySession = fakeSession(identifyStorage);
    const auto fail = [] { raiseWriterFailure(kSomeWriterFailure, 1); };

    EXPECT_FALSE(run(PhaseIdentify, fail));
    EXPECT_EQ(disconnected, std::vector<VcwSession*>{fakeSession(identifyStorage)});
    EXPECT_EQ(state.identifySession, nullptr);
    EXPECT_NE(state.conversation, nullptr);

    for (Phase ending : {PhaseAbort, PhaseBackupComplete, PhaseBackupShutdown, PhasePostRestore}) {
        state.conversation = std::make_unique<Conversation>();
        state.conversation->toolRunning = true;
        state.conversationSession = fakeSession(sessionStorage);
        disconnected.clear();
        recoveryToolStops = 0;
        EXPECT_FALSE(run(ending, fail)) << ending;
        EXPECT_EQ(state.conversation, nullptr) << ending;
        EXPECT_EQ(recoveryToolStops, 1) << ending;
        EXPECT_EQ(disconnected, std::vector<VcwSession*>{fakeSession(sessionStorage)}) << ending;
    }
    EXPECT_EQ(marks.size(), 5u);
}

TEST_F(EventFrameTest, AFailedPlatformCallEndsTheEventWithoutAFailureCodeOrCleanUp) {
    sequenceState().conversationSession = fakeSession(sessionStorage);
    openTrace();
    EXPECT_FALSE(
        run(PhaseThaw, [] { checkPlatformCall(static_cast<std::int32_t>(0x80042301), 77); }));
    EXPECT_TRUE(marks.empty());
    EXPECT_TRUE(disconnected.empty());
    EXPECT_THAT(trace(), HasSubstr("Thaw () raised 0x4FFF0007: 0x80042301 UNDEFINED at line 77"));

    EXPECT_TRUE(run(PhaseThaw, [] { checkPlatformCall(S_FALSE, 78); }));
}

TEST_F(EventFrameTest, AnyOtherExceptionStaysInsideTheEvent) {
    EXPECT_FALSE(run(PhaseFreeze, [] { throw std::runtime_error("boom"); }));
    EXPECT_FALSE(run(PhaseFreeze, [] { throw 7; }));
    EXPECT_TRUE(marks.empty());
}

TEST_F(EventFrameTest, IdentifyClosesTheTraceItOpenedWhilePrepareBackupLeavesItOpen) {
    EXPECT_TRUE(run(PhaseIdentify));
    EXPECT_EQ(traceMsgA("after identify"), 0) << "identify left its trace open";

    openTrace();
    EXPECT_TRUE(run(PhaseIdentify));
    EXPECT_GT(traceMsgA("after identify"), 0) << "identify closed a trace it had not opened";
    closeTrace();

    EXPECT_TRUE(run(PhasePrepareForBackup));
    EXPECT_TRUE(run(PhaseFreeze));
    EXPECT_GT(traceMsgA("during the backup"), 0);
    EXPECT_TRUE(run(PhaseBackupComplete));
    EXPECT_EQ(traceMsgA("after the backup"), 0);

    const std::string text = trace();
    EXPECT_THAT(text, HasSubstr("during the backup"));
    EXPECT_THAT(text, HasSubstr("BackupComplete () Exiting(TRUE)"));
    EXPECT_THAT(text, Not(HasSubstr("after the backup")));
}

}  // namespace
}  // namespace snapscribe
