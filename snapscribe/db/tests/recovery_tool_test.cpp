// The conversation with the recovery tool through the database pipes.

#include "snapscribe/db/recovery_tool.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db_test_support.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/backup/conversation.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe::testing {
namespace {

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

class RecoveryToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        vorlixHome();
        setToolWaitsForTesting({200, 300, 300, 60000});
    }
    void TearDown() override {
        cleanupConversation();
        setCurrentSession(nullptr);
        setToolWaitsForTesting({});
    }
};

TEST_F(RecoveryToolTest, WithoutTheInstallationHomeNoCommandRuns) {
    Instance db;
    db.makeCurrent();
    connectInstance(false, nullptr);
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
