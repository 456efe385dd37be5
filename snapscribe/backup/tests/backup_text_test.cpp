// The texts of a backup that need no platform: component names, option
// lists, backup metadata, stamps and archived-log headers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "snapscribe/backup/metadata_text.h"
#include "snapscribe/backup/option_text.h"

namespace snapscribe {
namespace {

using ::testing::ElementsAre;

TEST(BackupTextTest, ComponentsAreRecognisedByTheFirstMatchingPrefix) {
    struct Case {
        const wchar_t* name;
        std::uint32_t kind, fileClass;
        std::int32_t tsNum, fileNum;
        std::uint32_t flags;
        bool tablespace;
    };
    for (const Case& c : {
             Case{L"All TableSpaces", 2, 2, -1, 0, SEL_DATA_FILES, false},
             Case{L"Datafile number=17", 1, 1, 0, 17, SEL_DATA_FILES, false},
             Case{L"Datafile number=x", 1, 1, 0, -1, SEL_DATA_FILES, false},
             Case{L"Control file", 3, 3, 0, 0, SEL_CONTROL_FILE, false},
             Case{L"Server Parameter File", 4, 5, 0, 0, SEL_SPFILE, false},
             Case{L"Vorlix Database", 6, 0, 0, 0, SEL_DATABASE, false},
             Case{L"Archive Log Dest_3", 5, 6, 0, 3, 0, false},
             Case{L"Archive Log Dest_", 5, 6, 0, -1, 0, false},
             Case{L"Flash Recovery Area", 7, 6, 0, 0, 0, false},
             Case{L"Archived Logs", 8, 6, 0, 0, 0, false},
             Case{L"Backup Files", 9, 6, 0, 0, 0, false},
             Case{L"USERS", 2, 2, 0, 0, 0, true},
             Case{L"Control", 2, 2, 0, 0, 0, true},
         }) {
        const ComponentRecognition r = recognizeComponent(c.name);
        EXPECT_EQ(r.kind, c.kind) << c.name;
        EXPECT_EQ(r.fileClass, c.fileClass) << c.name;
        EXPECT_EQ(r.tsNum, c.tsNum) << c.name;
        EXPECT_EQ(r.fileNum, c.fileNum) << c.name;
        EXPECT_EQ(r.flags, c.flags) << c.name;
        EXPECT_EQ(r.tablespace, c.tablespace) << c.name;
    }
    EXPECT_EQ(tablespaceNameOf(L"USERS tablespace"), L"USERS");
    EXPECT_EQ(tablespaceNameOf(L"USERS"), L"USERS");
}

TEST(BackupTextTest, OptionListsGiveTheirKeyedCommandsInTextOrder) {
    const auto commands = optionCommands(
        L";;PRE_SQLCMD=alter system checkpoint;POST_WTRCMD=NORECOVER;;junk=1;PRE_BAKXCMD=;"
        L"POST_BAKXCMD=report schema;PRE_WTRCMD=x=y;POST_SQLCMD=select 1 from dual");
    std::vector<std::pair<OptionKey, std::wstring>> seen;
    for (const OptionCommand& c : commands) seen.emplace_back(c.key, c.command);
    EXPECT_THAT(seen, ElementsAre(std::pair{OptionKey::PreSql, L"alter system checkpoint"},
                                  std::pair{OptionKey::PostWriter, L"NORECOVER"},
                                  std::pair{OptionKey::PostTool, L"report schema"},
                                  std::pair{OptionKey::PreWriter, L"x=y"},
                                  std::pair{OptionKey::PostSql, L"select 1 from dual"}));
    EXPECT_TRUE(optionCommands(L"").empty());
    EXPECT_TRUE(optionCommands(L";;;").empty());
    EXPECT_STREQ(optionKeyText(OptionKey::PreTool), L"PRE_BAKXCMD=");
}

TEST(BackupTextTest, ASlotListKeepsTwentyCommandsAndRefusesOverlongOnesWhole) {
    CommandSlots slots;
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(storeCommand(slots, L"cmd" + std::to_wstring(i)), StoreOutcome::Stored);
    }
    EXPECT_EQ(storeCommand(slots, L"cmd20"), StoreOutcome::SlotsFull);
    EXPECT_EQ(slots[19], L"cmd19");

