// The post-restore event through the requester, on backup sets the writer
// made: what reached the recovery tool, the event that tells the outcome,
// and whether the database then opens with the rows it should hold.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "restore_harness.h"
#include "snapscribe/restore/recovery_text.h"
#include "snapscribe/restore/restore_metadata_reader.h"
#include "snapscribe/restore/restore_events.h"

namespace snapscribe {
namespace {

using testing::BackupRun;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::RestoreHarness;

constexpr char kInstance[] = R"({
  "dbid": 6161, "logMode": "ARCHIVELOG", "state": "open",
  "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                  {"name": "USERS", "datafiles": ["users01.dbf", "users02.dbf"]},
                  {"name": "DATA", "datafiles": ["data01.dbf"]}],
  "controlFiles": ["control01.ctl"], "logGroups": [["redo01.log"], ["redo02.log"]],
  "spfile": true, "archiveDests": ["arch"], "archivedLogs": 1,
  "snapshotControlFile": "SNCF.ORA",
  "tables": [{"name": "PARCELS", "columns": ["ID", "NOTE"], "tablespace": "USERS",
              "rows": [["1", "before the backup"]]}]
})";

constexpr char kSucceeded[] = "succeeded; writer failure 0x00000000";
constexpr std::uint32_t kGeneralFailure = 0xCFFF1000;

using PostRestoreTest = testing::WriterEventTest;

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The highest NEXT_SCN of a restore metadata text: the incomplete
// recovery's target.
std::string highestNextChange(const std::wstring& restoreMetadata) {
    unsigned long long highest = 0;
    const std::wregex next(L"NEXT_SCN=([0-9]+)");
    for (auto match = std::wsregex_iterator(restoreMetadata.begin(), restoreMetadata.end(), next);
         match != std::wsregex_iterator(); ++match) {
        highest = std::max(highest, std::stoull((*match)[1].str()));
    }
    return std::to_string(highest);
}

void removeFiles(const std::string& pattern, const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileA((folder + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::vector<std::string> withPrefix(const std::vector<std::string>& lines,
                                    const std::string& prefix) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0) kept.push_back(line);
    }
    return kept;
}

constexpr char kBackupRows[] = "1\tbefore the backup\n";
constexpr char kAllRows[] = "1\tbefore the backup\n2\tafter the backup\n";

// A backup of `selection`, a row added after it and its log archived, then
// the database mounted, as data files are restored into it.
void backUpThenMount(RestoreHarness& harness, const std::wstring& set,
                     const std::wstring& selection) {
    const BackupRun run = harness.backup(set, L"--type FULL" + selection);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    harness.query("insert into PARCELS values (2, 'after the backup')");
    harness.vlxsim("switch", "1");
    harness.vlxsim("shutdown");
    harness.vlxsim("startup", "mount");
    harness.forgetEvents();
    harness.forgetToolCommands();
}

// What a user checks after a recovery: the database opens, the stand-in
// finds every file in agreement, and the table holds `rows`.
void expectOpensWith(const RestoreHarness& harness, bool resetLogs, const std::string& rows) {
    EXPECT_TRUE(harness.open(resetLogs));
    EXPECT_THAT(harness.verify(), HasSubstr("every file agrees"));
    EXPECT_EQ(harness.rows("PARCELS"), rows);
}

// A hot backup of the whole database, rows added after it, then a lost data
// file and archive destination with the instance down: the state a restore
// of "Vorlix Database" starts from.
class LostDatabase {
public:
    explicit LostDatabase(RestoreHarness& harness) : harness_(harness) {
        const BackupRun run = harness.backup(L"full", L"--type FULL" + harness.component(L""));
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        const testing::SavedComponent* database = run.component(L"Vorlix Database");
        if (database != nullptr && database->restoreMetadata) {
            target = highestNextChange(*database->restoreMetadata);
        }
        harness.query("insert into PARCELS values (2, 'after the backup')");
        harness.vlxsim("switch", "1");
        harness.vlxsim("shutdown", "abort");
        DeleteFileA((harness.folder() + "\\users01.dbf").c_str());
        harness.forgetEvents();
        harness.forgetToolCommands();
    }
    // Loses the archived logs too, so the restore must bring them back.
    void loseArchivedLogs() { removeFiles("*", harness_.folder() + "\\arch"); }

