#include "snapscribe/host/trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host_test_support.h"

namespace snapscribe {
namespace {

using testing::CapturedStdout;
using testing::readWholeFile;
using testing::ScratchDirectory;
using testing::withoutCarriageReturns;
using testing::withoutTimeStamps;

constexpr const char* kEveryStartLine =
    "\nStarting Application Trace file"
    "\nEnable Vss event tracing"
    "\nEnable Vss Component tracing"
    "\nEnable Vss Files tracing"
    "\nEnable Vss Misc tracing"
    "\nEnable Vss Metadata tracing"
    "\nEnable Vss SQL tracing"
    "\nEnable Vss Time tracing";

TEST(TraceText, TheTimeStampHasTheClassicTwentyFourCharacterForm) {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 9;
    time.tm_wday = 3;
    time.tm_hour = 9;
    time.tm_min = 7;
    time.tm_sec = 5;
    EXPECT_EQ(timeStampText(time), "Wed Dec  9 09:07:05 2026");
    time.tm_mday = 19;
    EXPECT_EQ(timeStampText(time).size(), 24u);
    // Fields out of range still name a day and a month rather than reading
    // before the tables.
    time.tm_wday = -4;
    time.tm_mon = -1;
    EXPECT_EQ(timeStampText(time), "Wed Dec 19 09:07:05 2026");
}

TEST(TraceText, TheLevelWordIsReadInEachBase) {
    EXPECT_EQ(parseTraceLevel("26"), 26u);
    EXPECT_EQ(parseTraceLevel("0x1A"), 26u);
    EXPECT_EQ(parseTraceLevel("032"), 26u);
    EXPECT_EQ(parseTraceLevel("0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(parseTraceLevel("none"), 0u);
}

TEST(TraceText, StartLinesFollowTheBitsWithMiscAnnouncingTheFile) {
    const std::vector<const wchar_t*> lines = traceStartLines(TRC_SQL | TRC_MISC | TRC_EVENT);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_STREQ(lines[0], L"\nStarting Application Trace file");
    EXPECT_STREQ(lines[1], L"\nEnable Vss event tracing");
    EXPECT_STREQ(lines[2], L"\nEnable Vss Misc tracing");
    EXPECT_STREQ(lines[3], L"\nEnable Vss SQL tracing");
    EXPECT_TRUE(traceStartLines(0x100).empty());
}

class TraceTest : public ::testing::Test {
protected:
    std::string traced() const { return withoutCarriageReturns(readWholeFile(traceFile())); }
    std::wstring traceFile() const { return scratch_.file(L"writer.trc"); }

    // Opens the trace on a file with the given level and no stored settings.
    void openOnFile(std::uint32_t level) {
        writerSettings().TraceLevel = level;
        writerSettings().TraceFile = scratch_.narrowFile("writer.trc");
        ASSERT_EQ(initTrace("NOSUCHSID"), 0);
    }

    testing::TraceSettingsReset reset_;
    ScratchDirectory scratch_;
};

TEST_F(TraceTest, EntriesFormatWideAndNarrowArgumentsAndCountTheirCharacters) {
    openOnFile(TRC_EVENT);
    EXPECT_EQ(traceMsg(L"\n%s=%hs %d", L"wide", "narrow", 7), 14);
    EXPECT_EQ(traceMsgA(" %s/%ls", "narrow", L"wide"), 12);
    EXPECT_EQ(traceText(L"%s stays as it is"), 17);
    EXPECT_EQ(traced(), "\nEnable Vss event tracing\nwide=narrow 7 narrow/wide%s stays as it is");
}

TEST_F(TraceTest, WithTimeTracingAnEntryStartingWithALineFeedGetsTheTimeFirst) {
    openOnFile(TRC_TIME);
    const int written = traceMsg(L"\nstamped %d", 1);
    EXPECT_EQ(written, static_cast<int>(std::string("\nTime  : ").size()) + 24 + 9);
    traceMsgA("not stamped");
    traceText(L"\nstamped text");
    const std::string text = traced();
    EXPECT_EQ(withoutTimeStamps(text),
              "\nEnable Vss Time tracing\nstamped 1not stamped\nstamped text");
    EXPECT_NE(text.find("\nTime "), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos) << "the format's own line feed is dropped";
}

TEST_F(TraceTest, WithoutADestinationNothingIsWritten) {
    EXPECT_EQ(traceMsg(L"\nlost"), 0);
    EXPECT_EQ(traceMsgA("\nlost"), 0);
    EXPECT_EQ(traceText(L"\nlost"), 0);
}

TEST_F(TraceTest, AFileWithoutALevelSwitchesEveryKindOfTracingOn) {
    openOnFile(0);
    EXPECT_EQ(writerSettings().TraceLevel, kTraceLevelAll);
    const std::string text = traced();
    EXPECT_EQ(withoutTimeStamps(text), kEveryStartLine);
    const std::regex stamp("\nTime ");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), stamp),
                            std::sregex_iterator()),
              8)
        << "every start line carries the time";
}

TEST_F(TraceTest, ALevelWithoutAFileTracesToStandardOutput) {
    CapturedStdout out(scratch_.file(L"stdout.txt"));
    writerSettings().TraceLevel = TRC_FILES | TRC_MISC;
    EXPECT_EQ(initTrace("NOSUCHSID"), 0);
    traceMsgA("\nto the console");
    closeTrace();
    EXPECT_EQ(out.text(),
              "\nStarting Application Trace file\nEnable Vss Files tracing\nEnable Vss Misc "
              "tracing\nto the console\nClosing Application Trace file");
}

