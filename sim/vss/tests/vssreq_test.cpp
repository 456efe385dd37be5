// The requester against a real writer process: whole sequences, failures,
// the freeze timeout, documents of any content and a writer that dies.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "sim/vss/tests/process_harness.h"

using namespace vsssim::testing;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class VssreqTest : public ::testing::Test {
protected:
    void SetUp() override {
        instance_ = uniqueName(L"T");
        for (const wchar_t* directory :
             {L"data", L"data\\logs", L"data\\archive", L"data\\archive\\x"})
            CreateDirectoryW((scratch_ / directory).c_str(), nullptr);
        writeFile(data(L"a.dat"), "alpha");
        writeFile(data(L"b.dat"), "bravo");
        writeFile(data(L"junk.tmp"), "never backed up");
        writeFile(data(L"logs\\1.log"), "log one");
        writeFile(data(L"archive\\x\\y.arc"), "archived");
    }

    std::wstring data(const std::wstring& name) const { return scratch_ / (L"data\\" + name); }
    std::wstring set(const std::wstring& name) const { return scratch_ / name; }
    // Where a data file's copy lies in a set.
    bool isStored(const std::wstring& setName, const std::wstring& file) const {
        return fileExists(set(setName) + L"\\files\\C" + data(file).substr(2));
    }
    std::wstring database() const { return L"\"" + instance_ + L"\\Sample Database\""; }
    std::wstring instanceOption() const { return L" --instance \"" + instance_ + L"\""; }

    VssreqResult backup(const std::wstring& setName, const std::wstring& more = L"") {
        return runVssreq(scratch_, L"backup --set \"" + set(setName) + L"\"" + instanceOption() +
                                       L" --component " + database() + more);
    }

    VssreqResult restore(const std::wstring& setName, const std::wstring& more = L"") {
        return runVssreq(scratch_, L"restore --set \"" + set(setName) + L"\"" + instanceOption() +
                                       L" --component " + database() + more);
    }

    ScratchDirectory scratch_;
    std::wstring instance_;
};

TEST_F(VssreqTest, ListsTheWriterWithItsComponentTreeAndExclusions) {
    SampleWriterProcess writer(scratch_, instance_);
    ASSERT_TRUE(writer.subscribed());
    VssreqResult listed = runVssreq(scratch_, L"writers" + instanceOption());
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_THAT(listed.output, HasSubstr("Writer Sample Writer"));
    EXPECT_THAT(listed.output, HasSubstr("backup schema 0x0000017B"));
    EXPECT_THAT(listed.output, HasSubstr("restore method 2, service \"\", user procedure \"\", "
                                         "writer restore 3, reboot not required"));
    EXPECT_THAT(listed.output, HasSubstr("name \"Archive\", type file group"));
    EXPECT_THAT(listed.output, HasSubstr("selectable no, selectable for restore yes"));
    EXPECT_THAT(listed.output, HasSubstr("\\*.dat mask 0x00000F01"));
    EXPECT_THAT(listed.output, HasSubstr("\\logs\\*.log mask 0x00000F0E"));
    EXPECT_THAT(listed.output, HasSubstr("\\archive\\* (recursive) mask 0x00000F06"));
    EXPECT_THAT(listed.output, HasSubstr("\\*.tmp\n"));

    // After Unsubscribe the writer can no longer be found.
    EXPECT_EQ(writer.stop(), 0);
    VssreqResult after = runVssreq(scratch_, L"writers" + instanceOption());
    EXPECT_THAT(after.output, HasSubstr("No subscribed writer"));
}

