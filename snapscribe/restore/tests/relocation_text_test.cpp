#include "snapscribe/restore/relocation_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace snapscribe {
namespace {

TEST(RelocationNamesTest, AFileNameSplitsIntoDirectoryBaseAndExtension) {
    const FileNameParts parts = splitFileName("C:\\DATA\\USERS01.DBF");
    EXPECT_EQ(parts.directory, "C:\\DATA\\");
    EXPECT_EQ(parts.base, "USERS01");
    EXPECT_EQ(parts.extension, ".DBF");
    const FileNameParts dotted = splitFileName("C:\\V1.2\\REDO01");
    EXPECT_EQ(dotted.directory, "C:\\V1.2\\");
    EXPECT_EQ(dotted.base, "REDO01");
    EXPECT_EQ(dotted.extension, "");
    EXPECT_EQ(splitFileName("D:X.LOG").directory, "D:");
}

TEST(RelocationNamesTest, OnlyFilesInThePathItselfAreMovedNotThoseOfItsSubdirectories) {
    EXPECT_TRUE(liesDirectlyIn("C:\\DATA\\USERS01.DBF", "C:\\DATA"));
    EXPECT_FALSE(liesDirectlyIn("C:\\DATA\\OLD\\X.DBF", "C:\\DATA"));
    EXPECT_FALSE(liesDirectlyIn("C:\\OTHER\\X.DBF", "C:\\DATA"));
    EXPECT_FALSE(liesDirectlyIn("X.DBF", "C:\\DATA"));
}

TEST(RelocationNamesTest, TheControlFileListSplitsAtCommasAndDropsLeadingBlanks) {
    EXPECT_EQ(controlFileNames("C:\\A\\CTL1.CTL, D:\\B\\CTL2.CTL"),
              (std::vector<std::string>{"C:\\A\\CTL1.CTL", "D:\\B\\CTL2.CTL"}));
    EXPECT_EQ(controlFileNames("C:\\ONE.CTL"), std::vector<std::string>{"C:\\ONE.CTL"});
    EXPECT_TRUE(controlFileNames("").empty());
    EXPECT_EQ(controlFileNames(" ,\tE:\\C.CTL,"), std::vector<std::string>{"E:\\C.CTL"});
}

}  // namespace
}  // namespace snapscribe
