#include "snapscribe/host/file_utils.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "snapscribe/host/base64_codec.h"

namespace snapscribe {
namespace {

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string readFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    return bytes;
}

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    return bytes;
}

// Every test works in a directory of its own under the temporary directory.
class FileUtilsTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();
        dir_ = std::wstring(temp) + L"fileutils-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::wstring(name.begin(), name.end());
        // Wine reuses process ids, so an earlier run may have left this directory.
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
    }

    std::wstring path(const wchar_t* name) const { return dir_ + L"\\" + name; }

    // Encodes a file of `bytes` with a capacity just large enough.
    std::string encode(const std::string& bytes) {
        const std::wstring source = path(L"source.bin");
        writeFile(source, bytes);
        std::vector<char> out(bytes.size() * 4 / 3 + 10, '#');
        const std::uint32_t n =
            fileToBase64(source.c_str(), out.data(), static_cast<std::uint32_t>(out.size()));
        DeleteFileW(source.c_str());
        EXPECT_EQ(out[n], '\0');
        return std::string(out.data(), n);
    }

    std::uint32_t decodeTo(std::wstring& target, const std::string& text, bool* usedTemporary) {
        std::vector<wchar_t> buffer(kPathCapacity, L'\0');
        target.copy(buffer.data(), target.size());
        const std::uint32_t n = base64ToFile(
            buffer.data(), text.data(), static_cast<std::uint32_t>(text.size()), usedTemporary);
        target = buffer.data();
        return n;
    }

    std::wstring dir_;
};

TEST_F(FileUtilsTest, AWholeBlockEncodesWithoutPaddingAndOneByteWithTwo) {
    const std::string block = encode(randomBytes(30720, 1));
    EXPECT_EQ(block.size(), 40960u);
    EXPECT_EQ(block.find('='), std::string::npos);

    const std::string one = encode("A");
    EXPECT_EQ(one, "QQ==");
}

TEST_F(FileUtilsTest, AnEmptyOrMissingFileGivesNoCharacters) {
    EXPECT_EQ(encode(""), "");
    char out[16];
    EXPECT_EQ(fileToBase64(path(L"missing.bin").c_str(), out, sizeof out), 0u);
}

TEST_F(FileUtilsTest, AFileTooLargeForTheCapacityIsRefusedBeforeAnyWrite) {
    const std::wstring source = path(L"big.bin");
    writeFile(source, randomBytes(3000, 2));
    std::vector<char> out(4000 + 9, '#');  // one byte short of 4/3 of the size plus 10
    EXPECT_EQ(fileToBase64(source.c_str(), out.data(), static_cast<std::uint32_t>(out.size())), 0u);
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string(out.size(), '#'));

    out.push_back('#');
    EXPECT_EQ(fileToBase64(source.c_str(), out.data(), static_cast<std::uint32_t>(out.size())),
              4000u);
}

TEST_F(FileUtilsTest, FilesOfManySizesRoundTripAcrossTheBlockBoundary) {
    const std::size_t sizes[] = {1,     2,     3,     4,     1000,   30719,  30720,
                                 30721, 30722, 61440, 61441, 250001, 2000000};
    unsigned seed = 10;
    for (std::size_t size : sizes) {
        const std::string bytes = randomBytes(size, seed++);
        const std::string text = encode(bytes);
        ASSERT_EQ(text.size(), base64::encodedLength(size));
        std::wstring target = path(L"out\\roundtrip.bin");
        bool usedTemporary = true;
        ASSERT_EQ(decodeTo(target, text, &usedTemporary), size) << size;
        EXPECT_FALSE(usedTemporary);
        EXPECT_EQ(readFile(target), bytes) << size;
        DeleteFileW(target.c_str());
    }
}

TEST_F(FileUtilsTest, DecodingStopsAtPaddingAndSkipsLeadingBlanks) {
    std::wstring target = path(L"padded.bin");
    bool usedTemporary = false;
    EXPECT_EQ(decodeTo(target, " \tZm9vYg==;trailing", &usedTemporary), 4u);
    EXPECT_EQ(readFile(target), "foob");
}

TEST_F(FileUtilsTest, AnExistingTargetIsLeftUntouched) {
    std::wstring target = path(L"existing.arc");
    writeFile(target, "original");
    bool usedTemporary = true;
    EXPECT_EQ(decodeTo(target, "Zm9vYmFy", &usedTemporary), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_FALSE(usedTemporary);
    EXPECT_EQ(readFile(target), "original");
}

TEST_F(FileUtilsTest, TextThatYieldsNoBytesFailsAndLeavesNoFile) {
    std::wstring target = path(L"bad.arc");
    bool usedTemporary = false;
    EXPECT_EQ(decodeTo(target, "!!!!", &usedTemporary), 0u);
    EXPECT_FALSE(exists(target));
}

TEST_F(FileUtilsTest, ADirectoryThatCannotBeMadeFallsBackToAFreshTemporaryFileEachTime) {
    writeFile(path(L"blocker"), "a file where a directory should be");
    std::wstring first = path(L"blocker\\sub\\log1.arc");
    std::wstring second = first;
    bool usedFirst = false;
    bool usedSecond = false;
    ASSERT_EQ(decodeTo(first, "Zm9vYmFy", &usedFirst), 6u);
    ASSERT_EQ(decodeTo(second, "YmFy", &usedSecond), 3u);

    EXPECT_TRUE(usedFirst);
    EXPECT_TRUE(usedSecond);
    EXPECT_NE(first, second);
    for (const std::wstring* name : {&first, &second}) {
        const std::wstring base = name->substr(name->find_last_of(L'\\') + 1);
        EXPECT_EQ(base.substr(0, 3), L"ARC") << base.c_str();  // GetTempFileName keeps 3 letters
    }
    EXPECT_EQ(readFile(first), "foobar");
    EXPECT_EQ(readFile(second), "bar");
    DeleteFileW(first.c_str());
    DeleteFileW(second.c_str());
}

TEST_F(FileUtilsTest, DirectoryPathCreatesEveryLevel) {
    const std::wstring deep = path(L"a\\b\\c");
    createDirectoryPath(deep.c_str());
    EXPECT_TRUE(exists(path(L"a")));
    EXPECT_TRUE(exists(path(L"a\\b")));
    EXPECT_TRUE(exists(deep));
}

TEST_F(FileUtilsTest, ParentDirectoriesStopAtTheLastSeparator) {
    createParentDirectories(path(L"x\\y\\file.log").c_str());
    EXPECT_TRUE(exists(path(L"x\\y")));
    EXPECT_FALSE(exists(path(L"x\\y\\file.log")));
}

TEST_F(FileUtilsTest, ABareFileNameCreatesNothing) {
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
    createParentDirectories(L"plain.log");
    createDirectoryPath(L"plain");
    SetCurrentDirectoryW(previous);

    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((dir_ + L"\\*").c_str(), &data);
    int entries = 0;
    do {
        if (std::wstring(data.cFileName) != L"." && std::wstring(data.cFileName) != L"..")
            ++entries;
    } while (FindNextFileW(search, &data));
    FindClose(search);
    EXPECT_EQ(entries, 0);
}

}  // namespace
}  // namespace snapscribe