    std::string target;

private:
    RestoreHarness& harness_;
};

TEST_F(PostRestoreTest, AHotDatabaseBackupIsRecoveredToItsOwnEnd) {
    RestoreHarness harness(kInstance);
    LostDatabase lost(harness);
    lost.loseArchivedLogs();
    testing::TraceCapture trace(0xFFFFFFFF);
    const BackupRun run = harness.restore(L"full", harness.component(L""));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText() << trace.text();

    const std::vector<std::string> commands = harness.toolCommands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_THAT(commands.front(), HasSubstr("CONFIGURE SNAPSHOT CONTROLFILE NAME TO \""));
    EXPECT_THAT(withPrefix(commands, "catalog archivelog '"), Not(IsEmpty()));
    // The whole-database command is the last; the tool's session ends with
    // the conversation.
    EXPECT_THAT(commands[commands.size() - 3],
                ::testing::StartsWith("reset database to incarnation "));
    EXPECT_EQ(commands[commands.size() - 2],
              "recover database until scn " + lost.target + "; -> ok");
    EXPECT_EQ(commands.back(), "exit; -> ok");
    EXPECT_THAT(harness.eventIds(), Contains(kUntilSnapshotRecoveryEvent));

    expectOpensWith(harness, true, kBackupRows);
}

// The user's command wins over the selection: the later rows come back too.
TEST_F(PostRestoreTest, ACompleteRecoveryCommandBringsBackTheLaterRows) {
    RestoreHarness harness(kInstance);
    LostDatabase lost(harness);
    const BackupRun run =
        harness.restore(L"full", harness.component(L"", L"POST_WTRCMD=COMPLETE_RECOVER"));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    const std::vector<std::string> commands = harness.toolCommands();
    ASSERT_EQ(commands.size(), 3u) << "the logs on disk are neither re-created nor catalogued";
    EXPECT_THAT(commands[0], HasSubstr("CONFIGURE SNAPSHOT CONTROLFILE NAME TO \""));
    EXPECT_EQ(commands[1], "recover database; -> ok");
    EXPECT_THAT(harness.eventIds(), Contains(kCompleteRecoveryEvent));

    expectOpensWith(harness, true, kAllRows);
}

// A NORECOVER command and a requestor with more restores to come both leave
// the database unrecovered, but the logs are re-created and catalogued.
TEST_F(PostRestoreTest, NoRecoveryWhenToldSoOrWhenMoreRestoresFollow) {
    const struct {
        std::wstring options, flags;
        std::uint32_t event;
    } cases[] = {
        {L"POST_WTRCMD=NORECOVER", L"", kNoRecoveryEvent},
        {L"", L" --additional-restores", kMoreRestoresEvent},
    };
    for (const auto& told : cases) {
        RestoreHarness harness(kInstance);
        LostDatabase lost(harness);
        lost.loseArchivedLogs();
        const BackupRun run =
            harness.restore(L"full", harness.component(L"", told.options) + told.flags);
        ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();
        const std::vector<std::string> commands = harness.toolCommands();
        ASSERT_GE(commands.size(), 2u);
        EXPECT_THAT(commands.front(), HasSubstr("CONFIGURE SNAPSHOT CONTROLFILE NAME TO \""));
        EXPECT_EQ(withPrefix(commands, "catalog archivelog '").size(), commands.size() - 2);
        EXPECT_EQ(commands.back(), "exit; -> ok");
        EXPECT_THAT(harness.eventIds(), Contains(told.event));
        EXPECT_THAT(harness.eventIds(), Not(Contains(kUntilSnapshotRecoveryEvent)));
    }
}

