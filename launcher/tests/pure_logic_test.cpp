// Size texts, the progress line, entry names and the cycle's texts.

#include <gtest/gtest.h>

#include "launcher/extract_number.h"
#include "launcher/ftp_reply.h"
#include "launcher/install_names.h"
#include "launcher/progress_text.h"
#include "launcher/release_record.h"
#include "launcher/settings.h"

namespace launcher {
namespace {

TEST(ExtractNumber, ReadsSizeTextsAsTheyAreWritten) {
    EXPECT_EQ(extractNumber(L"1,234,567"), 1234567);
    EXPECT_EQ(extractNumber(L"12 KB"), 12);
    EXPECT_EQ(extractNumber(L"1.2.3"), 1.2);
    EXPECT_EQ(extractNumber(L""), 0);
    EXPECT_EQ(extractNumber(L"-"), 0);
    EXPECT_EQ(extractNumber(L"size: none"), 0);
    EXPECT_EQ(extractNumber(L"-42"), -42);
    EXPECT_EQ(extractNumber(L".5"), 0.5);
    EXPECT_EQ(extractNumber(L"\uD55C 7\uAE00 3"), 73);
}

TEST(FtpReply, OnlyAFileStatusReplyGivesASize) {
    EXPECT_EQ(sizeFromReply(L"213 48213"), 48213u);
    EXPECT_EQ(sizeFromReply(L"213 0\r\n"), 0u);
    EXPECT_EQ(sizeFromReply(L"213 18446744073709551615"), 18446744073709551615u);
    for (const wchar_t* reply : {L"550 Not allowed.", L"213 ", L"213 12 bytes", L"213-48213",
                                 L"2134", L"213 18446744073709551616", L""}) {
        EXPECT_EQ(sizeFromReply(reply), std::nullopt) << reply;
    }
}

TEST(ExtractNumber, StopsKeepingAtTheSecondPointOrMinus) {
    EXPECT_EQ(extractNumber(L"--5"), 0);        // kept "-"
    EXPECT_EQ(extractNumber(L"7.1.999"), 7.1);  // digits after the second point are dropped too
    EXPECT_EQ(extractNumber(L"-3-4"), -3);
}

TEST(ExtractNumber, RefusesKeptTextThatIsNoNumber) {
    EXPECT_THROW(extractNumber(L"1-2"), NumberConversionError);
    EXPECT_THROW(extractNumber(L"."), NumberConversionError);
    EXPECT_THROW(extractNumber(L"5 - 1"), NumberConversionError);
    try {
        extractNumber(L"1-2");
    } catch (const NumberConversionError& error) {
        EXPECT_STREQ(error.what(), "'1-2' is not a valid floating point value");
    }
}

TEST(ProgressText, FormatsSpeedAndBlankPaddedRemainingTime) {
    EXPECT_EQ(transferStatusText(TransferDirection::Receiving, 12.34, remainingTimeText(65)),
              L"Download Speed 12.34 KB/S; Time remaining  0: 1: 5");
    EXPECT_EQ(remainingTimeText(3600 * 12 + 60 * 34 + 56), L"Time remaining 12:34:56");
    EXPECT_EQ(remainingTimeText(3600 * 100), L"Time remaining 100: 0: 0");
    EXPECT_EQ(transferStatusText(TransferDirection::Sending, 0, L""), L"Uploade Speed 0.00 KB/S; ");
}

TEST(ProgressText, ComputesSpeedFromElapsedTimeAndCountsDown) {
    TransferProgress progress;
    progress.begin(1024 * 1000, 5000);
    // No time has passed yet: no speed, so no remaining time either.
    EXPECT_EQ(progress.update(TransferDirection::Receiving, 0, 5000),
              L"Download Speed 0.00 KB/S; ");
    // 100 KB in 2 s: 50 KB/S, 900 KB left -> 18 s.
    EXPECT_EQ(progress.update(TransferDirection::Receiving, 1024 * 100, 7000),
              L"Download Speed 50.00 KB/S; Time remaining  0: 0:18");
    EXPECT_EQ(progress.update(TransferDirection::Receiving, 1024 * 200, 9000),
              L"Download Speed 50.00 KB/S; Time remaining  0: 0:16");
    // More than announced, or no total announced: no countdown below zero or from nothing.
    EXPECT_EQ(progress.update(TransferDirection::Receiving, 1024 * 1100, 27000),
              L"Download Speed 50.00 KB/S; Time remaining  0: 0: 0");
    progress.begin(0, 0);
    EXPECT_EQ(progress.update(TransferDirection::Receiving, 2048, 1000),
              L"Download Speed 2.00 KB/S; ");
}

TEST(ProgressText, ACrawlAgainstAHugeTotalStopsAtTheLongestCountdown) {
    EXPECT_EQ(remainingTimeText(0x7FFFFFFFLL * 3600), L"Time remaining 596523:14: 7");
    EXPECT_EQ(remainingTimeText(-5), L"Time remaining  0: 0: 0");
    TransferProgress progress;
    progress.begin(0xFFFFFFFFFFFFFFFFull, 0);
    EXPECT_EQ(progress.update(TransferDirection::Receiving, 1, 0x7FFFFFFFFFFFFFFFull),
              L"Download Speed 0.00 KB/S; Time remaining 596523:14: 7");
}

TEST(InstallNames, DropsStoredFolders) {
    EXPECT_EQ(bareFileName(L"a.exe"), L"a.exe");
    EXPECT_EQ(bareFileName(L"bin/sub/a.dll"), L"a.dll");
    EXPECT_EQ(bareFileName(L"bin\\a.dll"), L"a.dll");
    EXPECT_EQ(bareFileName(L"../../../windows/system32/evil.dll"), L"evil.dll");
    EXPECT_EQ(bareFileName(L"bin/"), L"");
}

TEST(InstallNames, AcceptsOnlyNamesThatStayInTheDirectory) {
    for (const wchar_t* good : {L"VEZerez.exe", L"\uD55C\uAE00.MG", L"a b.txt", L".hidden",
                                L"console.log", L"COM10", L"LPT0.txt"}) {
        EXPECT_TRUE(isPlainFileName(good)) << good;
    }
    for (const wchar_t* bad : {L"", L".", L"..", L"...", L"a.", L"a ", L"C:evil.exe",
                               L"a.exe:stream", L"a/b", L"a\\b", L"a*.exe", L"a?", L"a\x01", L"CON",
                               L"con.txt", L"Nul", L"COM1.dll", L"lpt9", L"CONOUT$"}) {
        EXPECT_FALSE(isPlainFileName(bad)) << bad;
    }
    EXPECT_FALSE(isPlainFileName(std::wstring(256, L'x')));
}

ReleaseRow row(const wchar_t* version, const wchar_t* size) {
    return {L"VEZerez.exe", version, size, L"2024-05-01", L""};
}

InstalledCopy installed(const wchar_t* version, const wchar_t* size) {
    return {true, true, version, size, true};
}

TEST(ReleaseRecord, CurrentOnlyWhenEveryCheckHolds) {
    EXPECT_TRUE(isInstalledCopyCurrent(installed(L"V2.1", L"1234567"), row(L"V2.1", L"1,234,567")));
    EXPECT_FALSE(isInstalledCopyCurrent(installed(L"v2.1", L"1234567"), row(L"V2.1", L"1234567")));
    EXPECT_FALSE(isInstalledCopyCurrent(installed(L"V2.1", L"1234568"), row(L"V2.1", L"1234567")));
    InstalledCopy copy = installed(L"V2.1", L"10");
    copy.programFileExists = false;
    EXPECT_FALSE(isInstalledCopyCurrent(copy, row(L"V2.1", L"10")));
    copy = installed(L"", L"");
    copy.versionFileHasContent = false;
    EXPECT_FALSE(isInstalledCopyCurrent(copy, row(L"", L"")));
    copy.versionFileHasContent = true;
    copy.hasSection = false;
    EXPECT_FALSE(isInstalledCopyCurrent(copy, row(L"", L"")));
}

TEST(ReleaseRecord, SizeConversionErrorsOnlyOnceTheVersionMatched) {
    EXPECT_FALSE(isInstalledCopyCurrent(installed(L"V1", L"1-2"), row(L"V2", L"10")));
    EXPECT_THROW(isInstalledCopyCurrent(installed(L"V2", L"1-2"), row(L"V2", L"10")),
                 NumberConversionError);
}

TEST(ReleaseRecord, TextsOfTheCycle) {
    EXPECT_EQ(versionQuery(L"VUVod"),
              L"  SELECT * FROM VERSMP                            \r\n"
              L"   WHERE EXFILE = 'VUVod.exe'         \r\n");
    const ReleaseRow release{L"VUVod.exe", L"VU2405", L"1,024", L"2024-05-01", L" notes "};
    EXPECT_EQ(packageName(release), L"VU2405.ZIP");
    EXPECT_EQ(releaseNotesFileName(release), L"VU2405\uB4F1\uB85D\uB0B4\uC5ED.MG");
    EXPECT_EQ(newVersionFileText(L"VUVod", release),
              L"[VUVod]\r\nEXEFILE=VUVod.exe\r\nVERSION=VU2405\r\nEXESIZE=1,024\r\n"
              L"INDATE=2024-05-01\r\n");
    EXPECT_EQ(releaseNotesText(release), L" notes \r\n");
    EXPECT_TRUE(hasReleaseNotes(release));
    EXPECT_FALSE(hasReleaseNotes({L"", L"", L"", L"", L"  \r\n\t "}));
}

}  // namespace
}  // namespace launcher

