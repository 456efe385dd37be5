// The recovery-area scan in its second mode, as the post-snapshot event runs
// it: a full backup stamps the component, and an incremental one reports the
// recovery area's files as differenced since that stamp, so the requester
// keeps only what changed.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "snapscribe/backup/component_model.h"
#include "snapscribe/backup/component_text.h"
#include "snapscribe/sequence/conversation.h"
#include "snapscribe/backup/event_frame.h"
#include "snapscribe/writer/writer.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/db/tests/db_test_support.h"
#include "snapscribe/host/tests/host_test_support.h"

namespace snapscribe {
namespace {

using ::testing::HasSubstr;
using testing::Instance;
using ::testing::Not;

constexpr VSS_ID kScanWriterId = {
    0x2b7f90c4, 0x1e55, 0x4c03, {0x8d, 0x61, 0x0a, 0x3b, 0x52, 0xe9, 0x7c, 0x14}};

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring programFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.rfind(L'\\'));
}

// The writer with a post-snapshot event that scans the recovery area of
// every component it is given and stamps it with the conversation's time.
class ScanningWriter : public CVssWriterVorlix {
public:
    bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* components) override {
        return runEvent(
            PhasePostSnapshot, [&] { scanEach(components); }, [](std::int32_t) {});
    }

    std::vector<HRESULT> results;
    std::vector<Conversation> conversations;  // as each scan left it

private:
    void scanEach(IVssWriterComponents* components) {
        connectInstance(false, {});
        Conversation& conversation = *sequenceState().conversation;
        conversation.backupType = GetBackupType();
        const std::wstring databasePath =
            joinLogicalPath({writerSettings().Sid, kDatabaseComponent});
        wchar_t stamp[64];
        std::swprintf(stamp, 64, L"FILETIME=%lu,%lu;",
                      static_cast<unsigned long>(conversation.backupTime >> 32),
                      static_cast<unsigned long>(conversation.backupTime & 0xFFFFFFFF));
        UINT count = 0;
        components->GetComponentCount(&count);
        for (UINT i = 0; i < count; ++i) {
            IVssComponent* component = nullptr;
            components->GetComponent(i, &component);
            results.push_back(scanRecoveryArea(sequenceState().conversationSession, component,
                                               nullptr, kRecoveryAreaComponent, databasePath,
                                               kRecoveryAreaComponent));
            component->SetBackupStamp(stamp);
            component->Release();
        }
        conversations.push_back(Conversation{});
        conversations.back().lastArchivedLog = conversation.lastArchivedLog;
        conversations.back().lastBackupPiece = conversation.lastBackupPiece;
        conversations.back().lastDatafileCopy = conversation.lastDatafileCopy;
        cleanupConversation();
    }
};

class RecoveryAreaScanTest : public ::testing::Test {
protected:
    void SetUp() override { writerSettings().TlsIndex = TlsAlloc(); }
    void TearDown() override {
        TlsFree(writerSettings().TlsIndex);
        writerSettings().TlsIndex = kTlsOutOfIndexes;
        std::error_code ignored;
        std::filesystem::remove_all(sets_, ignored);
    }

    std::string backup(const Instance& instance, const std::wstring& arguments) {
        std::string output;
        testing::runCommand(L"\"" + programFolder() + L"\\..\\..\\sim\\vss\\vssreq.exe\" backup " +
                                arguments + L" --instance " + widen(instance.sid()) +
                                L" --component \"" + widen(instance.sid()) +
                                L"\\Vorlix Database\\Flash Recovery Area\"",
                            &output);
        return testing::withoutCarriageReturns(output);
    }
    std::wstring set(const wchar_t* name) { return L"\"" + sets_ + L"\\" + name + L"\""; }

    std::wstring sets_ = [] {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        return std::wstring(temp) + testing::uniqueName(L"scan-");
    }();
};

TEST_F(RecoveryAreaScanTest, AnIncrementalBackupKeepsOnlyTheFilesChangedSinceTheStamp) {
    Instance instance(R"({"logMode": "ARCHIVELOG", "state": "open", "recoveryArea": "fra",
                          "archivedLogs": 2, "backupPieces": ["bp1.bkp"]})");
    instance.makeCurrent();
    ScanningWriter writer;
    ASSERT_EQ(writer.Initialize(kScanWriterId, L"Vorlix VSS Writer", VSS_UT_USERDATA,
                                VSS_ST_TRANSACTEDDB, VSS_APP_FRONT_END, 60000,
                                VSS_AWS_NO_ALTERNATE_WRITER, false, widen(instance.sid()).c_str()),
              S_OK);
    ASSERT_EQ(writer.Subscribe(6), S_OK);

    const std::string full = backup(instance, L"--type FULL --set " + set(L"full"));
    EXPECT_THAT(full, HasSubstr("Backup document saved")) << full;
    EXPECT_THAT(full, Not(HasSubstr("Differenced"))) << full;

    // A log switch after the stamp adds one archived log to the area.
    ASSERT_EQ(instance.vlxsim("switch", "1"), 0u);
    const std::string incremental = backup(
        instance, L"--type INCREMENTAL --previous " + set(L"full") + L" --set " + set(L"incr"));
    writer.Unsubscribe();

    EXPECT_THAT(incremental, HasSubstr("Backup document saved")) << incremental;
    const std::string folder =
        testing::narrow(testing::vorlixHome()) + "\\instances\\" + instance.sid() + "\\fra\\";
    for (const char* unchanged : {"ARC00001_1.RA\n", "ARC00002_1.RA\n", "bp1.bkp\n"}) {
        EXPECT_THAT(incremental,
                    HasSubstr("Differenced      unchanged since the previous backup: " + folder +
                              unchanged))
            << incremental;
    }
    EXPECT_THAT(incremental, Not(HasSubstr("ARC00003_1.RA"))) << incremental;

    ASSERT_EQ(writer.results.size(), 2u);
    EXPECT_EQ(writer.results[0], S_OK);
    EXPECT_EQ(writer.results[1], S_OK);
    // The newest file of each kind: a new log after the switch, the same
    // backup piece, and no datafile copy at all.
    ASSERT_EQ(writer.conversations.size(), 2u);
    const Conversation& first = writer.conversations[0];
    const Conversation& second = writer.conversations[1];
    EXPECT_NE(first.lastArchivedLog.recordId, 0u);
    EXPECT_GT(second.lastArchivedLog.recordId, first.lastArchivedLog.recordId);
    EXPECT_GE(second.lastArchivedLog.stamp, first.lastArchivedLog.stamp);
    EXPECT_NE(first.lastBackupPiece.recordId, 0u);
    EXPECT_EQ(second.lastBackupPiece.recordId, first.lastBackupPiece.recordId);
    EXPECT_EQ(second.lastDatafileCopy.recordId, 0u);
}

}  // namespace
}  // namespace snapscribe
