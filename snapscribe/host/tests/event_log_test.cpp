#include "snapscribe/host/event_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "host_test_support.h"
#include "support/code_page_text.h"
#include "snapscribe/host/failure_text.h"
#include "support/unique_handle.h"

namespace snapscribe {
namespace {

using testing::EventRecorder;
using testing::readWholeFile;
using testing::ScratchDirectory;
using testing::withoutCarriageReturns;

constexpr const wchar_t* kSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

std::wstring programDirectory() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring program(path);
    return program.substr(0, program.rfind(L'\\') + 1);
}

std::wstring systemText(DWORD code) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0x400,
                   text, 512, nullptr);
    return text;
}

// The expandable "EventMessageFile" of a registered source; empty without one.
std::wstring registeredLibrary(const std::wstring& source) {
    wchar_t file[MAX_PATH] = L"";
    DWORD type = 0;
    DWORD size = sizeof file;
    RegGetValueW(HKEY_LOCAL_MACHINE, (kSourceKey + source).c_str(), L"EventMessageFile",
                 RRF_RT_ANY | RRF_NOEXPAND, &type, file, &size);
    return type == REG_EXPAND_SZ ? file : L"";
}

TEST(MessageSuffix, SublanguagesSettleChineseAndBrazilianTheRestGoesByPrimaryLanguage) {
    EXPECT_STREQ(messageSuffix(0x0C0A), L"E");
    EXPECT_STREQ(messageSuffix(0x040A), L"E");
    EXPECT_STREQ(messageSuffix(0x0409), L"US");
    EXPECT_STREQ(messageSuffix(0x0809), L"US");
    EXPECT_STREQ(messageSuffix(0x0412), L"KO");
    EXPECT_STREQ(messageSuffix(0x0404), L"ZHT");
    EXPECT_STREQ(messageSuffix(0x1404), L"ZHT");
    EXPECT_STREQ(messageSuffix(0x0804), L"ZHS");
    EXPECT_STREQ(messageSuffix(0x0004), L"ZHS");
    EXPECT_STREQ(messageSuffix(0x0416), L"PTB");
    EXPECT_STREQ(messageSuffix(0x0816), L"PT");
    EXPECT_STREQ(messageSuffix(0x041F), L"TR");
    EXPECT_STREQ(messageSuffix(0x0403), L"US") << "Catalan has no library";
    EXPECT_STREQ(messageSuffix(0x0000), L"US");
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        writerSettings().TraceLevel = TRC_MISC;
        writerSettings().TraceFile = scratch_.narrowFile("events.trc");
        ASSERT_EQ(initTrace("NOSUCHSID"), 0);
        sid_ = testing::uniqueName(L"T");
    }
    void TearDown() override {
        closeEventLog();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kSourceKey + source()).c_str());
    }
    std::wstring source() const { return L"Vorlix.VSSWriter." + sid_; }
    std::string traced() const {
        return withoutCarriageReturns(readWholeFile(scratch_.file(L"events.trc")));
    }

    testing::TraceSettingsReset reset_;
    ScratchDirectory scratch_;
    EventRecorder recorder_;
    std::wstring sid_;
};

TEST_F(EventLogTest, TheSpanishLibraryIsMissingSoTheUsOneIsUsedWhileKoreanHasItsOwn) {
    EXPECT_EQ(messageLibraryFor(0x0C0A), programDirectory() + L"VLXVSSMSGUS.DLL");
    EXPECT_EQ(messageLibraryFor(0x0412), programDirectory() + L"VLXVSSMSGKO.DLL");
    EXPECT_NE(traced().find("\nUsing E language suffix for msg\ndefault to US suffix for msg"
                            "\nUsing KO language suffix for msg"),
              std::string::npos);
}

TEST_F(EventLogTest, TheEventSourceIsRegisteredWithItsMessageLibrary) {
    ASSERT_EQ(initEventLog(sid_.c_str()), 1);
    EXPECT_EQ(registeredLibrary(source()), messageLibraryFor(GetUserDefaultLangID()));
    DWORD type = 0;
    DWORD types = 0;
    DWORD size = sizeof types;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, (kSourceKey + source()).c_str(), L"TypesSupported",
                           RRF_RT_ANY, &type, &types, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(types, 7u);
}

// CTest also runs this under Korean and Spanish user languages: Korean has a
// library of its own, Spanish has none and falls back to the US one.
TEST_F(EventLogTest, TheSourceTakesTheLibraryOfTheUsersLanguage) {
    const LANGID language = GetUserDefaultLangID();
    if (const char* wanted = std::getenv("EXPECTED_USER_LANGUAGE")) {
        ASSERT_EQ(language, std::strtoul(wanted, nullptr, 0)) << "the locale did not take";
    }
    ASSERT_EQ(initEventLog(sid_.c_str()), 1);
    const wchar_t* expected = language == 0x0412 ? L"VLXVSSMSGKO.DLL" : L"VLXVSSMSGUS.DLL";
    EXPECT_EQ(registeredLibrary(source()), programDirectory() + expected) << language;
    const bool fellBack = traced().find("\ndefault to US suffix for msg") != std::string::npos;
    EXPECT_EQ(fellBack, language == 0x0C0A) << language;
}

