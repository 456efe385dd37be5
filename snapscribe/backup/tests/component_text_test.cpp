#include "snapscribe/backup/component_text.h"

#include <gtest/gtest.h>

namespace snapscribe {
namespace {

TEST(ComponentTextTest, LogicalPathsSkipEmptyParts) {
    EXPECT_EQ(joinLogicalPath({L"DB1", kDatabaseComponent, L"All TableSpaces"}),
              L"DB1\\Vorlix Database\\All TableSpaces");
    EXPECT_EQ(joinLogicalPath({L"", kDatabaseComponent}), L"Vorlix Database");
    EXPECT_EQ(joinLogicalPath({L""}), L"");
}

TEST(ComponentTextTest, OnlyTheDatabaseDestinationsAndRecoveryAreaAreSelectable) {
    for (const wchar_t* name : {L"Vorlix Database", L"Archive Log Dest_0", L"Archive Log Dest_10",
                                L"Flash Recovery Area"}) {
        EXPECT_TRUE(selectableForBackup(name)) << name;
    }
    for (const wchar_t* name :
         {L"Server Parameter File", L"Control file", L"All TableSpaces", L"USERS",
          L"Datafile number=4", L"Archived Logs", L"Backup Files", L"Vorlix"}) {
        EXPECT_FALSE(selectableForBackup(name)) << name;
    }
}

TEST(ComponentTextTest, AFullPathSplitsAtItsLastBackslash) {
    const FileSpecification trace = splitFileSpecification(L"C:\\TRACE\\*.TRC");
    EXPECT_EQ(trace.path, L"C:\\TRACE");
    EXPECT_EQ(trace.fileSpec, L"*.TRC");
    const FileSpecification root = splitFileSpecification(L"C:\\system01.dbf");
    EXPECT_EQ(root.path, L"C:");
    EXPECT_EQ(root.fileSpec, L"system01.dbf");
    const FileSpecification bare = splitFileSpecification(L"system01.dbf");
    EXPECT_EQ(bare.path, L"");
    EXPECT_EQ(bare.fileSpec, L"system01.dbf");
}

TEST(ComponentTextTest, ABackupStampGivesItsFileTimeHighWordFirst) {
    EXPECT_EQ(parseBackupStamp(L"FILETIME=30000000,4000000000;"),
              (std::uint64_t{30000000} << 32) | 4000000000u);
    EXPECT_EQ(parseBackupStamp(L"FILETIME=0,7;DBID=1;"), 7u);
    EXPECT_EQ(parseBackupStamp(L"FILETIME=12"), std::nullopt);
    EXPECT_EQ(parseBackupStamp(L"DBID=1;FILETIME=1,2;"), std::nullopt);
    EXPECT_EQ(parseBackupStamp(L""), std::nullopt);
}

}  // namespace
}  // namespace snapscribe
