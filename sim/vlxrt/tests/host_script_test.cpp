#include "sim/vlxrt/host_script.h"

#include <gtest/gtest.h>

namespace wallethost {
namespace {

TEST(HostScriptTest, ReadsOptionsPluginAndSteps) {
    Options options;
    std::wstring error;
    ASSERT_TRUE(parseCommandLine({L"--server-flag", L"1", L"--register", L"nztwveapi",
                                  L"Z:\\p\\w.dll", L"login", L"sign=Z:\\h.bin,128", L"validate="},
                                 options, error))
        << std::string(error.begin(), error.end());
    EXPECT_EQ(options.serverFlag, 1);
    EXPECT_EQ(options.registration, L"nztwveapi");
    EXPECT_FALSE(options.nullRegistration);
    EXPECT_EQ(options.plugin, L"Z:\\p\\w.dll");
    ASSERT_EQ(options.steps.size(), 3u);
    EXPECT_EQ(options.steps[0].operation, L"login");
    EXPECT_TRUE(options.steps[0].arguments.empty());
    EXPECT_EQ(options.steps[1].arguments, (std::vector<std::wstring>{L"Z:\\h.bin", L"128"}));
    EXPECT_EQ(options.steps[2].operation, L"validate");
    EXPECT_TRUE(options.steps[2].arguments.empty());
}

TEST(HostScriptTest, RejectsWhatItCannotRun) {
    Options options;
    std::wstring error;
    EXPECT_FALSE(parseCommandLine({}, options, error));
    EXPECT_FALSE(parseCommandLine({L"w.dll", L"dance"}, options, error));
    EXPECT_EQ(error, L"unknown operation: dance");
    EXPECT_FALSE(parseCommandLine({L"w.dll", L"decrypt=a.bin"}, options, error));
    EXPECT_FALSE(parseCommandLine({L"w.dll", L"login=x,y,z"}, options, error));
    EXPECT_FALSE(parseCommandLine({L"--trace-level", L"256", L"w.dll"}, options, error));
    EXPECT_EQ(error, L"--trace-level needs a number up to 255");
    EXPECT_FALSE(parseCommandLine({L"--server-flag", L"on", L"w.dll"}, options, error));
    EXPECT_FALSE(parseCommandLine({L"--verbose", L"w.dll"}, options, error));
}

TEST(HostScriptTest, ReadsTheServiceOptions) {
    Options options;
    std::wstring error;
    ASSERT_TRUE(parseCommandLine(
        {L"--trace", L"t.trc", L"--trace-flags", L"72", L"--trace-level", L"15",
         L"--diagnostic-level", L"4", L"--settings-flags", L"4", L"--host-flags", L"65537",
         L"--parameters", L"p.ora", L"--borrowed-results", L"k.dll", L"login=entr:a::b::,pw"},
        options, error));
    EXPECT_EQ(options.services.traceFile, L"t.trc");
    EXPECT_EQ(options.services.traceFlags, 72u);
    EXPECT_EQ(options.services.traceLevel, 15u);
    EXPECT_EQ(options.services.diagnosticLevel, 4u);
    EXPECT_EQ(options.services.settingsFlags, 4u);
    EXPECT_EQ(options.services.hostFlags, 65537u);
    EXPECT_EQ(options.services.parameterFile, L"p.ora");
    EXPECT_TRUE(options.borrowedResults);
    EXPECT_EQ(options.steps[0].arguments, (std::vector<std::wstring>{L"entr:a::b::", L"pw"}));
}

TEST(HostScriptTest, NumbersAndHex) {
    std::uint32_t value = 0;
    EXPECT_TRUE(parseNumber(L"4294967295", value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_FALSE(parseNumber(L"4294967296", value));
    EXPECT_FALSE(parseNumber(L"", value));
    EXPECT_FALSE(parseNumber(L"-1", value));

    const std::uint8_t bytes[] = {0x00, 0x9f, 0xa0, 0xff};
    EXPECT_EQ(toHex(bytes, 4), "009fa0ff");
    EXPECT_EQ(toHex(bytes, 0), "");
}

}  // namespace
}  // namespace wallethost
