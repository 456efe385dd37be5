// The command line of the whole program: usage, exit statuses, refusals.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "snapscribe/host/tests/host_test_support.h"
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

TEST(CommandLine, TraceSettingsAreStoredAndRemovedWithoutRunningTheWriter) {
    ScratchDirectory scratch;
    const std::wstring db = L"F" + std::to_wstring(GetCurrentProcessId() % 100000000);
    const std::wstring name = L"VLX_" + db + L"_VSS_TNAME";
    const Finished stored =
        runSnapscribe(db + L" /tf C:\\x.trc", scratch.file(L""), vorlixClient());
    EXPECT_EQ(stored.exitCode, 0u);
    EXPECT_THAT(stored.output, Not(HasSubstr("Waiting for VSS events")));
    EXPECT_THAT(storedSetting(name), ::testing::Optional(std::wstring(L"C:\\x.trc")));

    const Finished removed = runSnapscribe(db + L" /tf \"\"", scratch.file(L""), vorlixClient());
    EXPECT_EQ(removed.exitCode, 0u);
    EXPECT_THAT(removed.output, HasSubstr("Current value of trace filename is C:\\x.trc"));
    EXPECT_EQ(storedSetting(name), std::nullopt);
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

// Ten bytes fit the trace settings' names but not the local descriptor.
TEST(CommandLine, ATenByteInstanceNameIsRefusedAServiceAndAWriter) {
    ScratchDirectory scratch;
    for (const wchar_t* arguments : {L"ABCDEFGHIJ /i", L"ABCDEFGHIJ"}) {
        const Finished run = runSnapscribe(arguments, scratch.file(L""));
        EXPECT_EQ(run.exitCode, 200u) << arguments;
        EXPECT_THAT(run.output, HasSubstr("Instance name ABCDEFGHIJ is longer than 9 bytes: the "
                                          "writer cannot connect to it: refused"));
        EXPECT_THAT(run.output, Not(HasSubstr("Waiting for VSS events")));
    }
    EXPECT_FALSE(serviceConfig(L"VorlixVssWriterABCDEFGHIJ").exists);
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
