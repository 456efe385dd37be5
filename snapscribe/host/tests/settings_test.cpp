#include "snapscribe/host/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "host_test_support.h"

namespace snapscribe {
namespace {

using testing::CapturedStdout;
using testing::readWholeFile;
using testing::ScratchDirectory;

TEST(RunProgram, WaitsForTheProgramAndAnswersWhetherItRan) {
    ScratchDirectory scratch;
    const std::wstring output = scratch.file(L"out.txt");
    EXPECT_TRUE(runProgram(L"cmd.exe /c echo finished> \"" + output + L"\""));
    EXPECT_EQ(readWholeFile(output), "finished\r\n");
    EXPECT_TRUE(runProgram(L"cmd.exe /c exit 7")) << "a failing exit code is still obtained";
    EXPECT_FALSE(runProgram(L"no-such-program-here.exe now"));
}

TEST(SettingNames, TheInstanceTakesThePlaceOfItsMarker) {
    EXPECT_EQ(instanceSettingName(kTraceLevelSetting, "DB1"), "VLX_DB1_VSS_TLEVEL");
    EXPECT_EQ(instanceSettingName(kTraceFileSetting, "ORCLE12345"), "VLX_ORCLE12345_VSS_TNAME");
    EXPECT_EQ(instanceSettingName(kToolOptionsSetting, ""), "VLX__VSS_ROPT");
}

TEST(GetSetting, ReadsTheClientLibrarysSettingIntoTheBufferAndTerminatesIt) {
    SetEnvironmentVariableA("VLX_GS1_VSS_ROPT", "catalog nocheck");
    char buffer[64];
    std::uint32_t length = 99;
    EXPECT_EQ(getSetting("VLX_GS1_VSS_ROPT", buffer, sizeof buffer, &length), 15u);
    EXPECT_STREQ(buffer, "catalog nocheck");
    EXPECT_EQ(length, 15u);

    char small[8];
    std::fill(std::begin(small), std::end(small), '#');
    EXPECT_EQ(getSetting("VLX_GS1_VSS_ROPT", small, sizeof small, &length), 7u);
    EXPECT_STREQ(small, "catalog");
    EXPECT_EQ(getSetting("VLX_GS1_VSS_ROPT", nullptr, 0, nullptr), 15u) << "existence probe";

    EXPECT_EQ(getSetting("VLX_GS1_MISSING", buffer, sizeof buffer, &length), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(getSetting("VLX_GS1_MISSING", nullptr, 0, nullptr), 0u);
    SetEnvironmentVariableA("VLX_GS1_VSS_ROPT", nullptr);
}

// What the administration tool stored, as the client library reads it.
std::string storedValue(const char* pattern, const std::string& sid) {
    char value[800];
    getSetting(instanceSettingName(pattern, sid).c_str(), value, sizeof value, nullptr);
    return value;
}

TEST(SaveTraceSettings, TheToolStoresWhatTheTraceLaterOpensAndRemovesItAgain) {
    testing::TraceSettingsReset reset;
    ScratchDirectory scratch;
    const std::string sid = "SV" + std::to_string(GetCurrentProcessId());
    const std::string file = scratch.narrowFile("db one.trc");  // a blank travels unquoted
    WriterSettings& settings = writerSettings();
    settings.TraceLevel = TRC_SQL | TRC_MISC;
    settings.TraceFile = file;
    CapturedStdout saving(scratch.file(L"saving.txt"));
    saveTraceSettings(sid);
    EXPECT_EQ(saving.text(), "\nTrace level for Vorlix " + sid +
                                 " VSS writer service is 65544\nTrace filename for Vorlix " + sid +
                                 " VSS writer service is " + file);
    EXPECT_EQ(storedValue(kTraceLevelSetting, sid), "65544");
    EXPECT_EQ(storedValue(kTraceFileSetting, sid), file);

    settings.TraceLevel = 0;
    settings.TraceFile.clear();
    ASSERT_EQ(initTrace(sid), 0);
    closeTrace();
    EXPECT_EQ(testing::withoutCarriageReturns(readWholeFile(scratch.file(L"db one.trc"))),
              "\nStarting Application Trace file\nEnable Vss Misc tracing\nEnable Vss SQL "
              "tracing\nClosing Application Trace file");

    settings.TraceLevel = kTraceLevelAll;
    settings.TraceFile = std::string(1, kTraceFileRemove);
    CapturedStdout removing(scratch.file(L"removing.txt"));
    saveTraceSettings(sid);
    EXPECT_EQ(removing.text(), "") << "removals print nothing";
    EXPECT_EQ(settings.TraceLevel, 0u);
    EXPECT_EQ(settings.TraceFile, "");
    EXPECT_EQ(storedValue(kTraceLevelSetting, sid), "");
    EXPECT_EQ(storedValue(kTraceFileSetting, sid), "");
}

}  // namespace
}  // namespace snapscribe
