#include "snapscribe/program/service_names.h"

#include <gtest/gtest.h>

namespace snapscribe {
namespace {

TEST(ServiceNames, NamesAndCommandsOfAnInstance) {
    EXPECT_EQ(writerServiceName(L"DB1"), L"VorlixVssWriterDB1");
    EXPECT_EQ(writerDisplayName(L"DB1"), L"Vorlix DB1 VSS Writer Service");
    EXPECT_EQ(serviceStartCommand(machinePrefix(L""), L"VorlixVssWriterDB1"),
              L"vlxdim -ex service  start VorlixVssWriterDB1");
    EXPECT_EQ(serviceStopCommand(machinePrefix(L"srv"), L"VorlixVssWriterDB1"),
              L"vlxdim -ex service \\\\srv stop VorlixVssWriterDB1");
}

TEST(ServiceNames, OnlyNamesBeginningWithThePrefixCaseIncluded) {
    EXPECT_TRUE(isWriterService(L"VorlixVssWriterDB1"));
    EXPECT_TRUE(isWriterService(L"VorlixVssWriter"));
    EXPECT_FALSE(isWriterService(L"XVorlixVssWriterDB1"));
    EXPECT_FALSE(isWriterService(L"vorlixvsswriterDB1"));
}

TEST(ServiceNames, AProgramPathWithABlankIsQuotedAndOthersAreKept) {
    EXPECT_EQ(commandLineProgram(L"C:\\Program Files\\V\\snapscribe.exe"),
              L"\"C:\\Program Files\\V\\snapscribe.exe\"");
    EXPECT_EQ(commandLineProgram(L"C:\\V\\snapscribe.exe"), L"C:\\V\\snapscribe.exe");
    EXPECT_EQ(commandLineProgram(L"\"C:\\Program Files\\s.exe\""), L"\"C:\\Program Files\\s.exe\"");
}

TEST(ServiceNames, StateTexts) {
    EXPECT_STREQ(serviceStateText(1), "The service is not running.");
    EXPECT_STREQ(serviceStateText(4), "The service is running.");
    EXPECT_STREQ(serviceStateText(7), "The service is paused.");
    EXPECT_STREQ(serviceStateText(0), "Unknown status");
    EXPECT_STREQ(serviceStateText(8), "Unknown status");
}

}  // namespace
}  // namespace snapscribe
