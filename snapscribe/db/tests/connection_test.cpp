// The writer's connection routines against stand-in instances in every state.

#include "snapscribe/db/connection.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "db_test_support.h"
#include "snapscribe/sequence/conversation.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe::testing {
namespace {

using ::testing::HasSubstr;

void setSid(const std::string& sid) { writerSettings().SidNarrow = sid; }

TEST(LocalConnectString, FormsTheDescriptorForNamesUpToNineBytes) {
    setSid("ABCDEFGHI");
    char buffer[1024];
    ASSERT_EQ(makeLocalConnectString(buffer, sizeof buffer), 169u + 27u);
    EXPECT_STREQ(buffer,
                 "/@(DESCRIPTION=(ADDRESS=(PROTOCOL=beq)(PROGRAM=vorlix)(ARGV0=vorlixABCDEFGHI)"
                 "(ARGS='(DESCRIPTION=(LOCAL=YES)(ADDRESS=(PROTOCOL=beq)))')(ENVS='VORLIX_SID="
                 "ABCDEFGHI'))(CONNECT_DATA=(SID=ABCDEFGHI)))");
    EXPECT_EQ(makeLocalConnectString(buffer, 175 + 27), 196u);
    EXPECT_EQ(makeLocalConnectString(buffer, 175 + 27 - 1), 0u) << "the size rule has slack";
}

TEST(LocalConnectString, ANameOfTenBytesOrMoreIsNeverTakenForADescriptor) {
    for (const std::size_t bytes : {10u, 11u, 64u, 300u}) {
        setSid(std::string(bytes, 'N'));
        char buffer[1024] = "untouched";
        EXPECT_EQ(makeLocalConnectString(buffer, sizeof buffer), bytes);
        EXPECT_FALSE(formLocalDescriptor(buffer, sizeof buffer)) << bytes;
        EXPECT_STREQ(buffer, "untouched") << bytes;
    }
    setSid("ABCDEFGHI");
    char buffer[1024];
    EXPECT_TRUE(formLocalDescriptor(buffer, sizeof buffer));
    EXPECT_FALSE(formLocalDescriptor(buffer, 175 + 27 - 1)) << "a buffer too small";
}

TEST(LocalConnectString, ConnectingUnderANameTooLongIsRefusedBeforeTheConnection) {
    setSid("ELEVENBYTES");
    try {
        connectInstance(false, nullptr);
        FAIL() << "nothing raised";
    } catch (const WriterFailureError& error) {
        EXPECT_EQ(error.code(), kEmptyInstanceNameFailure);
    }
}

TEST(LocalConnectString, AnEmptyNameIsAWriterFailure) {
    setSid("");
    char buffer[1024];
    try {
        makeLocalConnectString(buffer, sizeof buffer);
        FAIL() << "nothing raised";
    } catch (const WriterFailureError& error) {
        EXPECT_EQ(error.code(), kEmptyInstanceNameFailure);
        EXPECT_EQ(error.failure().line, 3782);
    }
}

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { vorlixHome(); }
    void TearDown() override {
        cleanupConversation();
        setCurrentSession(nullptr);
    }

    // The failure connectInstance raised, 0 when none.
    static std::uint32_t connectFailure(bool restoreSide, long* line = nullptr,
                                        SessionDetails* session = nullptr) {
        try {
            connectInstance(restoreSide, nullptr);
        } catch (const WriterFailureError& error) {
            if (line != nullptr) *line = error.failure().line;
            if (session != nullptr) *session = error.failure().session;
            return error.code();
        }
        return 0;
    }

    static int openModeOfSession() { return vcw_openmode(sequenceState().conversationSession); }
};

TEST_F(ConnectionTest, TheOpenModeFollowsTheInstanceState) {
    Instance db;
    db.makeCurrent();
    ASSERT_EQ(connectFailure(false), 0u);
    EXPECT_EQ(openModeOfSession(), OpenModeReadWrite);
    ASSERT_EQ(db.vlxsim("fail", "next 942 \"from v$database\""), 0u);
    EXPECT_EQ(openModeOfSession(), OpenModeReadWrite) << "942: open, the view hidden";
    ASSERT_EQ(db.vlxsim("fail", "next 1555 \"from v$database\""), 0u);
    EXPECT_EQ(openModeOfSession(), OpenModeOther);
    ASSERT_EQ(db.vlxsim("shutdown"), 0u);
    EXPECT_EQ(openModeOfSession(), OpenModeConnectionLost);
    EXPECT_EQ(sequenceState().conversationSession->openMode, OpenModeConnectionLost);

    ASSERT_EQ(db.vlxsim("startup", "mount"), 0u);
    ASSERT_EQ(connectFailure(false), 0u);
    EXPECT_EQ(openModeOfSession(), OpenModeMounted);
    ASSERT_EQ(db.vlxsim("shutdown"), 0u);
    ASSERT_EQ(db.vlxsim("startup", "readonly"), 0u);
    ASSERT_EQ(connectFailure(false), 0u);
    EXPECT_EQ(openModeOfSession(), OpenModeReadOnly);
}