TEST_F(TraceTest, NeitherLevelNorFileMeansNoTraceButAnEmptyInstanceUsesStandardOutput) {
    EXPECT_EQ(initTrace("NOSUCHSID"), 0);
    EXPECT_EQ(traceMsgA("\nlost"), 0);
    EXPECT_EQ(writerSettings().TraceLevel, 0u);

    CapturedStdout out(scratch_.file(L"stdout.txt"));
    EXPECT_EQ(initTrace(""), 0);
    EXPECT_EQ(traceMsgA("\nusage"), 6);
    EXPECT_EQ(out.text(), "\nusage");
}

TEST_F(TraceTest, AFileInAMissingDirectoryFallsBackToStandardOutput) {
    CapturedStdout out(scratch_.file(L"stdout.txt"));
    writerSettings().TraceLevel = TRC_EVENT;
    writerSettings().TraceFile = scratch_.narrowFile("missing\\writer.trc");
    EXPECT_EQ(initTrace("NOSUCHSID"), 0);
    traceMsgA("\nstill traced");
    EXPECT_EQ(out.text(), "\nEnable Vss event tracing\nstill traced");
}

TEST_F(TraceTest, AnOpenTraceIsKeptAndAppendedToAcrossOpenings) {
    openOnFile(TRC_MISC);
    EXPECT_EQ(initTrace("NOSUCHSID"), 1);
    closeTrace();
    EXPECT_EQ(traceMsgA("\nafter close"), 0);
    EXPECT_TRUE(DeleteFileW(traceFile().c_str())) << "the closed trace still holds its file";

    openOnFile(TRC_MISC);
    closeTrace();
    openOnFile(TRC_MISC);
    closeTrace();
    EXPECT_EQ(traced(),
              "\nStarting Application Trace file\nEnable Vss Misc tracing\nClosing Application "
              "Trace file\nStarting Application Trace file\nEnable Vss Misc tracing\nClosing "
              "Application Trace file");
}

// Event threads trace while the main thread opens and closes the trace: an
// entry reported written is in the file, whole.
TEST_F(TraceTest, EntriesOfOtherThreadsSurviveTheTraceBeingClosedAndOpened) {
    constexpr int kWriters = 3;
    constexpr char kEntry[] = "\nan entry of an event thread, whole";
    std::atomic<bool> writing{true};
    std::atomic<int> written{0};
    auto write = [&] {
        while (writing) {
            if (traceMsgA(kEntry) > 0) ++written;
        }
    };
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i) writers.emplace_back(write);
    for (int round = 0; round < 300; ++round) {
        openOnFile(TRC_MISC);
        closeTrace();
    }
    writing = false;
    for (std::thread& writer : writers) writer.join();

    std::istringstream lines(traced());
    int entries = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        if (line == kEntry + 1) {
            ++entries;
            continue;
        }
        EXPECT_THAT(line,
                    ::testing::AnyOf("Starting Application Trace file", "Enable Vss Misc tracing",
                                     "Closing Application Trace file"));
    }
    EXPECT_GT(entries, 0);
    EXPECT_EQ(entries, written.load());
}

// Stored settings as the client library finds them (the environment first).
class StoredSetting {
public:
    StoredSetting(const char* name, const std::string& value) : name_(name) {
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~StoredSetting() { SetEnvironmentVariableA(name_, nullptr); }

private:
    const char* name_;
};

TEST_F(TraceTest, StoredSettingsGiveLevelFileAndRecoveryToolOptions) {
    StoredSetting level("VLX_TS1_VSS_TLEVEL", "0x10008");
    StoredSetting file("VLX_TS1_VSS_TNAME", scratch_.narrowFile("writer.trc"));
    StoredSetting options("VLX_TS1_VSS_ROPT", "nocatalog trace=1");
    EXPECT_EQ(initTrace("TS1"), 0);
    EXPECT_EQ(writerSettings().TraceLevel, TRC_SQL | TRC_MISC);
    EXPECT_EQ(writerSettings().TraceFile, scratch_.narrowFile("writer.trc"));
    EXPECT_EQ(recoveryToolOptions(), "nocatalog trace=1");
    EXPECT_EQ(traced(),
              "\nStarting Application Trace file\nEnable Vss Misc tracing\nEnable Vss SQL "
              "tracing\nBAKX options : [nocatalog trace=1]");
}

TEST_F(TraceTest, ValuesAlreadySetWinOverStoredOnesAndOctalLevelsAreRead) {
    StoredSetting level("VLX_TS2_VSS_TLEVEL", "010");
    StoredSetting file("VLX_TS2_VSS_TNAME", scratch_.narrowFile("stored.trc"));
    writerSettings().TraceFile = scratch_.narrowFile("writer.trc");
    EXPECT_EQ(initTrace("TS2"), 0);
    EXPECT_EQ(writerSettings().TraceLevel, TRC_MISC);
    EXPECT_EQ(readWholeFile(scratch_.file(L"stored.trc")), "<missing>");
    closeTrace();

    writerSettings().TraceLevel = TRC_EVENT;
    EXPECT_EQ(initTrace("TS2"), 0);
    EXPECT_EQ(writerSettings().TraceLevel, TRC_EVENT);
    EXPECT_EQ(recoveryToolOptions(), "") << "no options stored for TS2";
}

}  // namespace
}  // namespace snapscribe
