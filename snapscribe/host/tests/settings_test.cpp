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

}  // namespace
}  // namespace snapscribe
