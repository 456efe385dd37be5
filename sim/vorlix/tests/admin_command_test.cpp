// The administration tool's command lines as the writer forms them.

#include <gtest/gtest.h>

#include "sim/vorlix/tools/admin_command.h"

namespace vorlix {
namespace {

using Kind = AdminCommand::Kind;

AdminCommand parsed(const wchar_t* line) {
    AdminCommand command;
    std::wstring error;
    EXPECT_TRUE(parseAdminCommand(line, command, error)) << line << ": " << error;
    return command;
}

std::wstring refusal(const wchar_t* line) {
    AdminCommand command;
    std::wstring error;
    EXPECT_FALSE(parseAdminCommand(line, command, error)) << line;
    return error;
}

TEST(AdminCommand, SettingValueIsTheRestOfTheLineWithItsSpaces) {
    auto c = parsed(L"vlxdim -ex vorlix registry set VLX_ORCL_VSS_TNAME C:\\My Traces\\a  b.txt ");
    EXPECT_EQ(c.kind, Kind::SetSetting);
    EXPECT_EQ(c.name, L"VLX_ORCL_VSS_TNAME");
    EXPECT_EQ(c.value, L"C:\\My Traces\\a  b.txt ");
    // A quoted program path with blanks is one token; quotes in the value stay.
    c = parsed(L"\"C:\\Program Files\\BIN\\vlxdim.exe\" -ex vorlix registry set N \"q\" 7");
    EXPECT_EQ(c.name, L"N");
    EXPECT_EQ(c.value, L"\"q\" 7");
}

TEST(AdminCommand, RemovalAndServices) {
    auto c = parsed(L"vlxdim -ex vorlix registry del VLX_ORCL_VSS_TLEVEL");
    EXPECT_EQ(c.kind, Kind::RemoveSetting);
    EXPECT_EQ(c.name, L"VLX_ORCL_VSS_TLEVEL");
    // Without a machine the writer leaves two blanks where the prefix goes.
    c = parsed(L"vlxdim -ex service  start VorlixVssWriterORCL");
    EXPECT_EQ(c.kind, Kind::StartService);
    EXPECT_EQ(c.name, L"VorlixVssWriterORCL");
    EXPECT_EQ(c.machine, L"");
    c = parsed(L"vlxdim -ex service \\\\HOST7 stop VorlixVssWriterORCL");
    EXPECT_EQ(c.kind, Kind::StopService);
    EXPECT_EQ(c.machine, L"HOST7");
}

TEST(AdminCommand, RefusesIncompleteOrUnknownLines) {
    EXPECT_FALSE(refusal(L"vlxdim").empty());
    refusal(L"vlxdim vorlix registry set A B");
    refusal(L"vlxdim -ex vorlix registry set A");
    refusal(L"vlxdim -ex vorlix registry set");
    refusal(L"vlxdim -ex vorlix registry del A B");
    refusal(L"vlxdim -ex vorlix registry get A");
    refusal(L"vlxdim -ex vorlix settings set A B");
    refusal(L"vlxdim -ex service start");
    refusal(L"vlxdim -ex service \\\\ start S");
    refusal(L"vlxdim -ex service pause S");
    refusal(L"vlxdim -ex service start S T");
    refusal(L"vlxdim -ex database start S");
}

}  // namespace
}  // namespace vorlix