TEST_F(VssreqTest, BacksUpAndRestoresInPlaceAndToANewTarget) {
    SampleWriterProcess writer(scratch_, instance_);
    ASSERT_TRUE(writer.subscribed());
    VssreqResult backedUp = backup(L"set1", L" --options \"PRE_SQLCMD=checkpoint\"");
    ASSERT_EQ(backedUp.exitCode, 0) << backedUp.output;
    for (const char* event : {"PrepareBackup", "PrepareSnapshot", "Freeze", "Thaw", "PostSnapshot",
                              "BackupComplete", "BackupShutdown"})
        EXPECT_THAT(backedUp.output, HasSubstr(std::string(event))) << "no line for " << event;
    EXPECT_THAT(backedUp.output, Not(HasSubstr("failed")));
    EXPECT_THAT(writer.log(), HasSubstr("backup type 1, components selected yes"));
    EXPECT_THAT(writer.log(), HasSubstr("path affected yes"));
    EXPECT_THAT(writer.log(), HasSubstr("backup succeeded yes"));
    std::string document = readFile(set(L"set1\\backup-document.txt"));
    EXPECT_THAT(document, HasSubstr("backup-metadata OPTIONS=PRE_SQLCMD=checkpoint;TYPE=1"));
    EXPECT_THAT(document, HasSubstr("backup-stamp FILETIME="));
    EXPECT_THAT(document, Not(HasSubstr("junk.tmp")));

    // Log files are for the log-type backups only (mask 0xF0E).
    EXPECT_TRUE(isStored(L"set1", L"a.dat"));
    EXPECT_FALSE(isStored(L"set1", L"logs\\1.log"));

    writeFile(data(L"a.dat"), "damaged");
    DeleteFileW(data(L"b.dat").c_str());
    VssreqResult restored = restore(L"set1", L" --options \"POST_WTRCMD=NORECOVER\"");
    ASSERT_EQ(restored.exitCode, 0) << restored.output;
    EXPECT_EQ(readFile(data(L"a.dat")), "alpha");
    EXPECT_EQ(readFile(data(L"b.dat")), "bravo");
    EXPECT_THAT(writer.log(),
                HasSubstr("selected yes, additional no, options POST_WTRCMD=NORECOVER"));
    EXPECT_THAT(writer.log(), HasSubstr("backup metadata OPTIONS=PRE_SQLCMD=checkpoint;TYPE=1"));

    std::wstring alternate = scratch_ / L"moved";
    VssreqResult moved = restore(L"set1", L" --new-target \"" + scratch_ / L"data" + L"|*.dat|" +
                                              alternate + L"\" --additional-restores");
    ASSERT_EQ(moved.exitCode, 0) << moved.output;
    EXPECT_EQ(readFile(alternate + L"\\b.dat"), "bravo");
    EXPECT_THAT(writer.log(), HasSubstr("additional yes"));
    EXPECT_THAT(writer.log(), HasSubstr("-> " + std::string(alternate.begin(), alternate.end())));
}

TEST_F(VssreqTest, RestoresOnlyTheChosenSubcomponent) {
    SampleWriterProcess writer(scratch_, instance_);
    ASSERT_TRUE(writer.subscribed());
    // A differential backup takes the log files of "Data" and the files of "Archive".
    ASSERT_EQ(backup(L"set1", L" --type DIFFERENTIAL").exitCode, 0);
    writeFile(data(L"logs\\1.log"), "changed");
    writeFile(data(L"archive\\x\\y.arc"), "changed");
    std::wstring archive = instance_ + L"\\Sample Database\\Archive";
    VssreqResult restored = restore(L"set1", L" --subcomponent \"" + archive + L"\"");
    ASSERT_EQ(restored.exitCode, 0) << restored.output;
    EXPECT_EQ(readFile(data(L"archive\\x\\y.arc")), "archived");
    EXPECT_EQ(readFile(data(L"logs\\1.log")), "changed");
    std::string instance(instance_.begin(), instance_.end());
    EXPECT_THAT(writer.log(),
                HasSubstr("subcomponent " + instance + "\\Sample Database : Archive"));
}

