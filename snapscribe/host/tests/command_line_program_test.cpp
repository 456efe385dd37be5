// The command line of the whole program: usage, exit statuses, refusals.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host_test_support.h"
#include "program_harness.h"

namespace snapscribe::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(CommandLine, WithoutArgumentsTheUsageGoesToStandardOutputWithStatusMinusOne) {
    ScratchDirectory scratch;
    const Finished run = runSnapscribe(L"", scratch.file(L""));
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(-1));
    EXPECT_THAT(run.output, HasSubstr("snapscribe.exe options are:\n\n\t{ /q [/start | /stop | "
                                      "/status] } | \n\t{ SID [/tl <trace_level>]"));
    EXPECT_THAT(run.output, EndsWith("\n\n\t/d to De-Install Vorlix VSS writer Service for "
                                     "specified SID\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("/fp failphase")));
}

TEST(CommandLine, QueryEndsWithStatus200WhateverFollows) {
    ScratchDirectory scratch;
    EXPECT_EQ(runSnapscribe(L"/q", scratch.file(L"")).exitCode, 200u);
    EXPECT_EQ(runSnapscribe(L"/Q /other", scratch.file(L"")).exitCode, 200u);
}

TEST(CommandLine, RemovingStoredTraceSettingsEndsWithZeroWithoutRunningTheWriter) {
    ScratchDirectory scratch;
    const Finished level = runSnapscribe(L"DB1 /tl 0", scratch.file(L""));
    EXPECT_EQ(level.exitCode, 0u);
    EXPECT_THAT(level.output, Not(HasSubstr("Waiting for VSS events")));
    EXPECT_EQ(runSnapscribe(L"DB1 /tf \"\"", scratch.file(L"")).exitCode, 0u);
}

TEST(CommandLine, AnInstanceNameBeyondTenBytesIsRefused) {
    ScratchDirectory scratch;
    const Finished run = runSnapscribe(L"ABCDEFGHIJK /i", scratch.file(L""));
    EXPECT_EQ(run.exitCode, 200u);
    EXPECT_THAT(run.output,
                HasSubstr("Instance name ABCDEFGHIJK is longer than 10 bytes: refused"));
    EXPECT_FALSE(serviceConfig(L"VorlixVssWriterABCDEFGHIJK").exists);

    EXPECT_EQ(runSnapscribe(L"ABCDEFGHIJ /tl 0", scratch.file(L"")).exitCode, 0u);
}

TEST(CommandLine, APasswordLineBeyond199CharactersIsRefused) {
    ScratchDirectory scratch;
    ProgramOptions options;
    options.input = std::string(200, 'p') + "\r\n";
    const Finished run = runSnapscribe(L"PW1 /i /user:someone", scratch.file(L""), options);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.output, HasSubstr("The password is longer than 199 characters: not installed"));
    EXPECT_FALSE(serviceConfig(L"VorlixVssWriterPW1").exists);
}

}  // namespace
}  // namespace snapscribe::testing
