// The writer started by hand: refused by the service dispatcher, it runs in
// its console until Ctrl-C, visible to the requester meanwhile.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host_test_support.h"
#include "program_harness.h"

namespace snapscribe::testing {
namespace {

using ::testing::HasSubstr;

constexpr const char* kWaitingLine = "Waiting for VSS events (press Ctrl-C to stop writer)";

TEST(ConsoleWriter, StartedByHandItServesUntilCtrlCAndEndsWithZero) {
    ScratchDirectory scratch;
    const std::wstring db = L"C" + std::to_wstring(GetCurrentProcessId() % 100000000);
    ProgramOptions options;
    options.ownConsole = true;
    Program writer(snapscribePath(), db, scratch.file(L""), options);
    ASSERT_TRUE(writer.waitForOutput(kWaitingLine)) << writer.output();

    Program requester(vssreqPath(), L"writers --instance " + db, scratch.file(L""));
    EXPECT_EQ(requester.finish(), 0u) << requester.output();
    EXPECT_THAT(requester.output(), HasSubstr("Vorlix VSS Writer - " + narrow(db)));

    writer.interrupt();
    EXPECT_EQ(writer.finish(), 0u);
}

}  // namespace
}  // namespace snapscribe::testing
