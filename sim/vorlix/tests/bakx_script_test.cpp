// The recovery tool's command line, commands and answer messages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/vorlix/tools/bakx_script.h"

namespace vorlix::bakx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Kind = ToolCommand::Kind;

ToolCommand parsed(const std::string& text) {
    ToolCommand command;
    std::string error;
    EXPECT_TRUE(parseCommand(text, command, error)) << text << ": " << error;
    return command;
}

std::string refusal(const std::string& text) {
    ToolCommand command;
    std::string error;
    EXPECT_FALSE(parseCommand(text, command, error)) << text;
    return error;
}

TEST(BakxScript, CommandLineOfTheWriterAndTheStackOption) {
    ToolOptions o;
    std::string error;
    ASSERT_TRUE(parseToolArguments({"TARGET", "/", "PIPE", "VSS", "TIMEOUT", "360"}, o, error));
    EXPECT_EQ(o.target, "");
    EXPECT_EQ(o.inputPipe, "vlx$bakx_vss_in");
    EXPECT_EQ(o.outputPipe, "vlx$bakx_vss_out");
    EXPECT_EQ(o.timeoutSeconds, 360);
    EXPECT_EQ(o.stack, StackShape::Lines);
    ASSERT_TRUE(parseToolArguments(
        {"target", "@DLVDB", "pipe", "vss", "timeout", "5", "stack", "whole"}, o, error));
    EXPECT_EQ(o.target, "@DLVDB");
    EXPECT_EQ(o.stack, StackShape::Whole);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"TARGET", "/", "PIPE", "VSS"},
             {"TARGET", "/", "PIPE", "VSS", "TIMEOUT"},
             {"TARGET", "/", "PIPE", "VSS", "TIMEOUT", "-1"},
             {"TARGET", "/", "PIPE", "VSS", "TIMEOUT", "9999999"},
             {"TARGET", "/", "PIPE", "VSS", "TIMEOUT", "3", "STACK", "TALL"},
             {"TARGET", "/", "PIPE", "VSS", "TIMEOUT", "3", "LOG", "x"}})
        EXPECT_FALSE(parseToolArguments(bad, o, error)) << bad.size();
}

TEST(BakxScript, SplitsCommandsAtSemicolonsOutsideQuotes) {
    std::string rest;
    EXPECT_THAT(splitCommands(" set echo on;catalog archivelog 'a;b.arc' ;; exit; ", rest),
                ElementsAre("set echo on", "catalog archivelog 'a;b.arc'", "exit"));
    EXPECT_EQ(rest, "");
    EXPECT_THAT(splitCommands("recover database; CONFIGURE X TO \"c;d", rest),
                ElementsAre("recover database"));
    EXPECT_EQ(rest, "CONFIGURE X TO \"c;d");
}

TEST(BakxScript, EveryCommandTheWriterSends) {
    EXPECT_TRUE(parsed("set echo on").echo);
    EXPECT_FALSE(parsed("SET ECHO OFF").echo);
    auto c = parsed("catalog archivelog 'C:\\arch dir\\ARC00003_1.ARC'");
    EXPECT_EQ(c.kind, Kind::Catalog);
    EXPECT_EQ(statementFor(c), "alter database register logfile 'C:\\arch dir\\ARC00003_1.ARC'");
    EXPECT_EQ(statementFor(parsed("recover database")), "alter database recover database");
    c = parsed("recover database until scn 4294967295");
    EXPECT_EQ(statementFor(c), "alter database recover database until change 4294967295");
    c = parsed("reset database to incarnation 2");
    EXPECT_EQ(c.kind, Kind::ResetIncarnation);
    EXPECT_THAT(statementFor(c), HasSubstr("resetIncarnation(2)"));
    c = parsed("RECOVER DATAFILE 1,5 , 9");
    EXPECT_THAT(c.datafiles, ElementsAre(1u, 5u, 9u));
    EXPECT_EQ(statementFor(c), "alter database recover datafile 1,5,9");
    c = parsed("RECOVER TABLESPACE users,Tools");
    EXPECT_EQ(statementFor(c), "alter database recover tablespace \"USERS\",\"TOOLS\"");
    c = parsed("CONFIGURE SNAPSHOT CONTROLFILE NAME TO \"C:\\snap dir\\SNCF.ORA\"");
    EXPECT_EQ(c.kind, Kind::ConfigureSnapshot);
    EXPECT_EQ(c.file, "C:\\snap dir\\SNCF.ORA");
    EXPECT_EQ(parsed("exit").kind, Kind::Exit);
}

TEST(BakxScript, RefusesWhatItDoesNotKnow) {
    EXPECT_THAT(refusal("recover everything"), HasSubstr("found \"everything\""));
    EXPECT_THAT(refusal("recover datafile 1,"), HasSubstr("found the end of the command"));
    refusal("recover datafile x");
    refusal("recover database until scn");
    refusal("recover database until time 5");
    refusal("catalog archivelog C:\\a.arc");
    refusal("catalog archivelog \"it's.arc\"");  // would break out of the statement's quotes
    refusal("catalog archivelog 'a.arc");
    refusal("set echo");
    refusal("exit now");
    refusal("backup database");
}

TEST(BakxScript, AnswerMessagesInBothStackShapes) {
    std::string prompt = promptLine("vlx$bakx_vss_in");
    EXPECT_THAT(prompt, ::testing::StartsWith(kPromptPrefix));
    EXPECT_THAT(answerMessages({"echo"}, {}, StackShape::Lines, prompt),
                ElementsAre(ElementsAre("echo"), ElementsAre(prompt)));
    EXPECT_THAT(answerMessages({}, {"e1", "e2"}, StackShape::Lines, prompt),
                ElementsAre(ElementsAre(kStackBanner), ElementsAre("e1"), ElementsAre("e2"),
                            ElementsAre(prompt)));
    EXPECT_THAT(answerMessages({"out"}, {"e1", "e2"}, StackShape::Whole, ""),
                ElementsAre(ElementsAre("out"), ElementsAre(kStackBanner, "e1", "e2")));
}

TEST(BakxScript, LongLinesAreCutToThePipeItemSize) {
    std::string longLine(1001, 'x');
    auto cut = cutLines({longLine, ""});
    ASSERT_EQ(cut.size(), 4u);
    EXPECT_EQ(cut[0].size(), 500u);
    EXPECT_EQ(cut[1].size(), 500u);
    EXPECT_EQ(cut[2], "x");
    EXPECT_EQ(cut[3], "");
}

TEST(BakxScript, ChangeNamedByARecoveryError) {
    EXPECT_EQ(neededChange("VLX-00279: change 1040 needed for data file 2"), 1040u);
    EXPECT_EQ(neededChange("VLX-00308: cannot open archived log 'x'"), 0u);
    EXPECT_EQ(neededChange("change x"), 0u);
}

}  // namespace
}  // namespace vorlix::bakx
