// The writer started by hand: refused by the service dispatcher, it runs in
// its console until Ctrl-C, visible to the requester meanwhile; with the
// client library it reads its trace and developer settings.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "snapscribe/host/tests/host_test_support.h"
#include "program_harness.h"

namespace snapscribe::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ConsoleWriterTest : public ::testing::Test {
protected:
    ConsoleWriterTest() : db(L"C" + std::to_wstring(GetCurrentProcessId() % 100000000)) {}

    // Settings that trace everything but the times of the instance to a file of the test.
    std::map<std::wstring, std::wstring> traced(bool developer = false) {
        std::map<std::wstring, std::wstring> settings = {
            {L"VLX_" + db + L"_VSS_TLEVEL", L"65567"},
            {L"VLX_" + db + L"_VSS_TNAME", scratch.file(L"writer.trc")}};
        if (developer) settings[L"VLX_VSS_DEV_ENVIRONMENT"] = L"1";
        return settings;
    }
    std::string trace() {
        return withoutCarriageReturns(readWholeFile(scratch.file(L"writer.trc")));
    }
    std::wstring identify() { return L"writers --instance " + db; }

    ScratchDirectory scratch;
    const std::wstring db;
};

TEST_F(ConsoleWriterTest, StartedByHandItServesUntilCtrlCAndEndsWithZero) {
    ConsoleWriter writer(db, scratch.file(L""), ProgramOptions{});
    ASSERT_TRUE(writer.serving()) << writer.output();
    EXPECT_THAT(writer.requester(identify()), HasSubstr("Vorlix VSS Writer - " + narrow(db)));
    EXPECT_EQ(writer.stop(), 0u);
}

TEST_F(ConsoleWriterTest, UnknownWordsAndOptionsWithoutTheirValueAreTracedAndSkipped) {
    ConsoleWriter writer(db + L" /fp x /tl", scratch.file(L""), vorlixClient(traced()));
    ASSERT_TRUE(writer.serving()) << writer.output();
    EXPECT_EQ(writer.stop(), 0u);
    const std::string text = trace();
    EXPECT_THAT(text,
                HasSubstr("Ignored argument /fp\nIgnored argument x\nIgnored argument /tl\n"));
    EXPECT_THAT(text, HasSubstr("\nChecking if can run as Service"));
    EXPECT_THAT(text, HasSubstr("Vorlix VSS writer version 11.2.0.0.0 Beta"))
        << "the start event is traced as well";
}

TEST_F(ConsoleWriterTest, InDeveloperModeAnUnknownFailPhaseLeavesEveryEventWorking) {
    ConsoleWriter writer(db + L" /fp q", scratch.file(L""), vorlixClient(traced(true)));
    ASSERT_TRUE(writer.serving()) << writer.output();
    EXPECT_THAT(writer.requester(identify()), HasSubstr("Vorlix VSS Writer - " + narrow(db)));
    EXPECT_EQ(writer.stop(), 0u);
    const std::string text = trace();
    EXPECT_THAT(text, HasSubstr("Ignored parameter q\n"));
    EXPECT_THAT(text, HasSubstr("Received event - Identify ()\n"));
    EXPECT_THAT(text, HasSubstr("Identify () Exiting(TRUE)"));
}

TEST_F(ConsoleWriterTest, InDeveloperModeTheChosenEventStallsAndFailsWithoutAFailureCode) {
    ConsoleWriter writer(db + L" /h 1 /fp y", scratch.file(L""), vorlixClient(traced(true)));
    ASSERT_TRUE(writer.serving()) << writer.output();
    const std::string answer = writer.requester(identify());
    EXPECT_THAT(answer, HasSubstr("failed; writer failure 0x00000000"));
    EXPECT_EQ(writer.stop(), 0u);
    const std::string text = trace();
    EXPECT_THAT(text, HasSubstr("Received event - Identify () - FAILED "));
    EXPECT_THAT(text, HasSubstr("\nSleeping 1 secondsWake up."));
    EXPECT_THAT(text, HasSubstr("Identify () Exiting(FALSE)"));
}

TEST_F(ConsoleWriterTest, InDeveloperModeTheUsageShowsTheDeveloperOptions) {
    const Finished run = runSnapscribe(L"", scratch.file(L""), vorlixClient(traced(true)));
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(-1));
    EXPECT_THAT(run.output,
                HasSubstr("{ SID [/d] }\n\n\t [/h seconds] [/fp failphase]\n\n\t/q to"));
    EXPECT_THAT(run.output, HasSubstr("\t\tf Freeze\n"));
    EXPECT_THAT(run.output, HasSubstr("\t\tr PreRestore\n"));
}

// Without the stand-in beside it the program binds to the system's own
// vssapi.dll, Wine's here, which exports the platform's names but implements
// little of the class: the writer loads, constructs and initializes, then says
// why it cannot go on instead of subscribing to a library that cannot serve it.
TEST_F(ConsoleWriterTest, AgainstALibraryWithoutTheWriterClassItSaysWhyAndFails) {
    const std::filesystem::path built = std::filesystem::path(snapscribePath()).parent_path();
    for (const wchar_t* file : {L"snapscribe.exe", L"VLXVSSMSGUS.DLL", L"VLXVSSMSGKO.DLL"}) {
        std::filesystem::copy_file(built / file, scratch.file(file));
    }
    ProgramOptions options = vorlixClient(traced());
    options.ownConsole = true;
    Program writer(scratch.file(L"snapscribe.exe"), db, scratch.file(L""), options);
    EXPECT_EQ(writer.finish(), 200u) << writer.output() << writer.errors();
    EXPECT_THAT(writer.output(), HasSubstr("\nThe writer did not start: the shadow-copy library "
                                           "does not implement the writer base class "
                                           "(0x80004001)\n"));
    const std::string text = trace();
    // Wine's 32-bit library has only the earlier Initialize, its x64 one the later.
    EXPECT_THAT(text, HasSubstr(sizeof(void*) == 8
                                    ? "\nInitialize takes the writer instance name"
                                    : "\nInitialize of this system takes no writer instance name"));
    EXPECT_THAT(text, HasSubstr("\nThe shadow-copy library does not implement the writer base "
                                "class"));
    EXPECT_THAT(text, Not(HasSubstr("Failed to initialize the writer")));
}

}  // namespace
}  // namespace snapscribe::testing