namespace launcher {
namespace {

TEST(Settings, DefaultsAndOverrides) {
    const Settings defaults = makeSettings(std::nullopt, std::wstring());
    EXPECT_EQ(defaults.ftp.host, L"kdupdate");
    EXPECT_EQ(defaults.ftp.port, 21);
    EXPECT_EQ(defaults.ftp.userName, L"kdftp");
    EXPECT_EQ(defaults.ftp.password, L"mxftp5820");
    EXPECT_EQ(defaults.netServiceName, L"TRVN");
    const Settings moved = makeSettings(L"127.0.0.1:2121", L"KDTEST");
    EXPECT_EQ(moved.ftp.host, L"127.0.0.1");
    EXPECT_EQ(moved.ftp.port, 2121);
    EXPECT_EQ(moved.netServiceName, L"KDTEST");
    EXPECT_EQ(makeSettings(L"updates.example", std::nullopt).ftp.port, 21);
    for (const wchar_t* bad : {L"host:", L":21", L"host:0", L"host:65536", L"host:2x1"}) {
        EXPECT_THROW(makeSettings(bad, std::nullopt), std::invalid_argument) << bad;
    }
}

TEST(Settings, ConnectionParametersInOrder) {
    const NamedValues list = connectionParameters(makeSettings(std::nullopt, L"KDTEST"));
    ASSERT_EQ(list.size(), 21u);
    EXPECT_EQ(list.front(), (std::pair<std::wstring, std::wstring>{L"SERVER NAME", L"KDTEST"}));
    EXPECT_EQ(list[7].first, L"SQLPASSTHRU MODE");
    EXPECT_EQ(list.back(), (std::pair<std::wstring, std::wstring>{L"PASSWORD", L"dlv4826"}));
}

}  // namespace
}  // namespace launcher