// A backup of a database mounted cleanly carries no logs: there is nothing
// to recover to, and the restored files open as they are.
TEST_F(PostRestoreTest, AConsistentDatabaseBackupNeedsNoRecovery) {
    RestoreHarness harness(kInstance);
    harness.vlxsim("shutdown");
    harness.vlxsim("startup", "mount");
    ASSERT_EQ(harness.backup(L"cold", L"--type FULL" + harness.component(L"")).exitCode, 0u);
    harness.vlxsim("shutdown");
    harness.forgetEvents();
    const BackupRun run = harness.restore(L"cold", harness.component(L""));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    const std::vector<std::string> commands = harness.toolCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_THAT(commands[0], HasSubstr("CONFIGURE SNAPSHOT CONTROLFILE NAME TO \""));
    EXPECT_THAT(harness.eventIds(), Contains(kNoRecoveryEvent));
    EXPECT_TRUE(harness.open(true));
    EXPECT_THAT(harness.verify(), HasSubstr("every file agrees"));
}

// Data files and a tablespace put back into a mounted database with its
// current control file: one command of each kind, each followed by "exit;".
TEST_F(PostRestoreTest, DataFilesAndATablespaceAreRecoveredOnTheirOwn) {
    RestoreHarness harness(kInstance);
    const std::wstring selection = harness.component(L"All TableSpaces\\USERS\\Datafile number=2") +
                                   harness.component(L"All TableSpaces\\USERS\\Datafile number=3") +
                                   harness.component(L"All TableSpaces\\DATA");
    backUpThenMount(harness, L"files", selection);
    const BackupRun run = harness.restore(L"files", selection);
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    EXPECT_THAT(harness.toolCommands(),
                ElementsAre("RECOVER DATAFILE 2,3; -> ok", "exit; -> ok",
                            "RECOVER TABLESPACE DATA; -> ok", "exit; -> ok"));
    const std::vector<std::uint32_t> events = harness.eventIds();
    EXPECT_THAT(events, Contains(kDatafileRecoveryEvent));
    EXPECT_THAT(events, Contains(kTablespaceRecoveryEvent));
    expectOpensWith(harness, false, kAllRows);
}

TEST_F(PostRestoreTest, AllTablespacesWithTheCurrentControlFileAreRecoveredCompletely) {
    RestoreHarness harness(kInstance);
    const std::wstring selection = harness.component(L"All TableSpaces");
    backUpThenMount(harness, L"all", selection);
    const BackupRun run = harness.restore(L"all", selection);
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    EXPECT_THAT(harness.toolCommands(), ElementsAre("recover database; -> ok", "exit; -> ok"));
    EXPECT_THAT(harness.eventIds(), Contains(kCompleteRecoveryEvent));
    expectOpensWith(harness, false, kAllRows);
}

// The user's command wins over the selection here too: "All TableSpaces"
// with the current control file would be recovered completely, but an
// UNTIL_SNAPSHOT command asks for the backup's point instead.
TEST_F(PostRestoreTest, AnUntilSnapshotCommandWinsOverCompleteRecoveryOfAllTablespaces) {
    RestoreHarness harness(kInstance);
    backUpThenMount(harness, L"all", harness.component(L"All TableSpaces"));
    const BackupRun run = harness.restore(
        L"all", harness.component(L"All TableSpaces", L"POST_WTRCMD=UNTIL_SNAPSHOT"));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    const std::vector<std::string> commands = harness.toolCommands();
    ASSERT_EQ(commands.size(), 3u) << harness.eventsText();
    EXPECT_THAT(commands[0], ::testing::StartsWith("reset database to incarnation "));
    EXPECT_THAT(commands[1], ::testing::StartsWith("recover database until scn "));
    EXPECT_THAT(harness.eventIds(), ElementsAre(kUntilSnapshotRecoveryEvent));
    expectOpensWith(harness, true, kBackupRows);
}

