// Whole backups of stand-in instances, driven by the requester as backup
// software drives them: the metadata, stamps and restore metadata left in
// the document, and the database's state afterwards.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "snapscribe/backup/tests/backup_harness.h"
#include "snapscribe/host/tests/host_test_support.h"

namespace snapscribe {
namespace {

using testing::BackupHarness;
using testing::BackupRun;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr char kHotInstance[] = R"({
  "dbid": 4242, "logMode": "ARCHIVELOG", "state": "open",
  "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                  {"name": "USERS", "datafiles": ["users01.dbf", "users02.dbf", "users03.dbf"]},
                  {"name": "DATA", "datafiles": ["data01.dbf"]}],
  "controlFiles": ["control01.ctl"], "logGroups": [["redo01.log"], ["redo02.log"]],
  "spfile": true, "archiveDests": ["arch"], "recoveryArea": "fra", "archivedLogs": 2,
  "snapshotControlFile": "SNCF.ORA"
})";

using BackupSequenceTest = testing::WriterEventTest;

std::string narrow(const std::wstring& text) { return testing::narrow(text); }
std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool matches(const std::string& text, const char* pattern) {
    return std::regex_match(text, std::regex(pattern));
}

// Entries of an archived-log list: the units between one header and the next.
struct ListedLog {
    std::string name, first, next, payload;
};

std::vector<ListedLog> listedLogs(const std::wstring& list) {
    std::vector<ListedLog> logs;
    // The payload units hold two base64 characters each, low byte first.
    const std::wregex header(L";FILENAME=([^;]*);FIRST_SCN=([^;]*);NEXT_SCN=([^;]*);DATA=");
    auto begin = std::wsregex_iterator(list.begin(), list.end(), header);
    for (auto match = begin; match != std::wsregex_iterator(); ++match) {
        ListedLog log{narrow((*match)[1]), narrow((*match)[2]), narrow((*match)[3]), {}};
        const std::size_t start = match->position() + match->length();
        const std::size_t end = list.find(L';', start);
        for (std::size_t at = start; at < std::min(end, list.size()); ++at) {
            log.payload.push_back(static_cast<char>(list[at] & 0xFF));
            log.payload.push_back(static_cast<char>(list[at] >> 8));
        }
        logs.push_back(log);
    }
    return logs;
}