TEST_F(EventLogTest, WithoutAnInstanceNothingIsRegistered) {
    EXPECT_EQ(initEventLog(nullptr), 1);
    EXPECT_EQ(initEventLog(L""), 1);
    EXPECT_EQ(closeEventLog(), 1);
}

TEST_F(EventLogTest, AnEventIsReportedAndItsTextFromTheLibraryTraced) {
    ASSERT_EQ(initEventLog(sid_.c_str()), 1);
    const char raw[] = {1, 2, 3};
    ASSERT_EQ(writeToEventLog3(EVENTLOG_INFORMATION_TYPE, kEventCategory, 0x4FFF100B,
                               kWriterVersionText, L"Tablespace USERS", L"FULL", sizeof raw, raw),
              1);
    ASSERT_EQ(recorder_.events.size(), 1u);
    const ReportedEvent& event = recorder_.events[0];
    EXPECT_EQ(event.type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(event.category, 255);
    EXPECT_EQ(event.id, 0x4FFF100Bu);
    EXPECT_EQ(event.strings,
              (std::vector<std::wstring>{kWriterVersionText, L"Tablespace USERS", L"FULL"}));
    EXPECT_EQ(event.rawData, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_NE(traced().find("Vorlix VSS writer version 11.2.0.0.0 Beta: the FULL backup of "
                            "component Tablespace USERS completed."),
              std::string::npos);
}

TEST_F(EventLogTest, AnIdentifierTheLibraryLacksIsReportedButFailsToFormat) {
    ASSERT_EQ(initEventLog(sid_.c_str()), 1);
    EXPECT_EQ(writeToEventLog1(EVENTLOG_INFORMATION_TYPE, kEventCategory, 0x4FFF1FFF,
                               kWriterVersionText, 0, nullptr),
              0);
    EXPECT_EQ(recorder_.events.size(), 1u);
    const std::string expected =
        "\nwriteToEventLog?(FormatMessage): " +
        withoutCarriageReturns(support::toNarrow(systemText(ERROR_MR_MID_NOT_FOUND), CP_ACP));
    EXPECT_NE(traced().find(expected), std::string::npos) << traced();
}

TEST_F(EventLogTest, ThePendingSystemErrorBecomesAnEventWithTheContextAsRawData) {
    ASSERT_EQ(initEventLog(sid_.c_str()), 1);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(wwriteToEventLog2(L"ctx"), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(recorder_.events.size(), 1u);
    const ReportedEvent& event = recorder_.events[0];
    EXPECT_EQ(event.type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(event.category, 255);
    EXPECT_EQ(event.id, kWin32ErrorEvent);
    EXPECT_EQ(event.strings,
              (std::vector<std::wstring>{L"Win32 Error", systemText(ERROR_FILE_NOT_FOUND)}));
    EXPECT_EQ(event.rawData, (std::vector<std::uint8_t>{'c', 0, 't', 0, 'x', 0}));
    EXPECT_NE(traced().find("A system call of the writer failed. Win32 Error: "),
              std::string::npos);

    SetLastError(0x80080000 |
                 ERROR_ACCESS_DENIED);  // a Windows-facility code counts as its low word
    EXPECT_EQ(wwriteToEventLog2(nullptr), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    ASSERT_EQ(recorder_.events.size(), 2u);
    EXPECT_TRUE(recorder_.events[1].rawData.empty());

    SetLastError(0);
    EXPECT_EQ(wwriteToEventLog2(L"ctx"), 0u);
    EXPECT_EQ(recorder_.events.size(), 2u);
}

TEST_F(EventLogTest, TheLastErrorIsTracedAfterItsContext) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(traceLastError(L"initEventLog(RegCreateKeyEx)"),
              static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    SetLastError(ERROR_FILE_NOT_FOUND);
    traceLastError(nullptr);
    SetLastError(0);
    EXPECT_EQ(traceLastError(L"never traced"), 0u);
    const std::string expected =
        "\ninitEventLog(RegCreateKeyEx): " +
        withoutCarriageReturns(support::toNarrow(systemText(ERROR_ACCESS_DENIED), CP_ACP) +
                               support::toNarrow(systemText(ERROR_FILE_NOT_FOUND), CP_ACP));
    EXPECT_NE(traced().find(expected), std::string::npos) << traced();
    EXPECT_EQ(traced().find("never traced"), std::string::npos);
    EXPECT_TRUE(recorder_.events.empty());
}

// Identifier and number of insertion strings of every event and failure the
// writer reports.
struct MessageUse {
    std::uint32_t id;
    int strings;
};

constexpr MessageUse kMessageUses[] = {
    {0x4FFF0009, 2}, {0x4FFF1001, 1}, {0x4FFF1002, 1}, {0x4FFF1003, 1}, {0x4FFF1004, 1},
    {0x4FFF1005, 1}, {0x4FFF1006, 2}, {0x4FFF1007, 1}, {0x4FFF1008, 1}, {0x4FFF1009, 1},
    {0x4FFF100A, 3}, {0x4FFF100B, 3}, {0x4FFF100C, 1}, {0x4FFF100D, 1}, {0x4FFF100E, 1},
    {0x4FFF100F, 2}, {0x4FFF1010, 2}, {0x4FFF1011, 2}, {0x4FFF1012, 0}, {0xCFFF000B, 2},
    {0xCFFF000C, 1}, {0xCFFF000D, 1}, {0xCFFF000E, 1}, {0xCFFF000F, 1}, {0xCFFF0010, 1},
    {0xCFFF0011, 1}, {0xCFFF0012, 1}, {0xCFFF0013, 1}, {0xCFFF0014, 1}, {0xCFFF0015, 1},
    {0xCFFF0016, 1}, {0xCFFF0017, 1}, {0xCFFF0018, 1}, {0xCFFF0019, 1}, {0xCFFF001A, 1},
    {0xCFFF001B, 1}, {0xCFFF001C, 1}, {0xCFFF001D, 1}, {0xCFFF001F, 1}, {0xCFFF0020, 1},
    {0xCFFF0021, 1}, {0xCFFF0022, 1}, {0xCFFF0023, 1}, {0xCFFF0024, 1}, {0xCFFF0025, 2},
    {0xCFFF0026, 2}, {0xCFFF0027, 1}, {0xCFFF0028, 1}, {0xCFFF0029, 1}, {0xCFFF002A, 1},
    {0xCFFF002B, 1}, {0xCFFF002C, 1}, {0xCFFF002E, 1}, {0xCFFF002F, 1}, {0xCFFF0030, 1},
    {0xCFFF0031, 1}, {0xCFFF0032, 1}, {0xCFFF0033, 1}, {0xCFFF0034, 1}, {0xCFFF0035, 1},
    {0xCFFF0036, 1}, {0xCFFF0037, 1}, {0xCFFF0038, 1}, {0xCFFF0039, 1}, {0xCFFF0040, 1},
    {0xCFFF0041, 1}, {0xCFFF0042, 2}, {0xCFFF0043, 2}, {0xCFFF1000, 2},
};

// Formats `id` with distinct markers for the strings the event carries and
// sentinels beyond them, which a correct text never shows.
std::wstring formatWithMarkers(HMODULE library, const MessageUse& use) {
    const wchar_t* arguments[] = {L"<one>", L"<two>", L"<three>"};
    const wchar_t* sentinel = L"<unexpected>";
    for (int i = use.strings; i < 3; ++i) arguments[i] = sentinel;
    support::LocalMemory text;
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                            FORMAT_MESSAGE_ARGUMENT_ARRAY,
                        library, use.id, 0x400, reinterpret_cast<LPWSTR>(text.receive()), 0,
                        reinterpret_cast<va_list*>(const_cast<wchar_t**>(arguments)))) {
        return L"<no text, error " + std::to_wstring(GetLastError()) + L">";
    }
    return static_cast<const wchar_t*>(text.get());
}

TEST(MessageLibraries, EveryEventHasATextInEachLanguageThatUsesExactlyItsStrings) {
    for (const wchar_t* suffix : {L"US", L"KO"}) {
        const std::wstring path = programDirectory() + L"VLXVSSMSG" + suffix + L".DLL";
        support::ModuleHandle library(
            LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(library) << "missing " << testing::narrow(path);
        for (const MessageUse& use : kMessageUses) {
            const std::wstring text = formatWithMarkers(library.get(), use);
            const std::string where = testing::narrow(suffix) + " " + std::to_string(use.id);
            EXPECT_EQ(text.find(L"<unexpected>"), std::wstring::npos) << where;
            EXPECT_EQ(text.find(L"<no text"), std::wstring::npos) << where;
            const wchar_t* markers[] = {L"<one>", L"<two>", L"<three>"};
            for (int i = 0; i < use.strings; ++i) {
                EXPECT_NE(text.find(markers[i]), std::wstring::npos) << where << " string " << i;
            }
        }
    }
}

TEST(MessageLibraries, TheKoreanLibraryHoldsKoreanText) {
    const std::wstring path = programDirectory() + L"VLXVSSMSGKO.DLL";
    support::ModuleHandle library(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(library);
    const std::wstring text = formatWithMarkers(library.get(), {0x4FFF100F, 2});
    EXPECT_NE(text.find(L"\xC2DC\xC791"), std::wstring::npos) << "no Hangul in the start event";
}

}  // namespace
}  // namespace snapscribe