TEST_F(ConnectionTest, TheBackupSideRefusesAnInstanceThatIsNotMountedWithItsErrorInTheReport) {
    Instance db(R"({"state": "down"})");
    db.makeCurrent();
    TraceCapture trace(TRC_MISC);
    long line = 0;
    SessionDetails details;
    EXPECT_EQ(connectFailure(false, &line, &details), kBackupRefusedFailure);
    EXPECT_EQ(line, 2676);
    VcwSession* session = sequenceState().conversationSession;
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(currentSession(), session) << "the failure took the failed session's details";
    EXPECT_EQ(session->openMode, OpenModeNotAvailable);
    EXPECT_THAT(details.pendingError, HasSubstr("VLX-01034"));
    EXPECT_FALSE(sequenceState().conversation);
    EXPECT_THAT(trace.text(), HasSubstr("\nError from database:\nVLX-01034"));

    ASSERT_EQ(db.vlxsim("status", "starting"), 0u);
    EXPECT_EQ(connectFailure(false), kBackupRefusedFailure);
    EXPECT_EQ(sequenceState().conversationSession->openMode, OpenModeStartingOrStopping);
}

TEST_F(ConnectionTest, TheRestoreSideGoesOnWithoutASessionWhenTheInstanceIsDownOrUnreachable) {
    Instance db(R"({"state": "down"})");
    db.makeCurrent();
    EXPECT_EQ(connectFailure(true), 0u);
    ASSERT_TRUE(sequenceState().conversation);
    EXPECT_EQ(sequenceState().conversationSession->openMode, OpenModeNotAvailable);
    EXPECT_EQ(sequenceState().conversationSession->serviceContext, nullptr);

    ASSERT_EQ(db.vlxsim("service", "stop"), 0u);
    EXPECT_EQ(connectFailure(true), 0u);
    EXPECT_EQ(sequenceState().conversationSession->openMode, OpenModeNoServer);
    ASSERT_EQ(db.vlxsim("service", "start"), 0u);

    ASSERT_EQ(db.vlxsim("status", "starting"), 0u);
    long line = 0;
    EXPECT_EQ(connectFailure(true, &line), kRestoreRefusedFailure);
    EXPECT_EQ(line, 2687);
}

TEST_F(ConnectionTest, AConversationBeginsNowAndReplacesOneLeftOver) {
    Instance db;
    db.makeCurrent();
    TraceCapture trace(TRC_MISC);
    FILETIME before;
    GetSystemTimeAsFileTime(&before);
    int filled = 0;
    connectInstance(false, [&] { ++filled; });
    ASSERT_TRUE(sequenceState().conversation);
    const std::uint64_t began = sequenceState().conversation->backupTime;
    EXPECT_GE(began, (std::uint64_t{before.dwHighDateTime} << 32 | before.dwLowDateTime) -
                         10000000u);  // within the clock's resolution
    EXPECT_EQ(filled, 1);

    connectInstance(false, [&] { ++filled; });
    EXPECT_EQ(filled, 2);
    EXPECT_NE(sequenceState().conversationSession, nullptr);
    EXPECT_THAT(trace.text(), HasSubstr("\nOngoing backup/restore converstation cleaned up"
                                        "\nconverstation cleaned up"
                                        "\nDisconnect database connection"));
}

TEST_F(ConnectionTest, AFailureWhileFillingEndsABackupButNotARestore) {
    Instance db;
    db.makeCurrent();
    const auto failingFill = [] { throw std::runtime_error("cannot read the database"); };
    EXPECT_THROW(connectInstance(false, failingFill), std::runtime_error);
    EXPECT_NO_THROW(connectInstance(true, failingFill));
    EXPECT_TRUE(sequenceState().conversation);
}

TEST_F(ConnectionTest, StartupUsesTheParameterFileSettingWhenThereIsOne) {
    Instance db(R"({"state": "down"})");
    db.makeCurrent();
    VcwEnvironment* environment = renewWriterEnvironment();
    ASSERT_NE(environment, nullptr);
    char descriptor[1024];
    makeLocalConnectString(descriptor, sizeof descriptor);
    const std::wstring setting = L"VLX_" + writerSettings().Sid + L"_PFILE";
    for (const wchar_t* parameterFile :
         {L"C:\\no\\such\\init.ora", static_cast<const wchar_t*>(nullptr)}) {
        SetEnvironmentVariableW(setting.c_str(), parameterFile);
        VcwSession* session = nullptr;
        ASSERT_EQ(vcw_con(environment, session, descriptor, true), 0) << session->last.errorText;
        EXPECT_EQ(session->sessionMode, kVcwSysdbaPreliminary);
        EXPECT_EQ(vcw_startup(session, 0, db.sid().c_str()), parameterFile != nullptr ? 1 : 0)
            << session->last.errorText;
        if (parameterFile != nullptr) {
            EXPECT_EQ(session->last.errorNumber, 1078);
        }
        vcw_dcon(session, false);
    }

    // Started without a mounted database: the connection works, the open mode query does not.
    ASSERT_EQ(connectFailure(false), 0u);
    EXPECT_EQ(openModeOfSession(), OpenModeNotMounted);
}

}  // namespace
}  // namespace snapscribe::testing