// A component restored through its sub-components gives one entry per
// sub-component, under the component's options; the component itself has
// none.
TEST_F(PostRestoreTest, SubcomponentsAreRecoveredAsEntriesOfTheirOwn) {
    RestoreHarness harness(kInstance);
    const std::wstring all = harness.component(L"All TableSpaces");
    backUpThenMount(harness, L"all", all);
    const BackupRun run =
        harness.restore(L"all", all + L" --subcomponent \"" + widen(harness.instance().sid()) +
                                    L"\\Vorlix Database\\All TableSpaces\\USERS\"");
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    EXPECT_THAT(harness.toolCommands(),
                ElementsAre("RECOVER TABLESPACE USERS; -> ok", "exit; -> ok"));
    expectOpensWith(harness, false, kAllRows);
}

// The entries of a log backup's restore start, mount and recover nothing:
// the instance stays as it is, open, and no recovery is chosen.
TEST_F(PostRestoreTest, ALogBackupsEntriesAreLeftAlone) {
    RestoreHarness harness(kInstance);
    const BackupRun backup = harness.backup(L"log", L"--type LOG" + harness.component(L""));
    ASSERT_EQ(backup.exitCode, 0u) << backup.output;
    harness.forgetEvents();
    const BackupRun run = harness.restore(L"log", harness.component(L""));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    EXPECT_THAT(harness.toolCommands(), IsEmpty());
    for (const std::uint32_t recovery :
         {kCompleteRecoveryEvent, kUntilSnapshotRecoveryEvent, kNoRecoveryEvent}) {
        EXPECT_THAT(harness.eventIds(), Not(Contains(recovery))) << harness.eventsText();
    }
    EXPECT_THAT(harness.state(), HasSubstr("\"open\""));
}

// Entries met while the instance is down, before the control file entry
// mounts it, cannot know which control file they will meet.
TEST_F(PostRestoreTest, DataFilesBeforeAnyMountMeetAnUnknownState) {
    RestoreHarness harness(kInstance);
    const std::wstring datafile = harness.component(L"All TableSpaces\\USERS\\Datafile number=2");
    const std::wstring all = harness.component(L"All TableSpaces");
    const std::wstring control = harness.component(L"Control file");
    const struct {
        const wchar_t* set;
        std::wstring selection;
        const wchar_t* state;
    } cases[] = {{L"datafile", datafile + control, L"Unknown state - 1"},
                 {L"all", all + control, L"Unknown state - 2"}};
    for (const auto& early : cases) {
        ASSERT_EQ(harness.backup(early.set, L"--type FULL" + early.selection).exitCode, 0u);
    }
    for (const auto& early : cases) {
        harness.vlxsim("shutdown", "abort");
        harness.forgetEvents();
        const BackupRun run = harness.restore(early.set, early.selection);
        EXPECT_EQ(run.exitCode, 2u) << run.output;
        EXPECT_THAT(run.eventLine("PreRestore"), HasSubstr(kSucceeded));
        EXPECT_THAT(harness.eventStrings(kGeneralFailure), Contains(std::wstring(early.state)));
    }
}