TEST_F(VssreqTest, IncrementalBackupGetsThePreviousStampAndKeepsOnlyChangedFiles) {
    SampleWriterProcess writer(scratch_, instance_);
    ASSERT_TRUE(writer.subscribed());
    ASSERT_EQ(backup(L"full").exitCode, 0);
    Sleep(50);  // file times must move past the stamp
    writeFile(data(L"archive\\new.arc"), "new archive");
    VssreqResult incremental =
        backup(L"incr", L" --type INCREMENTAL --previous \"" + set(L"full") + L"\"");
    ASSERT_EQ(incremental.exitCode, 0) << incremental.output;
    EXPECT_THAT(writer.log(), HasSubstr("previous stamp FILETIME="));
    // Database files are for full backups only; log and group files are taken,
    // and the group files the writer reports as unchanged are dropped.
    EXPECT_FALSE(isStored(L"incr", L"a.dat"));
    EXPECT_TRUE(isStored(L"incr", L"logs\\1.log"));
    EXPECT_TRUE(isStored(L"incr", L"archive\\new.arc"));
    EXPECT_FALSE(isStored(L"incr", L"archive\\x\\y.arc"));
    EXPECT_THAT(incremental.output, HasSubstr("unchanged since the previous backup"));
}

TEST_F(VssreqTest, VolumeBasedBackupAsksTheWriterAboutPaths) {
    SampleWriterProcess writer(scratch_, instance_);
    ASSERT_TRUE(writer.subscribed());
    VssreqResult result =
        runVssreq(scratch_, L"backup --type LOG --set \"" + set(L"vol") + L"\"" + instanceOption() +
                                L" --volume \"" + scratch_ / L"data\\logs" + L"\"");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_THAT(writer.log(), HasSubstr("components selected no"));
    EXPECT_THAT(writer.log(), HasSubstr("path affected no"));
    EXPECT_THAT(result.output, HasSubstr("1 files copied"));
    EXPECT_TRUE(isStored(L"vol", L"logs\\1.log"));
}

TEST_F(VssreqTest, RefusesSelectionsAndSetsItCannotUse) {
    SampleWriterProcess writer(scratch_, instance_);
    ASSERT_TRUE(writer.subscribed());
    VssreqResult unknown = runVssreq(scratch_, L"backup --set \"" + set(L"x") + L"\"" +
                                                   instanceOption() + L" --component \"NO\\SUCH\"");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_THAT(unknown.output, HasSubstr("no writer has the component NO\\SUCH"));
    EXPECT_THAT(writer.log(), Not(HasSubstr("PrepareBackup")));
    VssreqResult noSet = restore(L"missing");
    EXPECT_EQ(noSet.exitCode, 1);
    EXPECT_THAT(noSet.output, HasSubstr("the set has no backup document"));
    VssreqResult both =
        runVssreq(scratch_, L"backup --set \"" + set(L"x") + L"\" --component A --volume C:\\");
    EXPECT_EQ(both.exitCode, 1);
    EXPECT_EQ(runVssreq(scratch_, L"backup --set x --type WEEKLY --volume C:\\").exitCode, 1);
}

TEST_F(VssreqTest, AFailedEventReportsTheWriterFailureAndAbortsTheBackup) {
    SampleWriterProcess writer(scratch_, instance_, L"--fail-event Freeze --failure 800423F3");
    ASSERT_TRUE(writer.subscribed());
    VssreqResult result = backup(L"set1");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.output,
                HasSubstr("failed; writer failure 0x800423F3 VSS_E_WRITERERROR_RETRYABLE"));
    EXPECT_THAT(writer.log(), HasSubstr("Freeze\nAbort\nBackupShutdown\n"));
    EXPECT_FALSE(fileExists(set(L"set1\\backup-document.txt")));
}

