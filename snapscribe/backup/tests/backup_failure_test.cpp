// Backups that go wrong: an abort in the middle, statements the database
// refuses at every step of the backup path, and the developer options that
// fail or stall events on purpose. However a sequence ends, no tablespace
// stays in hot backup mode and the writer serves the next backup.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "snapscribe/backup/tests/backup_harness.h"
#include "snapscribe/host/tests/host_test_support.h"

namespace snapscribe {
namespace {

using testing::BackupHarness;
using testing::BackupRun;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr char kThreeTablespaces[] = R"({
  "dbid": 4242, "logMode": "ARCHIVELOG", "state": "open",
  "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                  {"name": "USERS", "datafiles": ["users01.dbf", "users02.dbf"]},
                  {"name": "DATA", "datafiles": ["data01.dbf"]}],
  "archiveDests": ["arch"], "recoveryArea": "fra", "archivedLogs": 1
})";

constexpr char kSucceeded[] = "succeeded; writer failure 0x00000000";
constexpr char kWriterFailed[] = "failed; writer failure 0x800423F4";

using BackupFailureTest = testing::WriterEventTest;

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<std::uint32_t> failureCodes(const testing::EventRecorder& recorder) {
    std::vector<std::uint32_t> codes;
    for (const ReportedEvent& event : recorder.events) {
        if ((event.id & 0xFFFF0000) == 0xCFFF0000) codes.push_back(event.id);
    }
    return codes;
}

TEST_F(BackupFailureTest, AnAbortAfterFreezeEndsBackupModeOfEveryTablespace) {
    BackupHarness harness(kThreeTablespaces);
    std::vector<std::string> duringFreeze;
    harness.beforeEvents([&](Phase phase) {
        if (phase == PhaseAbort) duringFreeze = harness.tablespacesInBackupMode();
    });
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun run =
        harness.backup(L"aborted", L"--type FULL --abort-after Freeze" + harness.component(L""));
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    EXPECT_THAT(run.eventLine("Abort"), HasSubstr(kSucceeded)) << run.output;
    EXPECT_THAT(run.eventLine("BackupShutdown"), HasSubstr(kSucceeded)) << run.output;
    EXPECT_THAT(duringFreeze, ::testing::ElementsAre("SYSTEM", "USERS", "DATA"));
    const std::string text = trace.text();
    for (const char* tablespace : {"SYSTEM", "USERS", "DATA"}) {
        EXPECT_EQ(occurrences(text, std::string("ALTER TABLESPACE ") + tablespace + " END BACKUP"),
                  1u)
            << tablespace;
    }
    EXPECT_THAT(text, HasSubstr("converstation cleaned up"));
    EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());
}

TEST_F(BackupFailureTest, AFailedBeginBackupLeavesNoTablespaceInBackupModeAfterAbort) {
    BackupHarness harness(kThreeTablespaces);
    testing::EventRecorder events;
    ASSERT_EQ(harness.instance().vlxsim("fail", "next 1652 \"DATA BEGIN BACKUP\""), 0u);
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun run = harness.backup(L"failed", L"--type FULL" + harness.component(L""));
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_THAT(run.eventLine("Freeze"), HasSubstr(kWriterFailed)) << run.output;
    EXPECT_THAT(run.eventLine("Abort"), HasSubstr(kSucceeded)) << run.output;
    EXPECT_THAT(failureCodes(events), ::testing::ElementsAre(0xCFFF0030u));
    const std::string text = trace.text();
    // The failure took the session; the abort connects again to end backup mode.
    EXPECT_THAT(text, HasSubstr("Connecting again"));
    EXPECT_THAT(text, HasSubstr("ALTER TABLESPACE SYSTEM END BACKUP"));
    EXPECT_THAT(text, HasSubstr("ALTER TABLESPACE USERS END BACKUP"));
    EXPECT_THAT(text, Not(HasSubstr("ALTER TABLESPACE DATA END BACKUP")));
    EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());

    const BackupRun next = harness.backup(L"next", L"--type FULL" + harness.component(L""));
    EXPECT_EQ(next.exitCode, 0u) << next.output;
}

TEST_F(BackupFailureTest, AnInconsistentDatabaseWithoutArchivedLogsIsRefused) {
    BackupHarness harness(R"({"logMode": "NOARCHIVELOG", "state": "open",
        "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]}]})");
    testing::EventRecorder events;
    const BackupRun run = harness.backup(L"refused", L"--type FULL" + harness.component(L""));
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_THAT(run.eventLine("PrepareBackup"), HasSubstr(kWriterFailed)) << run.output;
    EXPECT_THAT(failureCodes(events), ::testing::ElementsAre(0xCFFF002Cu));
}

