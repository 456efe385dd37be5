#include "snapscribe/host/writer_failure.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "host_test_support.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"

namespace snapscribe {
namespace {

using testing::EventRecorder;

TEST(FailureText, PhaseNamesKeepTheirHistoricSpelling) {
    const wchar_t* names[] = {L"UNDEFINED",          L"Identify",   L"PrepareForBackup",
                              L"PrepareForSnapshot", L"Freeze",     L"Thaw",
                              L"PostSnapsot",        L"Abort",      L"BackupComplete",
                              L"BackupShutdown",     L"PreRestore", L"PostRestore",
                              L"UNDEFINED"};
    for (int phase = 0; phase <= 12; ++phase) EXPECT_STREQ(phaseName(phase), names[phase]);
    EXPECT_STREQ(phaseName(-1), L"UNDEFINED");
}

TEST(FailureText, FailureNamesCoverTheFiveWriterErrors) {
    EXPECT_STREQ(failureName(0), L"");
    EXPECT_STREQ(failureName(0x800423F0), L"InconsistentSnapshot");
    EXPECT_STREQ(failureName(0x800423F1), L"OutOfResources");
    EXPECT_STREQ(failureName(0x800423F2), L"Timeout");
    EXPECT_STREQ(failureName(0x800423F3), L"Retryable");
    EXPECT_STREQ(failureName(0x800423F4), L"Non-Retryable");
    EXPECT_STREQ(failureName(0x800423F5), L"UNDEFINED");
    EXPECT_STREQ(failureName(1), L"UNDEFINED");
}

TEST(FailureText, TheMessageNamesBannerVersionLineAndPhaseWithinFiveHundredCharacters) {
    EXPECT_EQ(failureMessage(L"Vorlix Server 11.2", 3782, PhaseFreeze),
              L"Vorlix Server 11.2\nVorlix VSS writer version 11.2.0.0.0 Beta\n"
              L"Error at line : 3782\nFailure on Freeze event\n");
    EXPECT_EQ(failureMessage(L"", 1, 0),
              L"\nVorlix VSS writer version 11.2.0.0.0 Beta\nError at line : 1\n"
              L"Failure on UNDEFINED event\n");
    const std::wstring cut = failureMessage(std::wstring(480, L'b'), 2676, PhaseIdentify);
    EXPECT_EQ(cut.size(), 500u);
    EXPECT_EQ(cut.substr(480, 20), L"\nVorlix VSS writer v");
}

class WriterFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        sid_ = testing::uniqueName(L"F");
        ASSERT_EQ(initEventLog(sid_.c_str()), 1);
        SetLastError(0);
    }
    void TearDown() override {
        closeEventLog();
        RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                      (L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
                       L"Vorlix.VSSWriter." +
                       sid_)
                          .c_str());
        setCurrentSession(nullptr);
    }

    EventRecorder recorder_;
    std::wstring sid_;
};

// Raised and reported with no system error pending.
int reportWithoutPendingError(std::uint32_t code) {
    SetLastError(0);
    return reportEventFailure(code, WriterFailureError(code, WriterFailure{}));
}

TEST_F(WriterFailureTest, CodesOutsideTheWriterRangePassThroughUnreported) {
    for (std::uint32_t code : {0xCFFF0000u, 0xCFFF1001u, 0x4FFF0007u, 0x4FFF1012u}) {
        EXPECT_EQ(reportWithoutPendingError(code), 0) << code;
    }
    EXPECT_TRUE(recorder_.events.empty());
    EXPECT_EQ(reportWithoutPendingError(0xCFFF0001), 1);
    EXPECT_EQ(reportWithoutPendingError(0xCFFF1000), 1);
    EXPECT_EQ(recorder_.events.size(), 2u);
}

