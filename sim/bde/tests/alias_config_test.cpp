// The engine's configuration file and parameter lists.

#include "sim/bde/alias_config.h"

#include <gtest/gtest.h>

namespace idapi {
namespace {

TEST(AliasConfig, ReadsWhatItWritesAndToleratesHandEditing) {
    const std::vector<Alias> aliases = parseConfig(
        "; comment\r\n\r\n[TRVN_DATA]\r\nDRIVER=VORLIX\r\nSERVER NAME = TRVN \r\nUSER NAME=dlv\r\n"
        "[other]\ndriver=VORLIX\nEMPTY=\n");
    ASSERT_EQ(aliases.size(), 2u);
    EXPECT_EQ(aliases[0].name, "TRVN_DATA");
    EXPECT_EQ(aliases[0].driver, "VORLIX");
    EXPECT_EQ(aliases[0].parameters, (Parameters{{"SERVER NAME", " TRVN"}, {"USER NAME", "dlv"}}));
    EXPECT_EQ(aliases[1].parameters, (Parameters{{"EMPTY", ""}}));
    EXPECT_EQ(parseConfig(formatConfig(aliases))[0].parameters, aliases[0].parameters);
    EXPECT_EQ(formatConfig({aliases[1]}),
              "; database engine aliases\r\n\r\n[other]\r\nDRIVER=VORLIX\r\n"
              "EMPTY=\r\n");
    EXPECT_TRUE(parseConfig("").empty());
}

TEST(AliasConfig, NamesTheLineItCannotRead) {
    EXPECT_THROW(parseConfig("[A]\r\nDRIVER=X\r\nno equals sign\r\n"), ConfigError);
    try {
        parseConfig("[A]\nDRIVER=X\n\nnonsense");
    } catch (const ConfigError& error) {
        EXPECT_STREQ(error.what(), "line 4 is not understood: nonsense");
    }
    EXPECT_THROW(parseConfig("KEY=before any section"), ConfigError);
    EXPECT_THROW(parseConfig("[A]\nSERVER NAME=x\n[B]\nDRIVER=V"), ConfigError);
}

TEST(AliasConfig, AliasParameterListsReadQuotesAndMergeWithoutCase) {
    const Parameters alias =
        parseAliasParameters("SERVER NAME: ELSEWHERE;USER NAME:someone;PATH:c:\\data;");
    EXPECT_EQ(
        alias,
        (Parameters{{"SERVER NAME", "ELSEWHERE"}, {"USER NAME", "someone"}, {"PATH", "c:\\data"}}));
    const Parameters given = parseAliasParameters("server name:\"TRVN\";PASSWORD: \"se;cret:1\" ");
    EXPECT_EQ(parameter(given, "PASSWORD"), "se;cret:1");
    const Parameters result = merged(alias, given);
    EXPECT_EQ(parameter(result, "SERVER NAME"), "TRVN");
    EXPECT_EQ(parameter(result, "user name"), "someone");
    EXPECT_EQ(parameter(result, "MISSING"), "");
    EXPECT_TRUE(parseAliasParameters(" ; ").empty());
    EXPECT_THROW(parseAliasParameters("SERVER NAME: X;NO VALUE"), ConfigError);
}

}  // namespace
}  // namespace idapi