TEST_F(BackupSequenceTest, AHotFullBackupCarriesTheArchivedLogsSinceItsCheckpoint) {
    BackupHarness harness(kHotInstance);
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun run = harness.backup(
        L"full", L"--type FULL" + harness.component(L"",
                                                    L"PRE_SQLCMD=alter system checkpoint;"
                                                    L"POST_SQLCMD=alter system switch logfile"));
    ASSERT_EQ(run.exitCode, 0u) << run.output;

    const testing::SavedComponent* database = run.component(L"Vorlix Database");
    ASSERT_NE(database, nullptr) << run.output;
    const std::string folder = harness.folder();
    ASSERT_TRUE(database->backupMetadata) << run.output << trace.text();
    const std::string metadata = narrow(*database->backupMetadata);
    EXPECT_TRUE(matches(metadata,
                        "DBID=4242;BACKUP_TYPE=FULL;CHECKPOINT=[0-9]+;Hot database backup - "
                        "Needs recovery to open;CFFILE=.*SNCF.ORA(;DIRECTORY=[^;]+)+"))
        << metadata;
    ASSERT_TRUE(database->backupStamp);
    EXPECT_TRUE(matches(narrow(*database->backupStamp), "FILETIME=[0-9]+,[0-9]+;"));

    ASSERT_TRUE(database->restoreMetadata);
    const std::vector<ListedLog> logs = listedLogs(*database->restoreMetadata);
    ASSERT_FALSE(logs.empty()) << narrow(database->restoreMetadata->substr(0, 200));
    const std::string archived =
        harness.query("select name, first_change#, next_change# from v$archived_log");
    for (const ListedLog& log : logs) {
        EXPECT_EQ(testing::platformBase64Decode(log.payload), testing::fileBytes(log.name))
            << log.name;
        EXPECT_THAT(archived, HasSubstr(log.name + "\t" + log.first + "\t" + log.next)) << archived;
    }
    EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

constexpr char kSucceeded[] = "succeeded; writer failure 0x00000000";

TEST_F(BackupSequenceTest, FreezeTakesEachTablespaceIntoBackupModeOnceAndThawEndsIt) {
    BackupHarness harness(kHotInstance);
    testing::EventRecorder events;
    testing::TraceCapture trace(0xFFFFFFFF);
    std::wstring options = L"PRE_SQLCMD=alter system checkpoint;POST_WTRCMD=NORECOVER";
    for (int i = 0; i < 21; ++i) options += L";PRE_WTRCMD=note " + std::to_wstring(i);
    options += L";PRE_SQLCMD=" + std::wstring(600, L'x');
    const BackupRun run = harness.backup(L"full", L"--type FULL" + harness.component(L"", options) +
                                                      harness.component(L"Flash Recovery Area"));
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const std::string text = trace.text();
    for (const char* tablespace : {"SYSTEM", "USERS", "DATA"}) {
        EXPECT_EQ(
            occurrences(text, std::string("ALTER TABLESPACE ") + tablespace + " BEGIN BACKUP"), 1u)
            << tablespace;
        EXPECT_EQ(occurrences(text, std::string("ALTER TABLESPACE ") + tablespace + " END BACKUP"),
                  1u)
            << tablespace;
    }
    // Commands run in their events; the 21st of a key and an overlong one never.
    EXPECT_EQ(occurrences(text, "Executing SQL command : [alter system checkpoint]"), 1u);
    EXPECT_THAT(text, HasSubstr("Ignoring : note 20"));
    EXPECT_EQ(occurrences(text, "Processing pre writer command=note"), 20u);
    EXPECT_THAT(text, HasSubstr("Refusing PRE_SQLCMD= command of 600 characters"));
    EXPECT_THAT(text, Not(HasSubstr("Executing SQL command : [xxx")));
    EXPECT_EQ(occurrences(text, "alter system archive log current"), 2u);
    EXPECT_EQ(occurrences(text, "cFileMakeAndUseSnapShot"), 1u);

    // The recovery area's stamp says "never", so the next incremental takes all of it.
    const testing::SavedComponent* area = run.component(L"Flash Recovery Area");
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->backupStamp, L"FILETIME=0,0;");
    EXPECT_EQ(area->restoreMetadata, L"RESTORABLE=TRUE");
    EXPECT_EQ(area->backupMetadata,
              L";Database files backup, no files from this component must be backed/restored");

    std::vector<std::wstring> completed;
    for (const ReportedEvent& event : events.events) {
        if (event.id == 0x4FFF100B)
            completed.push_back(event.strings.at(1) + L"/" + event.strings.at(2));
    }
    EXPECT_THAT(completed, ElementsAre(L"Vorlix Database/FULL", L"Flash Recovery Area/FULL"));
    EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());
}

