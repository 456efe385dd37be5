// One hot full backup per statement of the backup path, with only that
// statement refused by the database: the failure code or the documented
// carrying on, the writer's answer to the requester, no tablespace left in
// hot backup mode, and the writer serving the next backup.

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

constexpr char kInstance[] = R"({
  "dbid": 4242, "logMode": "ARCHIVELOG", "state": "open",
  "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                  {"name": "USERS", "datafiles": ["users01.dbf", "users02.dbf"]},
                  {"name": "DATA", "datafiles": ["data01.dbf"]}],
  "spfile": true, "archiveDests": ["arch"], "recoveryArea": "fra", "archivedLogs": 1
})";

// How the database refuses: the first such statement of the event, every
// one, or the closing of the first one's cursor after its rows were read.
enum class Refusal { First, Every, Close };

struct Fault {
    Phase event;        // the event before which the failure is armed
    const char* match;  // a fragment of the statement
    Refusal refusal;
    std::uint32_t code;  // the writer failure, 0 when the backup carries on
    const char* failingLine;
    const char* atThaw = nullptr;             // refused at thaw first, so that an abort follows
    const wchar_t* spfileMetadata = nullptr;  // what the parameter file's metadata then says
};

// Every statement the writer sends on a hot full backup of the database.
constexpr Fault kFaults[] = {
    {PhasePrepareForBackup, "select open_mode from v$database", Refusal::First, 0, nullptr},
    {PhasePrepareForBackup, "MREnabled FROM V$DATABASE", Refusal::First, 0xCFFF000F,
     "PrepareBackup"},
    {PhasePrepareForBackup, "count(fuzzy) fuzzycnt", Refusal::First, 0xCFFF0021, "PrepareBackup"},
    {PhasePrepareForBackup, "select controlfile_type", Refusal::First, 0xCFFF002B, "PrepareBackup"},
    {PhasePrepareForBackup, "SELECT DBID FROM V$DATABASE", Refusal::First, 0, nullptr},
    {PhasePrepareForBackup, "bctswitch", Refusal::First, 0, nullptr},
    {PhasePrepareForBackup, "select checkpoint_change#", Refusal::First, 0xCFFF002F,
     "PrepareBackup"},
    {PhasePrepareForBackup, "SNAPSHOT_NAME", Refusal::First, 0xCFFF0010, "PrepareBackup"},
    {PhasePrepareForBackup, "lower(name)='db_name'", Refusal::First, 0, nullptr, nullptr,
     L"DB_NAME=;BACKUP_TYPE=FULL;DIRECTORY="},
    {PhasePrepareForBackup, "directory from v$parameter", Refusal::First, 0xCFFF0019,
     "PrepareBackup"},
    {PhasePrepareForBackup, "directory from v$parameter", Refusal::Close, 0xCFFF0015,
     "PrepareBackup"},
    {PhasePrepareForSnapshot, "from v$datafile_header df", Refusal::First, 0xCFFF0040,
     "PrepareSnapshot"},
    {PhasePrepareForSnapshot, "SNAPSHOT_NAME", Refusal::First, 0xCFFF0010, "PrepareSnapshot"},
    {PhaseFreeze, "alter system checkpoint", Refusal::First, 0xCFFF0043, "Freeze"},
    {PhaseFreeze, "archive log current", Refusal::First, 0xCFFF002E, "Freeze"},
    {PhaseFreeze, "select checkpoint_change#", Refusal::First, 0xCFFF002F, "Freeze"},
    {PhaseFreeze, "SYSTEM BEGIN BACKUP", Refusal::First, 0xCFFF0030, "Freeze"},
    {PhaseFreeze, "USERS BEGIN BACKUP", Refusal::First, 0xCFFF0030, "Freeze"},
    {PhaseFreeze, "DATA BEGIN BACKUP", Refusal::First, 0xCFFF0030, "Freeze"},
    {PhaseFreeze, "cFileMakeAndUseSnapShot", Refusal::First, 0xCFFF0031, "Freeze"},
    {PhaseThaw, "SYSTEM END BACKUP", Refusal::First, 0xCFFF0032, "Thaw"},
    {PhaseThaw, "DATA END BACKUP", Refusal::First, 0xCFFF0032, "Thaw"},
    {PhaseThaw, "MREnabled FROM V$DATABASE", Refusal::First, 0xCFFF000F, "Thaw"},
    {PhaseThaw, "archive log current", Refusal::First, 0xCFFF002E, "Thaw"},
    {PhaseThaw, "alter system switch logfile", Refusal::First, 0xCFFF0043, "Thaw"},
    {PhasePostSnapshot, "valid_now='YES'", Refusal::First, 0, nullptr},
    {PhasePostSnapshot, "from v$archived_log where next_change#", Refusal::Every, 0xCFFF0034,
     "PostSnapshot"},
    {PhasePostSnapshot, "from v$archived_log where next_change#", Refusal::Close, 0xCFFF0015,
     "PostSnapshot"},
    {PhaseAbort, "END BACKUP", Refusal::First, 0xCFFF0032, "Thaw", "USERS END BACKUP"},
};