// Where the recorded directory of the logs cannot be made again, they are
// re-created in the temporary directory and catalogued under that name.
TEST_F(PostRestoreTest, LogsWhoseDirectoryCannotBeMadeAreCataloguedFromTheTemporaryOne) {
    RestoreHarness harness(kInstance);
    LostDatabase lost(harness);
    const std::string destination = harness.folder() + "\\arch";
    lost.loseArchivedLogs();
    ASSERT_TRUE(RemoveDirectoryA(destination.c_str()));
    // A file of the directory's name stands in the way.
    CloseHandle(CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    const BackupRun run = harness.restore(L"full", harness.component(L""));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    const std::vector<std::wstring> fallback = harness.eventStrings(kTemporaryLogEvent);
    ASSERT_EQ(fallback.size(), 2u) << harness.eventsText();
    const std::vector<std::string> catalogued =
        withPrefix(harness.toolCommands(), "catalog archivelog '");
    EXPECT_THAT(catalogued,
                Contains("catalog archivelog '" + testing::narrow(fallback[1]) + "'; -> ok"));
    EXPECT_EQ(harness.toolCommands().at(harness.toolCommands().size() - 2),
              "recover database until scn " + lost.target + "; -> ok");
    expectOpensWith(harness, true, kBackupRows);
    DeleteFileA(destination.c_str());
}

// A log whose name holds a quote cannot be written into the catalog command
// without ending the name early: the restore stops with a failure that
// names it, before anything is recovered.
TEST_F(PostRestoreTest, ALogNameWithAQuoteIsRefusedNotCatalogued) {
    std::string description = kInstance;
    description.replace(description.find(R"("arch")"), 6, R"("arch'q")");
    RestoreHarness harness(description);
    LostDatabase lost(harness);
    removeFiles("*", harness.folder() + "\\arch'q");
    const BackupRun run = harness.restore(L"full", harness.component(L""));
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    const std::vector<std::wstring> refusal = harness.eventStrings(kGeneralFailure);
    EXPECT_THAT(refusal, Contains(std::wstring(kUncataloguableLog))) << harness.eventsText();
    EXPECT_THAT(withPrefix(harness.toolCommands(), "catalog"), IsEmpty());
    EXPECT_THAT(withPrefix(harness.toolCommands(), "reset"), IsEmpty());
}

std::wstring newTarget(const std::string& path, const std::string& files,
                       const std::string& alternate) {
    return L" --new-target \"" + widen(path + "|" + files + "|" + alternate) + L"\"";
}

// Data files follow a wildcard target to their new place, and the database
// opens on them there.
TEST_F(PostRestoreTest, DataFilesFollowAWildcardTargetAndOpenThere) {
    RestoreHarness harness(kInstance);
    const std::wstring users = harness.component(L"All TableSpaces\\USERS");
    backUpThenMount(harness, L"users", users);
    const std::string moved = harness.folder() + "\\moved";
    const BackupRun run =
        harness.restore(L"users", users + newTarget(harness.folder(), "users0*.dbf", moved));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    EXPECT_THAT(harness.toolCommands(),
                ElementsAre("RECOVER TABLESPACE USERS; -> ok", "exit; -> ok"));
    const std::string names = harness.query("select name from v$datafile");
    EXPECT_THAT(names, HasSubstr(moved + "\\users01.dbf\n"));
    EXPECT_THAT(names, HasSubstr(moved + "\\users02.dbf\n"));
    expectOpensWith(harness, false, kAllRows);
}

// The snapshot control file put back elsewhere is the one the mount copies
// from: its old place is empty.
TEST_F(PostRestoreTest, TheSnapshotControlFileIsTakenFromItsNewPlace) {
    RestoreHarness harness(kInstance);
    const BackupRun backup = harness.backup(L"full", L"--type FULL" + harness.component(L""));
    ASSERT_EQ(backup.exitCode, 0u) << backup.output;
    const testing::SavedComponent* database = backup.component(L"Vorlix Database");
    ASSERT_TRUE(database != nullptr && database->backupMetadata);
    std::smatch cfFile;
    const std::string metadata = testing::narrow(*database->backupMetadata);
    ASSERT_TRUE(std::regex_search(metadata, cfFile, std::regex("CFFILE=(([^;]*)\\\\([^;\\\\]+))")))
        << metadata;
    harness.vlxsim("shutdown", "abort");
    // The requestor puts the snapshot control file back at the new place.
    const std::string moved = harness.folder() + "\\cf";
    CreateDirectoryA(moved.c_str(), nullptr);
    ASSERT_TRUE(MoveFileA(cfFile[1].str().c_str(), (moved + "\\" + cfFile[3].str()).c_str()));
    harness.forgetToolCommands();
    const BackupRun run =
        harness.restore(L"full", harness.component(L"") + newTarget(cfFile[2], cfFile[3], moved));
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    const std::vector<std::string> commands = harness.toolCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "CONFIGURE SNAPSHOT CONTROLFILE NAME TO \"" + moved + "\\" +
                                    cfFile[3].str() + "\"; -> ok");
    EXPECT_TRUE(harness.open(true));
    EXPECT_THAT(harness.verify(), HasSubstr("every file agrees"));
}

TEST_F(PostRestoreTest, NewTargetsWithoutAnEntryOrOfLogComponentsAreRefused) {
    RestoreHarness harness(kInstance);
    const std::wstring all = harness.component(L"All TableSpaces");
    const std::wstring destination = harness.component(L"Archive Log Dest_1");
    ASSERT_EQ(harness.backup(L"all", L"--type FULL" + all).exitCode, 0u);
    ASSERT_EQ(harness.backup(L"dest", L"--type FULL" + destination).exitCode, 0u);
    harness.vlxsim("shutdown");
    harness.vlxsim("startup", "mount");
    const std::wstring users = L" --subcomponent \"" + widen(harness.instance().sid()) +
                               L"\\Vorlix Database\\All TableSpaces\\USERS\"";
    const std::string elsewhere = harness.folder() + "\\elsewhere";

    const BackupRun parent =
        harness.restore(L"all", all + users + newTarget(harness.folder(), "*.dbf", elsewhere));
    EXPECT_EQ(parent.exitCode, 2u) << parent.output;
    EXPECT_THAT(harness.eventStrings(kGeneralFailure),
                Contains(std::wstring(L"Could-not-get-component-2")));

    harness.forgetEvents();
    const BackupRun logs = harness.restore(
        L"dest", destination + newTarget(harness.folder() + "\\arch", "*", elsewhere));
    EXPECT_EQ(logs.exitCode, 2u) << logs.output;
    EXPECT_THAT(harness.eventIds(), Contains(kNewTargetRefusedFailure));
}

// An instance of `count` tablespaces with names of 40 characters, one data
// file each.
std::string manyTablespaces(int count, std::vector<std::string>& names) {
    std::string tablespaces = R"({"name": "SYSTEM", "datafiles": ["system01.dbf"]})";
    for (int n = 0; n < count; ++n) {
        char name[48];
        std::snprintf(name, sizeof name, "TABLESPACE_WITH_A_RATHER_LONG_NAME_%05d", n);
        names.push_back(name);
        tablespaces += R"(, {"name": ")" + names.back() + R"(", "datafiles": ["f)" +
                       std::to_string(n) + R"(.dbf"]})";
    }
    return R"({"logMode": "ARCHIVELOG", "state": "open", "tablespaces": [)" + tablespaces +
           R"(], "controlFiles": ["control01.ctl"], "logGroups": [["redo01.log"], ["redo02.log"]],
              "archiveDests": ["arch"], "snapshotControlFile": "SNCF.ORA"})";
}

