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

class BackupSequenceTest : public ::testing::Test {
protected:
    void SetUp() override { writerSettings().TlsIndex = TlsAlloc(); }
    void TearDown() override {
        TlsFree(writerSettings().TlsIndex);
        writerSettings().TlsIndex = kTlsOutOfIndexes;
    }
};

std::string narrow(const std::wstring& text) { return testing::narrow(text); }

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

}  // namespace
}  // namespace snapscribe