TEST_F(VssreqTest, AStructuredExceptionEndsTheEventButNotTheWriter) {
    SampleWriterProcess writer(scratch_, instance_, L"--raise-event PrepareSnapshot");
    ASSERT_TRUE(writer.subscribed());
    VssreqResult result = backup(L"set1");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(
        result.output,
        HasSubstr("failed; writer failure 0x00000000; exception 0x4FFF0007 left the event"));
    EXPECT_THAT(result.output, HasSubstr("Abort"));
    EXPECT_THAT(writer.log(), HasSubstr("PrepareSnapshot\nAbort\nBackupShutdown\n"));
}

TEST_F(VssreqTest, AbortsWhenTheFreezeOutlastsTheWritersTimeout) {
    SampleWriterProcess writer(scratch_, instance_, L"--freeze-timeout 300 --freeze-ms 2000");
    ASSERT_TRUE(writer.subscribed());
    VssreqResult result = backup(L"set1");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.output, HasSubstr("timed out after 300 ms"));
    EXPECT_THAT(writer.log(), HasSubstr("Freeze\nAbort\nBackupShutdown\n"));
    EXPECT_THAT(writer.log(), Not(HasSubstr("Thaw")));
}

TEST_F(VssreqTest, AbortsAfterTheChosenEvent) {
    SampleWriterProcess writer(scratch_, instance_);
    ASSERT_TRUE(writer.subscribed());
    VssreqResult result = backup(L"set1", L" --abort-after PrepareSnapshot");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_THAT(writer.log(), HasSubstr("path affected yes\nAbort\nBackupShutdown\n"));
    EXPECT_THAT(writer.log(), Not(HasSubstr("Freeze")));
}

TEST_F(VssreqTest, RestoreMetadataOfAnyUnitsComesBackBitExact) {
    std::vector<wchar_t> units;
    for (unsigned value = 1; value <= 0xFFFF; value += 7)
        units.push_back(static_cast<wchar_t>(value));
    for (wchar_t special :
         {L'\n', L'\r', L'\\', L';', L' ', wchar_t(0xD800), wchar_t(0xDFFF), wchar_t(0xFFFF)})
        units.push_back(special);
    units.push_back(L' ');
    std::string bytes(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t));
    writeFile(scratch_ / L"metadata.bin", bytes);

    SampleWriterProcess writer(scratch_, instance_,
                               L"--restore-metadata \"" + scratch_ / L"metadata.bin" +
                                   L"\" --restored-metadata \"" + scratch_ / L"restored.bin" +
                                   L"\"");
    ASSERT_TRUE(writer.subscribed());
    ASSERT_EQ(backup(L"set1").exitCode, 0);
    VssreqResult restored = restore(L"set1");
    ASSERT_EQ(restored.exitCode, 0) << restored.output;
    EXPECT_EQ(readFile(scratch_ / L"restored.bin"), bytes);
}

TEST_F(VssreqTest, AWriterKilledMidSequenceIsReportedAsFailed) {
    SampleWriterProcess writer(scratch_, instance_, L"--freeze-ms 60000");
    ASSERT_TRUE(writer.subscribed());
    ChildProcess requester(programPath(L"vssreq.exe"),
                           L"backup --set \"" + set(L"set1") + L"\"" + instanceOption() +
                               L" --component " + database(),
                           scratch_ / L"killed.out");
    for (int waited = 0; waited < 3000 && writer.log().find("Freeze") == std::string::npos;
         ++waited)
        Sleep(10);
    ASSERT_THAT(writer.log(), HasSubstr("Freeze"));
    writer.kill();
    EXPECT_EQ(requester.finish(), 2);
    EXPECT_THAT(requester.output(), HasSubstr("Freeze           Sample Writer"));
    EXPECT_THAT(requester.output(), HasSubstr("the writer process is gone"));

    // The dead writer's subscription is dropped instead of failing every listing.
    VssreqResult listed = runVssreq(scratch_, L"writers" + instanceOption());
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_THAT(listed.output, HasSubstr("No subscribed writer"));
}

}  // namespace