TEST_F(BackupFailureTest, AConsistentMountedDatabaseNeedsNoRecovery) {
    BackupHarness harness(R"({"dbid": 9, "logMode": "NOARCHIVELOG", "state": "mounted",
        "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]}]})");
    const BackupRun run = harness.backup(L"cold", L"--type FULL" + harness.component(L""));
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const testing::SavedComponent* database = run.component(L"Vorlix Database");
    ASSERT_NE(database, nullptr);
    ASSERT_TRUE(database->backupMetadata);
    EXPECT_THAT(
        testing::narrow(*database->backupMetadata),
        HasSubstr(";Consistent database backup - No recovery required to open;NORECOVER=1"));
    EXPECT_EQ(database->restoreMetadata, L"RESTORABLE=TRUE");
}

TEST_F(BackupFailureTest, ALogModeChangedDuringTheBackupFailsThaw) {
    BackupHarness harness(kThreeTablespaces);
    testing::EventRecorder events;
    harness.beforeEvents([&](Phase phase) {
        if (phase == PhaseThaw) harness.instance().vlxsim("logmode", "noarchivelog");
    });
    const BackupRun run = harness.backup(L"switched", L"--type FULL" + harness.component(L""));
    EXPECT_THAT(run.eventLine("Thaw"), HasSubstr(kWriterFailed)) << run.output;
    EXPECT_THAT(failureCodes(events), ::testing::ElementsAre(0xCFFF0033u));
    EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());
}

TEST_F(BackupFailureTest, AHotBackupFindingNoArchivedLogAfterItsCheckpointFailsPostSnapshot) {
    // One archive destination: once it is invalid, the log list's query
    // finds no log newer than the checkpoint.
    BackupHarness harness(R"({"dbid": 4242, "logMode": "ARCHIVELOG", "state": "open",
        "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                        {"name": "USERS", "datafiles": ["users01.dbf"]}],
        "archiveDests": ["arch"], "archivedLogs": 1})");
    harness.beforeEvents([&](Phase phase) {
        if (phase == PhasePostSnapshot) harness.instance().vlxsim("dest", "1 ERROR");
    });
    testing::EventRecorder events;
    const BackupRun run = harness.backup(L"nolog", L"--type FULL" + harness.component(L""));
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_THAT(run.eventLine("Thaw"), HasSubstr(kSucceeded)) << run.output;
    EXPECT_THAT(run.eventLine("PostSnapshot"), HasSubstr(kWriterFailed)) << run.output;
    EXPECT_THAT(run.eventLine("Abort"), HasSubstr(kSucceeded)) << run.output;
    ASSERT_THAT(failureCodes(events), ::testing::ElementsAre(0xCFFF1000u));
    for (const ReportedEvent& event : events.events) {
        if (event.id == 0xCFFF1000u) {
            EXPECT_THAT(event.strings, ::testing::Contains(L"Must-addedRedo-to-Restore-Metadata"));
        }
    }
    EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());

    harness.beforeEvents(nullptr);
    ASSERT_EQ(harness.instance().vlxsim("dest", "1 VALID"), 0u);
    const BackupRun next = harness.backup(L"next", L"--type FULL" + harness.component(L""));
    EXPECT_EQ(next.exitCode, 0u) << next.output;
    const testing::SavedComponent* database = next.component(L"Vorlix Database");
    ASSERT_NE(database, nullptr);
    EXPECT_THAT(testing::narrow(database->restoreMetadata.value_or(L"")), HasSubstr("FILENAME="));
}

TEST_F(BackupFailureTest, TheDeveloperOptionsFailOnePhaseAndStallEveryEvent) {
    BackupHarness harness(kThreeTablespaces);
    writerSettings().FailPhase = PhaseFreeze;
    {
        testing::TraceCapture trace(0xFFFFFFFF);
        const BackupRun failed = harness.backup(L"fp", L"--type FULL" + harness.component(L""));
        EXPECT_EQ(failed.exitCode, 2u) << failed.output;
        // The event fails without marking the writer failed.
        EXPECT_THAT(failed.eventLine("Freeze"), HasSubstr("failed; writer failure 0x00000000"))
            << failed.output;
        EXPECT_THAT(trace.text(), HasSubstr("Received event - Freeze () - FAILED "));
        EXPECT_THAT(trace.text(), Not(HasSubstr("BEGIN BACKUP")));
        EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());
    }

    writerSettings().FailPhase = PhaseNone;
    writerSettings().HangEnabled = true;
    writerSettings().HangMillis = 1000;
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun stalled = harness.backup(L"h", L"--type FULL" + harness.component(L""));
    EXPECT_EQ(stalled.exitCode, 0u) << stalled.output;
    // Every event from identify to backup complete, which closes the trace.
    EXPECT_EQ(occurrences(trace.text(), "Sleeping 1 seconds"), 7u);
    EXPECT_EQ(occurrences(trace.text(), "Wake up."), 7u);
}

}  // namespace
}  // namespace snapscribe
