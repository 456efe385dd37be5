// VERSION.INI and the release notes on a Korean system: Hangul is stored as
// code page 949 bytes, as Notepad and the client programs read them there.

#include "launcher/version_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "launcher/tests/korean_system.h"

namespace launcher {
namespace {

class KoreanVersionFile : public ::testing::Test {
protected:
    void SetUp() override {
        testing::requireKoreanCodePages();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        directory_ = std::wstring(temp) + L"kdl-version-" + std::to_wstring(GetCurrentProcessId()) +
                     L"-" + std::to_wstring(++counter_) + L"\\";
        std::filesystem::create_directories(std::filesystem::path(directory_));
    }

    void TearDown() override { std::filesystem::remove_all(std::filesystem::path(directory_)); }

    std::string bytes(const wchar_t* name) const {
        std::ifstream in(std::filesystem::path(directory_ + name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::wstring path(const wchar_t* name) const { return directory_ + name; }

    std::wstring directory_;
    static inline int counter_ = 0;
};

TEST_F(KoreanVersionFile, NewVersionFileAndNotesHoldHangulIn949) {
    const ReleaseRow row{L"VEZerez.exe", L"VZ-95", L"5", L"2024\uB144 5\uC6D4 1\uC77C",
                         L"\uC0C8 \uAE30\uB2A5: \uACBD\uB85C \uB0B4\uBCF4\uB0B4\uAE30"};
    createVersionFile(path(L"VERSION.INI"), L"VEZerez", row);
    EXPECT_EQ(bytes(L"VERSION.INI"),
              "[VEZerez]\r\nEXEFILE=VEZerez.exe\r\nVERSION=VZ-95\r\nEXESIZE=5\r\n"
              "INDATE=2024\xB3\xE2 5\xBF\xF9 1\xC0\xCF\r\n");
    writeAnsiTextFile(path(L"notes.MG"), releaseNotesText(row));
    EXPECT_EQ(bytes(L"notes.MG"),
              "\xBB\xF5 \xB1\xE2\xB4\xC9: \xB0\xE6\xB7\xCE \xB3\xBB\xBA\xB8\xB3\xBB\xB1\xE2\r\n");
}

TEST_F(KoreanVersionFile, EditedVersionFileKeepsOtherHangulAndReadsBack) {
    std::ofstream(std::filesystem::path(path(L"VERSION.INI")), std::ios::binary)
        << "[VUVod]\r\nINDATE=\xC0\xDB\xB3\xE2\r\n";                             // "작년"
    const ReleaseRow row{L"VEZerez.exe", L"VZ-96", L"5", L"\uC62C\uD574", L""};  // "올해"
    updateVersionFile(path(L"VERSION.INI"), L"VEZerez", row);
    const std::string text = bytes(L"VERSION.INI");
    EXPECT_NE(text.find("[VUVod]\r\nINDATE=\xC0\xDB\xB3\xE2\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("INDATE=\xBF\xC3\xC7\xD8\r\n", text.find("[VEZerez]")), std::string::npos)
        << text;
    wchar_t read[64] = L"";
    GetPrivateProfileStringW(L"VUVod", L"INDATE", L"", read, 64, path(L"VERSION.INI").c_str());
    EXPECT_STREQ(read, L"\uC791\uB144");
}

}  // namespace
}  // namespace launcher
