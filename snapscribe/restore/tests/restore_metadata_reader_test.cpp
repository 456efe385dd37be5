#include "snapscribe/restore/restore_metadata_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "snapscribe/host/base64_codec.h"
#include "snapscribe/host/tests/host_test_support.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

using testing::EventRecorder;
using testing::readWholeFile;
using testing::ScratchDirectory;

std::string narrowOf(const std::wstring& text) { return testing::narrow(text); }

// One entry of an archived-log list as the backup writes it.
std::wstring logEntry(const std::wstring& name, const std::wstring& next,
                      const std::string& content) {
    std::string text(base64::encodedLength(content.size()), '\0');
    base64::encode(reinterpret_cast<const std::uint8_t*>(content.data()), content.size(),
                   text.data());
    std::wstring units(text.size() / 2, L'\0');
    std::memcpy(units.data(), text.data(), text.size());
    return L";FILENAME=" + name + L";FIRST_SCN=1;NEXT_SCN=" + next + L";DATA=" + units;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

class RestoreMetadataReaderTest : public ::testing::Test {
protected:
    ScratchDirectory scratch;
    EventRecorder recorder;
    Conversation conversation;
};

TEST_F(RestoreMetadataReaderTest, LogsAreRecreatedQueuedInOrderAndTheHighestChangeIsKept) {
    const std::wstring first = scratch.file(L"ARC\\1_7.ARC");
    const std::wstring second = scratch.file(L"ARC\\DEEP\\1_8.ARC");
    const std::wstring text = logEntry(first, L"5000000001", std::string(1000, 'x')) +
                              logEntry(second, L"4294967297", "second log") + L";";
    restoreArchivedLogs(text.c_str(), conversation);

    EXPECT_EQ(readWholeFile(first), std::string(1000, 'x'));
    EXPECT_EQ(readWholeFile(second), "second log");
    ASSERT_EQ(conversation.extractedLogs.size(), 2u);
    EXPECT_EQ(conversation.extractedLogs[0]->fileName, narrowOf(first));
    EXPECT_EQ(conversation.extractedLogs[1]->fileName, narrowOf(second));
    EXPECT_EQ(conversation.maxNextScn, 5000000001u);
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(RestoreMetadataReaderTest, ChangeNumbersAccumulateOverComponents) {
    restoreArchivedLogs(logEntry(scratch.file(L"A.ARC"), L"4294967296", "a").c_str(), conversation);
    restoreArchivedLogs(logEntry(scratch.file(L"B.ARC"), L"77", "b").c_str(), conversation);
    restoreArchivedLogs(L"RESTORABLE=TRUE", conversation);
    EXPECT_EQ(conversation.maxNextScn, 4294967296u);
    EXPECT_EQ(conversation.extractedLogs.size(), 2u);
}

TEST_F(RestoreMetadataReaderTest, ALogAlreadyInPlaceIsNeitherOverwrittenNorCatalogued) {
    const std::wstring present = scratch.file(L"1_7.ARC");
    writeFile(present, "on disk");
    const std::wstring missing = scratch.file(L"1_8.ARC");
    const std::wstring text =
        logEntry(present, L"30", "from the backup") + logEntry(missing, L"40", "restored");
    restoreArchivedLogs(text.c_str(), conversation);

    EXPECT_EQ(readWholeFile(present), "on disk");
    ASSERT_EQ(conversation.extractedLogs.size(), 1u);
    EXPECT_EQ(conversation.extractedLogs[0]->fileName, narrowOf(missing));
    EXPECT_EQ(conversation.maxNextScn, 40u);
}

TEST_F(RestoreMetadataReaderTest, ADirectoryThatCannotBeMadeFallsBackToATemporaryFile) {
    writeFile(scratch.file(L"BLOCKER"), "a file where a directory should be");
    const std::wstring blocked = scratch.file(L"BLOCKER\\1_9.ARC");
    restoreArchivedLogs(logEntry(blocked, L"50", "fallback content").c_str(), conversation);

    ASSERT_EQ(conversation.extractedLogs.size(), 1u);
    const std::string fallback = conversation.extractedLogs[0]->fileName;
    EXPECT_NE(fallback, narrowOf(blocked));
    const std::wstring wideFallback(fallback.begin(), fallback.end());
    EXPECT_EQ(readWholeFile(wideFallback), "fallback content");
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].id, kTemporaryLogEvent);
    ASSERT_EQ(recorder.events[0].strings.size(), 2u);
    EXPECT_EQ(recorder.events[0].strings[1], wideFallback);
    DeleteFileW(wideFallback.c_str());
}

TEST_F(RestoreMetadataReaderTest, ANameThePathBufferCannotHoldIsAFailureNotATruncatedFile) {
    const std::wstring tooLong = scratch.file(std::wstring(800, L'N').c_str());
    try {
        restoreArchivedLogs(logEntry(tooLong, L"60", "x").c_str(), conversation);
        FAIL() << "no failure";
    } catch (const WriterFailureError& error) {
        EXPECT_EQ(error.code(), kLogRecreateFailure);
    }
    EXPECT_TRUE(conversation.extractedLogs.empty());
}

}  // namespace
}  // namespace snapscribe