    CommandSlots fresh;
    EXPECT_EQ(storeCommand(fresh, std::wstring(512, L'x')), StoreOutcome::TooLong);
    EXPECT_TRUE(fresh[0].empty());
    EXPECT_EQ(storeCommand(fresh, std::wstring(511, L'x')), StoreOutcome::Stored);
    EXPECT_EQ(fresh[0].size(), 511u);
}

TEST(BackupTextTest, WriterCommandsSetTheirRecoveryFlagByTheirFirstWord) {
    EXPECT_EQ(writerCommandFlag(L"NORECOVER"), NO_RECOVER);
    EXPECT_EQ(writerCommandFlag(L"UNTIL_SNAPSHOT please"), RECOVER_UNTIL_SNAPSHOT);
    EXPECT_EQ(writerCommandFlag(L"COMPLETE_RECOVER"), RECOVER_COMPLETE);
    EXPECT_EQ(writerCommandFlag(L"norecover"), 0u);
    EXPECT_EQ(writerCommandFlag(L"anything"), 0u);
}

MetadataFacts facts(std::uint32_t kind, std::int32_t type) {
    MetadataFacts f;
    f.kind = kind;
    f.backupType = type;
    f.dbid = 1234;
    f.checkpoint = L"98765";
    f.snapshotControlFile = L"C:\\DB\\SNCF.ORA";
    f.dbName = L"ORCL";
    f.directories = {L"C:\\ARCH\\", L"C:\\FRA\\"};
    return f;
}

TEST(BackupTextTest, TheTopLevelComponentSaysHowTheDatabaseWasTaken) {
    MetadataFacts hot = facts(6, BackupFull);
    hot.fuzzyCount = 3;
    hot.mediaRecovery = true;
    EXPECT_EQ(composeMetadataText(hot),
              L"DBID=1234;BACKUP_TYPE=FULL;CHECKPOINT=98765;Hot database backup - Needs recovery "
              L"to open;CFFILE=C:\\DB\\SNCF.ORA;DIRECTORY=C:\\ARCH\\;DIRECTORY=C:\\FRA\\");

    MetadataFacts consistent = facts(6, BackupCopy);
    EXPECT_EQ(composeMetadataText(consistent),
              L"DBID=1234;BACKUP_TYPE=COPY;CHECKPOINT=98765;Consistent database backup - No "
              L"recovery required to open;NORECOVER=1");

    const MetadataNeeds full = metadataNeeds(6, BackupFull, true);
    EXPECT_TRUE(full.trackingSwitch && full.checkpoint && full.snapshotControlFile &&
                full.directories);
    EXPECT_FALSE(full.dbName);
    const MetadataNeeds copy = metadataNeeds(6, BackupCopy, false);
    EXPECT_TRUE(copy.checkpoint);
    EXPECT_FALSE(copy.trackingSwitch || copy.snapshotControlFile || copy.directories);
}

TEST(BackupTextTest, FileComponentsCarryIdentityAndWhatTheirKindNeeds) {
    EXPECT_EQ(composeMetadataText(facts(1, BackupFull)), L"DBID=1234;BACKUP_TYPE=FULL");
    // Tablespace 0 is a tablespace like any other.
    EXPECT_EQ(composeMetadataText(facts(2, BackupFull)), L"DBID=1234;TSNUM=0;BACKUP_TYPE=FULL");
    MetadataFacts users = facts(2, BackupOther);
    users.tsNum = 4;
    EXPECT_EQ(composeMetadataText(users), L"DBID=1234;TSNUM=4;BACKUP_TYPE=OTHER");
    users.tsNum = -1;
    EXPECT_EQ(composeMetadataText(users), L"DBID=1234;BACKUP_TYPE=OTHER");

    MetadataFacts control = facts(3, BackupFull);
    EXPECT_EQ(composeMetadataText(control), L"DBID=1234;CFTYPE=BACKUP;BACKUP_TYPE=FULL");
    control.mediaRecovery = true;
    EXPECT_EQ(composeMetadataText(control),
              L"DBID=1234;CFTYPE=BACKUP;BACKUP_TYPE=FULL;CFFILE=C:\\DB\\SNCF.ORA");
    EXPECT_TRUE(metadataNeeds(3, BackupFull, true).snapshotControlFile);
    EXPECT_FALSE(metadataNeeds(3, BackupFull, false).snapshotControlFile);

    EXPECT_EQ(composeMetadataText(facts(4, 9)),
              L"DB_NAME=ORCL;BACKUP_TYPE=UNDEFINED;DIRECTORY=C:\\ARCH\\;DIRECTORY=C:\\FRA\\");
    EXPECT_TRUE(metadataNeeds(4, BackupFull, false).dbName);

    for (std::uint32_t kind : {5u, 7u, 8u, 9u}) {
        EXPECT_EQ(composeMetadataText(facts(kind, BackupFull)),
                  L";Database files backup, no files from this component must be backed/restored");
    }
    EXPECT_EQ(composeMetadataText(facts(0, BackupFull)), std::nullopt);
    EXPECT_EQ(composeMetadataText(facts(10, BackupLog)), std::nullopt);
}

TEST(BackupTextTest, LogTypeBackupsDescribeTheComponentInsteadOfItsFiles) {
    EXPECT_EQ(composeMetadataText(facts(2, BackupIncremental)),
              L"DBID=1234;BACKUP_TYPE=INCREMENTAL;Archive Logs backup, no files from this "
              L"componentmust be backed/restored");
    EXPECT_EQ(composeMetadataText(facts(5, BackupLog)),
              L"DBID=1234;BACKUP_TYPE=LOG;Archive Log Dest backup");
    EXPECT_EQ(composeMetadataText(facts(6, BackupDifferential)),
              L"DBID=1234;BACKUP_TYPE=DIFFERENTIAL;Top level component selected for Log backups");
    EXPECT_EQ(composeMetadataText(facts(8, BackupLog)),
              L"DBID=1234;BACKUP_TYPE=LOG;Recovery Area files backup");
    const MetadataNeeds none = metadataNeeds(6, BackupIncremental, true);
    EXPECT_FALSE(none.trackingSwitch || none.checkpoint || none.snapshotControlFile ||
                 none.directories || none.dbName);
}

TEST(BackupTextTest, MetadataReadAtRestoreGivesItsFieldsAndTheBackupKind) {
    const ParsedMetadata log = parseMetadataText(L"DBID=77;BACKUP_TYPE=LOG");
    EXPECT_EQ(log.dbid, 77u);
    EXPECT_TRUE(log.nonFullBackup);
    EXPECT_THAT(log.traceLines, ElementsAre(L"DBID=77", L"BACKUP_TYPE=LOG"));

    for (const wchar_t* full : {L"BACKUP_TYPE=", L"BACKUP_TYPE=FULL", L"BACKUP_TYPE=C",
                                L"BACKUP_TYPE=FULLER", L"BACKUP_TYPE=UNDEFINED"}) {
        EXPECT_FALSE(parseMetadataText(full).nonFullBackup) << full;
    }
    for (const wchar_t* partial : {L"BACKUP_TYPE=I", L"BACKUP_TYPE=DIFF", L"BACKUP_TYPE=L"}) {
        EXPECT_TRUE(parseMetadataText(partial).nonFullBackup) << partial;
    }

    const std::wstring longName(2000, L'n');
    const ParsedMetadata hot =
        parseMetadataText(L";;DBID=x;TSNUM=3;CFFILE=" + longName +
                          L";NORECOVER=1;DIRECTORY=C:\\A\\;DIRECTORY=C:\\B\\;Hot database");
    EXPECT_EQ(hot.fieldCount, 7u);
    EXPECT_EQ(hot.dbid, 0u);
    EXPECT_EQ(hot.cfFile, longName);
    EXPECT_EQ(hot.noRecover, 1u);
    EXPECT_THAT(hot.directories, ElementsAre(L"C:\\A\\", L"C:\\B\\"));
    EXPECT_EQ(parseMetadataText(L"").fieldCount, 0u);
}

TEST(BackupTextTest, StampsHeadersAndListSizesOfTheRestoreMetadata) {
    EXPECT_EQ(backupStampText(0x01DB2A5F12345678ull), L"FILETIME=31140447,305419896;");
    EXPECT_EQ(backupStampText(0), L"FILETIME=0,0;");
    EXPECT_EQ(archivedLogHeader(L"C:\\A\\ARC1.ARC", L"100", L"250"),
              L";FILENAME=C:\\A\\ARC1.ARC;FIRST_SCN=100;NEXT_SCN=250;DATA=");
    EXPECT_EQ(archivedLogListNeed(0, 3), 4u + 4096u);
    EXPECT_EQ(archivedLogListNeed(10, 2), 10u + 2u + 4096u);
    // Logs of a gigabyte and more: no wrap at 32 bits.
    EXPECT_EQ(archivedLogListNeed(0, 3ull << 30), (4ull << 30) + 4096u);
    EXPECT_EQ(archivedLogListNeed(1ull << 32, 6ull << 30), (1ull << 32) + (8ull << 30) + 4096u);
    // Four times the size would wrap at 64 bits; the need does not.
    EXPECT_EQ(archivedLogListNeed(0, 1ull << 62), 0x5555555555555555u + 4096u);
    // Beyond 64 bits: the largest count, not a wrapped small one.
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(archivedLogListNeed(0, kLargest), kLargest);
    EXPECT_EQ(archivedLogListNeed(kLargest - 4096, 1), kLargest);
    EXPECT_EQ(archivedLogListNeed(kLargest - 4200, 3), kLargest - 100);
}

}  // namespace
}  // namespace snapscribe
