#include "snapscribe/host/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace snapscribe