// A recovery command never grows past the tool's limit: a selection that
// needs more is sent as several commands of the same kind.
TEST_F(PostRestoreTest, ALongTablespaceListIsSentAsSeveralCommandsWithinTheLimit) {
    std::vector<std::string> names;
    RestoreHarness harness(manyTablespaces(210, names));
    std::wstring selection;
    for (const std::string& name : names)
        selection += harness.component(L"All TableSpaces\\" + widen(name));
    ASSERT_EQ(harness.backup(L"many", L"--type FULL" + selection).exitCode, 0u);
    harness.vlxsim("shutdown");
    harness.vlxsim("startup", "mount");
    const BackupRun run = harness.restore(L"many", selection);
    ASSERT_EQ(run.exitCode, 0u) << run.output << harness.eventsText();

    const std::vector<std::string> commands = harness.toolCommands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands.back(), "exit; -> ok");
    std::string listed;
    for (std::size_t at = 0; at + 1 < commands.size(); ++at) {
        const std::string command = commands[at].substr(0, commands[at].find(" -> "));
        EXPECT_LT(command.size(), kToolCommandBytes);
        ASSERT_EQ(command.rfind("RECOVER TABLESPACE ", 0), 0u) << command;
        ASSERT_TRUE(command.ends_with(";")) << command;
        if (!listed.empty()) listed += ',';
        listed += command.substr(19, command.size() - 20);
    }
    std::string expected;
    for (const std::string& name : names) {
        if (!expected.empty()) expected += ',';
        expected += name;
    }
    EXPECT_EQ(listed, expected);
    EXPECT_TRUE(harness.open(false));
    EXPECT_THAT(harness.verify(), HasSubstr("every file agrees"));
}

}  // namespace
}  // namespace snapscribe
