// The archived-log list of the restore metadata built from files directly:
// its exact block sizes, the packing of the base64 text, and the failures
// that keep it from ever writing past its block.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "snapscribe/backup/restore_metadata.h"
#include "snapscribe/host/tests/host_test_support.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

class ArchivedLogListTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::wstring& file : files_) DeleteFileW(file.c_str());
    }

    std::wstring logWith(const std::string& content) {
        wchar_t directory[MAX_PATH];
        wchar_t file[MAX_PATH];
        GetTempPathW(MAX_PATH, directory);
        GetTempFileNameW(directory, L"arc", 0, file);
        std::ofstream(file, std::ios::binary) << content;
        files_.push_back(file);
        return file;
    }

    static std::uint32_t failureOf(ArchivedLogList& list, const std::wstring& name,
                                   std::uint64_t size) {
        try {
            list.add(name, L"1", L"2", size);
        } catch (const WriterFailureError& failure) {
            return failure.code();
        }
        return 0;
    }

private:
    std::vector<std::wstring> files_;
};

// The units after the entry's "DATA=", up to the next ";" or the end.
std::wstring payloadAfter(const wchar_t* list, const std::wstring& name) {
    const std::wstring text(list);
    const std::size_t header = text.find(L";FILENAME=" + name + L";");
    const std::size_t start = text.find(L";DATA=", header) + 6;
    return text.substr(start, text.find(L';', start) - start);
}

TEST_F(ArchivedLogListTest, PayloadsPackTwoBase64CharactersPerUnitLowByteFirst) {
    ArchivedLogList list;
    const std::wstring abc = logWith("abc");
    list.add(abc, L"100", L"250", 3);
    EXPECT_EQ(std::wstring(list.text()).substr(0, 10), L";FILENAME=");
    const std::wstring packed = payloadAfter(list.text(), abc);
    ASSERT_EQ(packed.size(), 2u);
    EXPECT_EQ(packed[0], 0x5759);
    EXPECT_EQ(packed[1], 0x6A4A);

    struct Case {
        const char* content;
        const char* text;
    };
    for (const Case& c : {Case{"a", "YQ=="}, Case{"ab", "YWI="}, Case{"abcd", "YWJjZA=="}}) {
        const std::wstring name = logWith(c.content);
        list.add(name, L"1", L"2", std::strlen(c.content));
        const std::wstring units = payloadAfter(list.text(), name);
        std::string characters;
        for (wchar_t unit : units) {
            characters += static_cast<char>(unit & 0xFF);
            characters += static_cast<char>(unit >> 8);
        }
        EXPECT_EQ(characters, c.text) << c.content;
    }
    list.destroy();
    EXPECT_FALSE(list.built());
}

TEST_F(ArchivedLogListTest, EachLogGrowsTheBlockToExactlyWhatItNeedsAndTheListEndsWithZero) {
    ArchivedLogList list;
    const std::wstring first = logWith(std::string(3000, 'x'));
    const std::wstring second = logWith(std::string(10, 'y'));
    list.add(first, L"1", L"2", 3000);
    EXPECT_EQ(list.blockSize(), 4000u + 4096u);
    const std::size_t used = std::wcslen(list.text()) * 2;
    list.add(second, L"2", L"3", 10);
    EXPECT_EQ(list.blockSize(), used + 13u + 4096u);
    const std::size_t length = std::wcslen(list.text());
    EXPECT_LT(length * 2, list.blockSize());
    EXPECT_EQ(payloadAfter(list.text(), second).size(), 8u);
}

TEST_F(ArchivedLogListTest, LogsThatCannotBeCarriedAreCleanFailures) {
    ArchivedLogList list;
    EXPECT_EQ(failureOf(list, logWith(""), 0), 0xCFFF0036u);
    EXPECT_EQ(failureOf(list, L"C:\\no such folder\\ARC1.ARC", 512), 0xCFFF0036u);
    // A log larger than its recorded size would not fit: refused, not overrun.
    EXPECT_EQ(failureOf(list, logWith(std::string(9000, 'z')), 10), 0xCFFF0036u);
    // Sizes of a gigabyte and more are kept whole; a block this process cannot
    // hold is a failure, never a short block: beyond its address space, and
    // beyond what its sizes can count (in 64 bits both are the former).
    constexpr bool k32Bits = sizeof(void*) == 4;
    ArchivedLogList huge;
    EXPECT_EQ(failureOf(huge, logWith("abc"), k32Bits ? 3ull << 30 : 1ull << 48), 0xCFFF0035u);
    EXPECT_EQ(failureOf(huge, logWith("abc"), k32Bits ? 6ull << 30 : 1ull << 62), 0xCFFF0035u);
}

}  // namespace
}  // namespace snapscribe