// INCREMENTAL and DIFFERENTIAL differ only in the type their metadata names:
// both take the recovery area's files changed since the previous stamp.
class LogTypeAfterFullTest : public testing::WriterEventTest,
                             public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(LogTypeAfterFullTest, TakesLogsOnlyAgainstThePreviousStampsAndLeavesTheDatabaseAlone) {
    const std::wstring type = GetParam();
    BackupHarness harness(kHotInstance);
    const std::wstring selection =
        harness.component(L"") + harness.component(L"Flash Recovery Area");
    const BackupRun full = harness.backup(L"full", L"--type FULL" + selection);
    ASSERT_EQ(full.exitCode, 0u) << full.output;
    const testing::SavedComponent* fullDatabase = full.component(L"Vorlix Database");
    ASSERT_TRUE(fullDatabase != nullptr && fullDatabase->backupStamp) << full.output;
    const std::wstring fullStamp = *fullDatabase->backupStamp;
    ASSERT_EQ(harness.instance().vlxsim("switch", "1"), 0u);

    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun run = harness.backup(L"next", L"--type " + type + L" --previous \"" +
                                                      harness.setPath(L"full") + L"\"" + selection);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const testing::SavedComponent* database = run.component(L"Vorlix Database");
    ASSERT_NE(database, nullptr);
    EXPECT_EQ(database->backupMetadata,
              L"DBID=4242;BACKUP_TYPE=" + type + L";Top level component selected for Log backups");
    EXPECT_EQ(database->restoreMetadata, L"RESTORABLE=TRUE");
    EXPECT_TRUE(database->backupStamp && database->backupStamp != L"FILETIME=0,0;");
    EXPECT_NE(database->backupStamp, fullStamp);
    const testing::SavedComponent* area = run.component(L"Flash Recovery Area");
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->backupMetadata,
              L"DBID=4242;BACKUP_TYPE=" + type + L";Recovery Area files backup");
    EXPECT_TRUE(area->backupStamp && area->backupStamp != L"FILETIME=0,0;");

    const std::string text = trace.text();
    // The files are differenced against the stamps the full backup left:
    // the recovery area's full stamp asks for all of its files.
    EXPECT_THAT(text, HasSubstr("Backup Stamp Get=[" + narrow(fullStamp) +
                                "] for component Vorlix Database"));
    EXPECT_THAT(text,
                HasSubstr("Backup Stamp Get=[FILETIME=0,0;] for component Flash Recovery Area"));
    EXPECT_THAT(text, Not(HasSubstr("BEGIN BACKUP")));
    EXPECT_THAT(text, Not(HasSubstr("cFileMakeAndUseSnapShot")));
    EXPECT_THAT(text, Not(HasSubstr("bctswitch")));
    // The newest recovery-area log is recorded as backed up, then aged files refreshed.
    EXPECT_THAT(text, HasSubstr("RTYP_ARCHIVED_LOG"));
    EXPECT_THAT(harness.state(), HasSubstr("\"agedFileRefreshes\": 1"));
    EXPECT_THAT(harness.state(), HasSubstr("\"backedUp\": true"));
}

INSTANTIATE_TEST_SUITE_P(IncrementalAndDifferential, LogTypeAfterFullTest,
                         ::testing::Values(L"INCREMENTAL", L"DIFFERENTIAL"),
                         [](const auto& info) { return testing::narrow(info.param); });

TEST_F(BackupSequenceTest, ALogBackupRecordsTheNewestRecoveryAreaFilesAndRefreshesAgedOnes) {
    BackupHarness harness(R"({"dbid": 77, "logMode": "ARCHIVELOG", "state": "open",
        "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]}],
        "archiveDests": ["arch"], "recoveryArea": "fra", "archivedLogs": 2,
        "backupPieces": ["bp1.bkp"]})");
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun run =
        harness.backup(L"log", L"--type LOG" + harness.component(L"Flash Recovery Area"));
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const testing::SavedComponent* area = run.component(L"Flash Recovery Area");
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->backupStamp, std::nullopt);
    EXPECT_EQ(area->restoreMetadata, L"RESTORABLE=TRUE");
    const std::string text = trace.text();
    const std::size_t log = text.find("RTYP_ARCHIVED_LOG");
    const std::size_t piece = text.find("RTYP_BACKUP_PIECE");
    const std::size_t refresh = text.find("refreshAgedFiles");
    EXPECT_LT(log, piece);
    EXPECT_LT(piece, refresh);
    EXPECT_THAT(text, Not(HasSubstr("RTYP_DFILE_COPY")));
    const std::string state = harness.state();
    EXPECT_THAT(state, HasSubstr("\"agedFileRefreshes\": 1"));
    EXPECT_EQ(occurrences(state, "\"backedUp\": true"), 2u) << state;
}

