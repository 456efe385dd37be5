#include "snapscribe/restore/recovery_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "snapscribe/sequence/conversation.h"

namespace snapscribe {
namespace {

TEST(RestoreSelectionTest, EachSelectionIsRefusedInTheStatesItCannotBeRestoredIn) {
    struct Case {
        std::uint32_t flags;
        std::int32_t openMode;
        std::uint32_t refusal;
    };
    const Case cases[] = {
        {SEL_DATABASE, 2, 0},
        {SEL_DATABASE, 9, 0},
        {SEL_DATABASE, 1, kInstanceRunningRefusal},
        {SEL_SPFILE, 6, kInstanceRunningRefusal},
        {SEL_CONTROL_FILE, 1, 0},
        {SEL_CONTROL_FILE, 5, kDatabaseMountedRefusal},
        {SEL_CONTROL_FILE | SEL_DATA_FILES, 2, 0},
        {SEL_CONTROL_FILE | SEL_DATA_FILES, 6, kDatabaseMountedRefusal},
        {SEL_DATA_FILES, 5, 0},
        {SEL_DATA_FILES, 6, 0},
        {SEL_DATA_FILES, 2, kDatabaseNotMountedRefusal},
        {SEL_DATA_FILES, 7, kDatabaseNotMountedRefusal},
        // The first failing check wins.
        {SEL_DATABASE | SEL_CONTROL_FILE, 5, kInstanceRunningRefusal},
        // Restores of incremental, differential and log backups are not checked.
        {SEL_DATABASE | SEL_DATA_FILES | NON_FULL_BACKUP, 6, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(restoreSelectionRefusal(c.flags, c.openMode), c.refusal)
            << "flags " << c.flags << " open mode " << c.openMode;
    }
}

TEST(RecoveryDecisionTest, NoRecoverWinsThenTheIncompleteRecovery) {
    EXPECT_EQ(wholeDatabaseRecovery(0), WholeDatabaseRecovery::None);
    EXPECT_EQ(wholeDatabaseRecovery(RECOVER_COMPLETE), WholeDatabaseRecovery::Complete);
    EXPECT_EQ(wholeDatabaseRecovery(RECOVER_UNTIL_SNAPSHOT), WholeDatabaseRecovery::UntilSnapshot);
    EXPECT_EQ(wholeDatabaseRecovery(RECOVER_COMPLETE | RECOVER_UNTIL_SNAPSHOT),
              WholeDatabaseRecovery::UntilSnapshot);
    EXPECT_EQ(wholeDatabaseRecovery(NO_RECOVER | RECOVER_COMPLETE), WholeDatabaseRecovery::None);
}

TEST(RecoverCommandListTest, AShortListIsOneCommand) {
    RecoverCommandList files("RECOVER DATAFILE ");
    EXPECT_TRUE(files.empty());
    EXPECT_TRUE(files.commands().empty());
    for (const char* number : {"1", "5", "9"}) files.add(number);
    EXPECT_EQ(files.commands(), std::vector<std::string>{"RECOVER DATAFILE 1,5,9;"});
}

TEST(RecoverCommandListTest, ALongListIsSplitIntoCommandsOfTheSameKindWithinTheLimit) {
    RecoverCommandList files("RECOVER DATAFILE ");
    std::vector<std::string> numbers;
    for (int n = 10000; n < 12000; ++n) {
        numbers.push_back(std::to_string(n));
        files.add(numbers.back());
    }
    const auto commands = files.commands();
    ASSERT_EQ(commands.size(), 3u);
    std::vector<std::string> sent;
    for (const std::string& command : commands) {
        EXPECT_LT(command.size(), kToolCommandBytes);
        ASSERT_EQ(command.rfind("RECOVER DATAFILE ", 0), 0u);
        ASSERT_EQ(command.back(), ';');
        std::istringstream list(command.substr(17, command.size() - 18));
        for (std::string number; std::getline(list, number, ',');) sent.push_back(number);
    }
    EXPECT_EQ(sent, numbers);
}

TEST(RecoveryCommandTextTest, TheIncompleteRecoveryCarriesAChangeNumberPastThirtyTwoBits) {
    EXPECT_EQ(untilChangeCommand(3, 5000000001ULL),
              "reset database to incarnation 3; recover database until scn 5000000001;");
}

TEST(RecoveryCommandTextTest, ALogNameWithAQuoteIsNotCatalogued) {
    EXPECT_EQ(catalogCommand("C:\\ARC\\1_7.ARC"), "catalog archivelog 'C:\\ARC\\1_7.ARC';");
    EXPECT_FALSE(catalogCommand("C:\\ARC\\x';drop;'.ARC").has_value());
}

TEST(RelocationTextTest, QuotesInAnyNameAreDoubledInsideTheRenameStatement) {
    EXPECT_EQ(renameStatement("C:\\DATA\\USERS01.DBF", "D:\\NEW", "USERS01", ".DBF"),
              "alter database rename file 'C:\\DATA\\USERS01.DBF' to 'D:\\NEW\\USERS01.DBF'");
    EXPECT_EQ(renameStatement("C:\\O'NEIL\\A.DBF", "D:\\it's here'; drop", "A", ".DBF"),
              "alter database rename file 'C:\\O''NEIL\\A.DBF' to "
              "'D:\\it''s here''; drop\\A.DBF'");
}

TEST(RelocationTextTest, TheRequestorsWildcardBecomesTheDatabasesPattern) {
    EXPECT_EQ(relocationPattern("C:\\DATA", "*.DBF"), "C:\\DATA\\%.DBF");
    EXPECT_EQ(relocationPattern("C:\\DATA", "A*B*"), "C:\\DATA\\A%B%");
}

}  // namespace
}  // namespace snapscribe