TEST_F(WriterFailureTest, APendingSystemErrorIsReportedBeforeTheFailure) {
    SetLastError(ERROR_ACCESS_DENIED);
    const WriterFailureError error(0xCFFF0043, WriterFailure{1234, PhaseThaw, {}},
                                   {L"alter system archive log current"});
    SetLastError(0);  // whatever ran in between, the report sees the error of the raise
    EXPECT_EQ(reportEventFailure(error.code(), error), 1);

    ASSERT_EQ(recorder_.events.size(), 2u);
    EXPECT_EQ(recorder_.events[0].id, kWin32ErrorEvent);
    EXPECT_TRUE(recorder_.events[0].rawData.empty());
    const ReportedEvent& failure = recorder_.events[1];
    EXPECT_EQ(failure.type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(failure.category, 255);
    EXPECT_EQ(failure.id, 0xCFFF0043u);
    EXPECT_EQ(failure.strings, (std::vector<std::wstring>{failureMessage(L"", 1234, PhaseThaw),
                                                          L"alter system archive log current"}));
    EXPECT_TRUE(failure.rawData.empty());
}

TEST_F(WriterFailureTest, EachNumberOfExtraStringsIsReported) {
    const WriterFailure where{7, PhaseAbort, {}};
    SetLastError(0);
    reportEventFailure(0xCFFF0024, WriterFailureError(0xCFFF0024, where));
    reportEventFailure(0xCFFF1000, WriterFailureError(0xCFFF1000, where, {L"Invalid-Component"}));
    reportEventFailure(0xCFFF1000, WriterFailureError(0xCFFF1000, where, {L"a", L"b", L"dropped"}));
    ASSERT_EQ(recorder_.events.size(), 3u);
    const std::wstring message = failureMessage(L"", 7, PhaseAbort);
    EXPECT_EQ(recorder_.events[0].strings, (std::vector<std::wstring>{message}));
    EXPECT_EQ(recorder_.events[1].strings,
              (std::vector<std::wstring>{message, L"Invalid-Component"}));
    EXPECT_EQ(recorder_.events[2].strings, (std::vector<std::wstring>{message, L"a", L"b"}));
}

TEST_F(WriterFailureTest, TheSessionsBannerOpensTheMessageAndItsErrorIsTheRawData) {
    const std::string text = "VLX-01034: VORLIX not available";
    const std::wstring banner = L"Vorlix Database 11g Release 11.2.0.1.0";
    const WriterFailureError error(0xCFFF0016,
                                   WriterFailure{2676, PhasePrepareForBackup, {banner, text}});
    reportEventFailure(error.code(), error);

    ASSERT_EQ(recorder_.events.size(), 1u);
    EXPECT_EQ(recorder_.events[0].rawData, std::vector<std::uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(recorder_.events[0].strings[0], failureMessage(banner, 2676, PhasePrepareForBackup));
}

// Publishes a phase in the thread's slot the way the event frame does.
class PhaseSlot {
public:
    explicit PhaseSlot(int phase) : phase_(phase) {
        writerSettings().TlsIndex = TlsAlloc();
        TlsSetValue(writerSettings().TlsIndex, &phase_);
    }
    ~PhaseSlot() {
        TlsFree(writerSettings().TlsIndex);
        writerSettings().TlsIndex = kTlsOutOfIndexes;
    }

private:
    int phase_;
};

TEST_F(WriterFailureTest, RaisedFailuresCarryThePhaseAndTheErrorOfTheMoment) {
    EXPECT_EQ(currentPhase(), 0) << "no slot yet";
    PhaseSlot slot(PhasePostRestore);
    SetLastError(ERROR_NO_DATA);
    try {
        raiseWriterFailure(0xCFFF0042, 99, {L"C:\\arch\\1_5.arc"});
        FAIL() << "nothing raised";
    } catch (const WriterFailureError& error) {
        EXPECT_EQ(error.code(), 0xCFFF0042u);
        EXPECT_TRUE(error.failure().session.banner.empty()) << "no session in use";
        EXPECT_EQ(error.failure().line, 99);
        EXPECT_EQ(error.failure().phase, PhasePostRestore);
        EXPECT_EQ(error.strings(), (std::vector<std::wstring>{L"C:\\arch\\1_5.arc"}));
        EXPECT_EQ(error.pendingError(), static_cast<std::uint32_t>(ERROR_NO_DATA));
    }
}

TEST_F(WriterFailureTest, ConversionsFillTheirBuffersOrRaiseTheirFailures) {
    wchar_t wide[8];
    EXPECT_EQ(toWide("DB1", wide, 8), 4u);
    EXPECT_STREQ(wide, L"DB1");
    char narrow[8];
    std::uint32_t length = 0;
    toNarrow(L"DB1", narrow, 8, &length);
    EXPECT_STREQ(narrow, "DB1");
    EXPECT_EQ(length, 4u);

    PhaseSlot slot(PhaseFreeze);
    try {
        toWide("too long for it", wide, 8);
        FAIL() << "nothing raised";
    } catch (const WriterFailureError& error) {
        EXPECT_EQ(error.code(), kTextToWideFailure);
        EXPECT_EQ(error.failure().line, 3703);
        EXPECT_EQ(error.failure().phase, PhaseFreeze);
    }
    EXPECT_THROW(toWide("DB1", wide, 0), WriterFailureError) << "no room is no conversion";
    EXPECT_THROW(toNarrow(L"DB1", narrow, 0, &length), WriterFailureError);
    try {
        toNarrow(L"too long for it", narrow, 8, &length);
        FAIL() << "nothing raised";
    } catch (const WriterFailureError& error) {
        EXPECT_EQ(error.code(), kTextToNarrowFailure);
        EXPECT_EQ(error.failure().line, 3820);
    }
}

}  // namespace
}  // namespace snapscribe