TEST_F(BackupSequenceTest, AVolumeBasedBackupTakesTheDatafilesOnItsVolumesOnly) {
    BackupHarness harness(R"({"logMode": "ARCHIVELOG", "state": "open",
        "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                        {"name": "USERS", "datafiles": ["vol2\\users01.dbf"]}],
        "archiveDests": ["arch"], "archivedLogs": 1})");
    testing::EventRecorder events;
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun run = harness.backup(
        L"volume", L"--type FULL --volume \"" + widen(harness.folder()) + L"\\vol2\"");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    const std::string text = trace.text();
    EXPECT_THAT(text, HasSubstr("users01.dbf is included in snapshot"));
    EXPECT_THAT(text, HasSubstr("system01.dbf is not included in snapshot"));
    EXPECT_THAT(text, HasSubstr("ALTER TABLESPACE USERS BEGIN BACKUP"));
    EXPECT_THAT(text, Not(HasSubstr("ALTER TABLESPACE SYSTEM BEGIN BACKUP")));
    EXPECT_THAT(text, Not(HasSubstr("cFileMakeAndUseSnapShot")));
    for (const testing::SavedComponent& component : run.components) {
        EXPECT_EQ(component.backupMetadata, std::nullopt) << testing::narrow(component.name);
        EXPECT_EQ(component.restoreMetadata, std::nullopt) << testing::narrow(component.name);
    }
    std::vector<std::uint32_t> ids;
    for (const ReportedEvent& event : events.events) ids.push_back(event.id);
    EXPECT_THAT(ids, ElementsAre(0x4FFF100Au));
    EXPECT_THAT(harness.tablespacesInBackupMode(), IsEmpty());
}

TEST_F(BackupSequenceTest, OnlyTheSelectedDatafileTakesPartAndSharedListsAreBuiltOnce) {
    BackupHarness harness(kHotInstance);
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun one = harness.backup(
        L"one", L"--type FULL" + harness.component(L"All TableSpaces\\USERS\\Datafile number=3"));
    ASSERT_EQ(one.exitCode, 0u) << one.output;
    std::string text = trace.text();
    EXPECT_THAT(text, HasSubstr("users02.dbf is included in snapshot"));
    EXPECT_THAT(text, HasSubstr("users01.dbf is not included in snapshot"));
    EXPECT_THAT(text, HasSubstr("SNCF.ORA is not included in snapshot"));
    EXPECT_EQ(occurrences(text, "BEGIN BACKUP"), 1u);
    const testing::SavedComponent* datafile = one.component(L"Datafile number=3");
    ASSERT_NE(datafile, nullptr);
    EXPECT_EQ(datafile->backupMetadata, L"DBID=4242;BACKUP_TYPE=FULL");
    EXPECT_EQ(datafile->restoreMetadata, L"RESTORABLE=TRUE");

    const BackupRun both =
        harness.backup(L"both", L"--type FULL" + harness.component(L"Control file") +
                                    harness.component(L"All TableSpaces") + harness.component(L""));
    ASSERT_EQ(both.exitCode, 0u) << both.output;
    const testing::SavedComponent* all = both.component(L"All TableSpaces");
    const testing::SavedComponent* database = both.component(L"Vorlix Database");
    const testing::SavedComponent* control = both.component(L"Control file");
    ASSERT_TRUE(all && database && control);
    EXPECT_EQ(all->restoreMetadata, database->restoreMetadata);
    EXPECT_NE(all->restoreMetadata, L"RESTORABLE=TRUE");
    EXPECT_EQ(control->restoreMetadata, L"RESTORABLE=TRUE");
    EXPECT_TRUE(matches(narrow(control->backupMetadata.value_or(L"")),
                        "DBID=4242;CFTYPE=BACKUP;BACKUP_TYPE=FULL;CFFILE=.*SNCF.ORA"));
    text = trace.text();
    EXPECT_EQ(occurrences(text, "Restore Metadata set for component"), 2u);
    EXPECT_EQ(occurrences(text, "Database checkpoint is:"), 1u);
}

}  // namespace
}  // namespace snapscribe
