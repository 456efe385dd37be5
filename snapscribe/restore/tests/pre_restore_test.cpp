// The pre-restore event through the requester: a selection the instance's
// state cannot take is refused before any file is put back.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "restore_harness.h"
#include "snapscribe/restore/recovery_text.h"

namespace snapscribe {
namespace {

using testing::BackupRun;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::RestoreHarness;

constexpr char kInstance[] = R"({
  "dbid": 5151, "logMode": "ARCHIVELOG", "state": "open",
  "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                  {"name": "USERS", "datafiles": ["users01.dbf", "users02.dbf"]}],
  "controlFiles": ["control01.ctl"], "logGroups": [["redo01.log"], ["redo02.log"]],
  "spfile": true, "archiveDests": ["arch"], "archivedLogs": 1,
  "snapshotControlFile": "SNCF.ORA"
})";

constexpr char kSucceeded[] = "succeeded; writer failure 0x00000000";
constexpr char kRefused[] = "failed; writer failure 0x800423F4";

using PreRestoreTest = testing::WriterEventTest;

// Each refused selection meets an instance in a state it cannot be restored
// into; the refusal comes before a single file is copied back.
TEST_F(PreRestoreTest, SelectionsTheInstanceStateCannotTakeAreRefused) {
    RestoreHarness harness(kInstance);
    const std::wstring datafile = harness.component(L"All TableSpaces\\USERS\\Datafile number=2");
    ASSERT_EQ(harness.backup(L"db", L"--type FULL" + harness.component(L"")).exitCode, 0u);
    ASSERT_EQ(
        harness.backup(L"spfile", L"--type FULL" + harness.component(L"Server Parameter File"))
            .exitCode,
        0u);
    ASSERT_EQ(harness.backup(L"cf", L"--type FULL" + harness.component(L"Control file")).exitCode,
              0u);
    ASSERT_EQ(harness.backup(L"df", L"--type FULL" + datafile).exitCode, 0u);
    const struct {
        const wchar_t* set;
        std::wstring selection;
        const char* state;
        std::uint32_t refusal;
    } cases[] = {
        {L"db", harness.component(L""), "open", kInstanceRunningRefusal},
        {L"spfile", harness.component(L"Server Parameter File"), "nomount",
         kInstanceRunningRefusal},
        {L"cf", harness.component(L"Control file"), "mount", kDatabaseMountedRefusal},
        {L"df", datafile, nullptr, kDatabaseNotMountedRefusal},
        {L"df", datafile, "nomount", kDatabaseNotMountedRefusal},
    };
    for (const auto& refused : cases) {
        // The instance is open as created; every later case starts from down.
        if (refused.refusal != kInstanceRunningRefusal || refused.state != std::string("open")) {
            harness.vlxsim("shutdown");
            if (refused.state != nullptr) {
                ASSERT_EQ(harness.vlxsim("startup", refused.state), 0u);
            }
        }
        harness.forgetEvents();
        const BackupRun run = harness.restore(refused.set, refused.selection);
        SCOPED_TRACE(testing::narrow(refused.set));
        EXPECT_EQ(run.exitCode, 2u) << run.output;
        EXPECT_THAT(run.eventLine("PreRestore"), HasSubstr(kRefused)) << run.output;
        EXPECT_THAT(run.output, Not(HasSubstr("copied"))) << run.output;
        EXPECT_THAT(harness.eventIds(), Contains(refused.refusal));
    }
}

// Data files with their control file may go back into an instance that is
// down; the same data files of an incremental backup are not checked at all.
TEST_F(PreRestoreTest, AcceptedSelectionsReachTheCopy) {
    RestoreHarness harness(kInstance);
    const std::wstring datafile = harness.component(L"All TableSpaces\\USERS\\Datafile number=2");
    ASSERT_EQ(harness.backup(L"full", L"--type FULL" + harness.component(L"")).exitCode, 0u);
    const BackupRun incremental =
        harness.backup(L"incr", L"--type INCREMENTAL --previous \"" + harness.setPath(L"full") +
                                    L"\"" + harness.component(L""));
    ASSERT_EQ(incremental.exitCode, 0u) << incremental.output;
    ASSERT_EQ(
        harness.backup(L"cfdf", L"--type FULL" + harness.component(L"Control file") + datafile)
            .exitCode,
        0u);

    harness.forgetEvents();
    const BackupRun unchecked = harness.restore(L"incr", harness.component(L""));
    EXPECT_THAT(unchecked.eventLine("PreRestore"), HasSubstr(kSucceeded)) << unchecked.output;
    EXPECT_THAT(harness.eventIds(), Not(Contains(kInstanceRunningRefusal)));

    harness.vlxsim("shutdown");
    const BackupRun withControlFile =
        harness.restore(L"cfdf", harness.component(L"Control file") + datafile);
    EXPECT_THAT(withControlFile.eventLine("PreRestore"), HasSubstr(kSucceeded))
        << withControlFile.output;
}

}  // namespace
}  // namespace snapscribe