const char* eventName(Phase phase) {
    switch (phase) {
        case PhasePrepareForBackup: return "PrepareBackup";
        case PhasePrepareForSnapshot: return "PrepareSnapshot";
        case PhaseFreeze: return "Freeze";
        case PhaseThaw: return "Thaw";
        case PhasePostSnapshot: return "PostSnapshot";
        case PhaseAbort: return "Abort";
        default: return "?";
    }
}

std::string hex(std::uint32_t code) {
    if (code == 0) return "carries on";
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}

void arm(const testing::Instance& instance, const Fault& fault) {
    const std::string match = std::string("\"") + fault.match + "\"";
    if (fault.refusal == Refusal::Close) {
        instance.vlxsim("fail-close", match);
    } else {
        instance.vlxsim("fail",
                        (fault.refusal == Refusal::Every ? "every 604 " : "next 604 ") + match);
    }
}

std::string refused(const Fault& fault) {
    return (fault.refusal == Refusal::Close ? "close of " : "") + std::string(fault.match);
}

using BackupSweepTest = testing::WriterEventTest;

TEST_F(BackupSweepTest, EveryStatementOfTheBackupPathFailsCleanly) {
    BackupHarness harness(kInstance);
    const std::wstring selection = L"--type FULL" +
                                   harness.component(L"",
                                                     L"PRE_SQLCMD=alter system checkpoint;"
                                                     L"POST_SQLCMD=alter system switch logfile") +
                                   harness.component(L"Flash Recovery Area") +
                                   harness.component(L"Server Parameter File");
    std::printf("%-16s %-51s %-12s %-12s %-24s %s\n", "event", "statement refused", "expected",
                "reported", "requester saw", "in backup mode after");
    int run = 0;
    for (const Fault& fault : kFaults) {
        bool thawArmed = fault.atThaw == nullptr;
        bool armed = false;
        harness.beforeEvents([&](Phase phase) {
            if (!thawArmed && phase == PhaseThaw) {
                harness.instance().vlxsim("fail", std::string("next 604 \"") + fault.atThaw + "\"");
                thawArmed = true;
            }
            if (armed || phase != fault.event) return;
            arm(harness.instance(), fault);
            armed = true;
        });
        testing::EventRecorder events;
        const BackupRun result = harness.backup(L"run" + std::to_wstring(run++), selection);
        harness.beforeEvents(nullptr);
        harness.instance().vlxsim("clear-failures");

        std::uint32_t reported = 0;
        for (const ReportedEvent& event : events.events) {
            if ((event.id & 0xFFFF0000) == 0xCFFF0000 && reported == 0) reported = event.id;
        }
        const std::vector<std::string> left = harness.tablespacesInBackupMode();
        std::string leftText;
        for (const std::string& name : left) leftText += name + " ";
        const bool writerFailed =
            fault.failingLine != nullptr &&
            result.eventLine(fault.failingLine).find("failed; writer failure 0x800423F4") !=
                std::string::npos;
        const char* answer = writerFailed           ? "writer failed 0x800423F4"
                             : result.exitCode == 0 ? "all succeeded"
                                                    : "something else";
        std::printf("%-16s %-51s %-12s %-12s %-24s %s\n", eventName(fault.event),
                    refused(fault).c_str(), hex(fault.code).c_str(), hex(reported).c_str(), answer,
                    leftText.empty() ? "none" : leftText.c_str());
        std::fflush(stdout);
        if (fault.spfileMetadata != nullptr) {
            const testing::SavedComponent* spfile = result.component(L"Server Parameter File");
            ASSERT_NE(spfile, nullptr) << result.output;
            EXPECT_EQ(spfile->backupMetadata.value_or(L"").rfind(fault.spfileMetadata, 0), 0u)
                << testing::narrow(spfile->backupMetadata.value_or(L""));
        }

        EXPECT_TRUE(armed) << fault.match;
        EXPECT_EQ(reported, fault.code) << fault.match << "\n" << result.output;
        if (fault.failingLine == nullptr) {
            EXPECT_EQ(result.exitCode, 0u) << fault.match << "\n" << result.output;
        } else {
            EXPECT_EQ(result.exitCode, 2u) << fault.match << "\n" << result.output;
            EXPECT_THAT(result.eventLine(fault.failingLine),
                        HasSubstr("failed; writer failure 0x800423F4"))
                << fault.match << "\n"
                << result.output;
        }
        EXPECT_TRUE(left.empty()) << fault.match << "\n" << result.output;
    }
    const BackupRun clean = harness.backup(L"clean", selection);
    EXPECT_EQ(clean.exitCode, 0u) << clean.output;
    EXPECT_TRUE(harness.tablespacesInBackupMode().empty());
}

}  // namespace
}  // namespace snapscribe
