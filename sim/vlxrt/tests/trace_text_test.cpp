// The run-time stand-ins' texts: trace lines, hex dumps, the parameter file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/vlxrt/trace_text.h"

namespace {

using vlxsim::parameterValue;

TEST(TraceLines, EndWithExactlyOneLineBreak) {
    EXPECT_EQ(vlxsim::classicLine("op", "entry\n"), "op: entry\n");
    EXPECT_EQ(vlxsim::classicLine("op", "no break"), "op: no break\n");
    EXPECT_EQ(vlxsim::diagnosticLine(6, 0x4000000000000004ull, "op", "exit\n"),
              "diag level=6 mask=0x4000000000000004 op: exit\n");
}

TEST(TraceLines, HexDumpHasATitleAndSixteenBytesARow) {
    std::vector<std::uint8_t> data(17);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 15);
    std::vector<std::string> lines;
    vlxsim::hexDump("hash", data.data(), 17, [&](const std::string& l) { lines.push_back(l); });
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "hash (17 bytes)");
    EXPECT_EQ(lines[1], "00000000  00 0f 1e 2d 3c 4b 5a 69 78 87 96 a5 b4 c3 d2 e1");
    EXPECT_EQ(lines[2], "00000010  f0");

    lines.clear();
    vlxsim::hexDump("empty", nullptr, 0, [&](const std::string& l) { lines.push_back(l); });
    EXPECT_EQ(lines, std::vector<std::string>{"empty (0 bytes)"});
}

TEST(ParameterFile, FindsNamesWithoutCaseAndSkipsComments) {
    const std::string file =
        "# ssl_entrust_password = commented\r\n"
        "other=1\r\n"
        "  SSL_Entrust_Password =  first value  # trailing note\r\n"
        "ssl_entrust_password=second\n"
        "ssl_entrust_passwordx = not this one\n"
        "no equals sign here\n";
    EXPECT_EQ(parameterValue(file, "ssl_entrust_password", 1), "first value");
    EXPECT_EQ(parameterValue(file, "ssl_entrust_password", 2), "second");
    EXPECT_EQ(parameterValue(file, "ssl_entrust_password", 3), std::nullopt);
    EXPECT_EQ(parameterValue(file, "ssl_entrust_classpath", 1), std::nullopt);
    EXPECT_EQ(parameterValue("", "other", 1), std::nullopt);
    EXPECT_EQ(parameterValue("last=no break at end", "last", 1), "no break at end");
}

}  // namespace
