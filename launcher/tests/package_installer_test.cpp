// Installing packages into a directory: all files or none.

#include "launcher/package_installer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "launcher/tests/korean_system.h"
#include "launcher/tests/zip_builder.h"
#include "launcher/win_text.h"
#include "support/unique_handle.h"

namespace launcher {
namespace {

using testing::ZipBuilder;
using Files = std::map<std::wstring, std::string>;

class PackageInstaller : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        directory_ = std::wstring(temp) + L"kdl-install-" + std::to_wstring(GetCurrentProcessId()) +
                     L"-" + std::to_wstring(++counter_) + L"\\";
        CreateDirectoryW(directory_.c_str(), nullptr);
        write(L"VEZerez.exe", "old program");
        write(L"helper.dll", "old helper");
    }

    // Read-only files and the folders installs leave go too.
    void TearDown() override {
        namespace fs = std::filesystem;
        const fs::path root(directory_);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
        }
        fs::remove_all(root);
    }

    void write(const std::wstring& name, const std::string& content) {
        std::ofstream(std::filesystem::path(directory_ + name), std::ios::binary) << content;
    }

    std::string read(const std::wstring& name) const {
        std::ifstream in(std::filesystem::path(directory_ + name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void installRelease(const std::wstring& name, const std::string& content) {
        ZipBuilder builder;
        builder.add(toNarrow(name), content);
        installPackage(package(builder), directory_);
        DeleteFileW((directory_ + L"P.ZIP").c_str());
        EXPECT_EQ(read(name), content);
    }

    std::wstring package(ZipBuilder& builder) {
        write(L"P.ZIP", builder.finish());
        return directory_ + L"P.ZIP";
    }

    // Every file in the directory (not in folders) with its content.
    Files files() const {
        Files found;
        WIN32_FIND_DATAW data;
        support::FindHandle search(FindFirstFileW((directory_ + L"*").c_str(), &data));
        if (!search) return found;
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            found[data.cFileName] = read(data.cFileName);
        } while (FindNextFileW(search.get(), &data));
        return found;
    }

    bool hasFolders() const {
        WIN32_FIND_DATAW data;
        support::FindHandle search(FindFirstFileW((directory_ + L"~*").c_str(), &data));
        return search.valid();
    }

    std::string failureOf(const std::wstring& packagePath) {
        try {
            installPackage(packagePath, directory_);
        } catch (const InstallError& error) {
            return error.what();
        }
        return "";
    }

    std::wstring directory_;
    static inline int counter_ = 0;
};

TEST_F(PackageInstaller, InstallsEveryEntryFlatReplacingFiles) {
    ZipBuilder builder;
    builder.add("bin/", "", ZipBuilder::Method::Stored);
    builder.add("bin/VEZerez.exe", "new program");
    builder.add("lib/x/new.dll", "new library", ZipBuilder::Method::Stored);
    builder.add("../../outside.txt", "inside after all");
    builder.add("other/HELPER.DLL", "new helper");
    const std::wstring path = package(builder);
    const std::vector<std::wstring> names = installPackage(path, directory_);
    EXPECT_EQ(names.size(), 4u);
    const Files after = files();
    EXPECT_EQ(after.at(L"VEZerez.exe"), "new program");
    EXPECT_EQ(after.at(L"new.dll"), "new library");
    EXPECT_EQ(after.at(L"outside.txt"), "inside after all");
    // Names compare without case, as the file system does: the old file is replaced.
    EXPECT_EQ(after.count(L"helper.dll") + after.count(L"HELPER.DLL"), 1u);
    EXPECT_FALSE(hasFolders());
}

TEST_F(PackageInstaller, DamagedPackageChangesNothing) {
    ZipBuilder builder;
    builder.add("VEZerez.exe", "new program", ZipBuilder::Method::Stored);
    builder.add("helper.dll", "new helper", ZipBuilder::Method::Stored);
    std::string archive = builder.finish();
    archive[archive.find("new helper")] = 'N';
    write(L"P.ZIP", archive);
    const Files before = files();
    EXPECT_EQ(failureOf(directory_ + L"P.ZIP"),
              "the package is damaged: entry 'helper.dll' fails its CRC check");
    EXPECT_EQ(files(), before);
    EXPECT_FALSE(hasFolders());
}

TEST_F(PackageInstaller, LockedFileRestoresWhatWasAlreadyReplaced) {
    ZipBuilder builder;
    builder.add("VEZerez.exe", "new program");
    builder.add("helper.dll", "new helper");
    builder.add("zzz.dll", "never placed");
    const std::wstring path = package(builder);
    const Files before = files();
    {
        // helper.dll comes after VEZerez.exe in name order, so one file is already in place.
        support::KernelHandle locked(CreateFileW((directory_ + L"helper.dll").c_str(), GENERIC_READ,
                                                 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked.valid());
        const std::string failure = failureOf(path);
        EXPECT_NE(failure.find("cannot replace helper.dll"), std::string::npos) << failure;
    }
    EXPECT_EQ(files(), before);
    EXPECT_FALSE(hasFolders());
}

TEST_F(PackageInstaller, RefusesNamesThatAreNoPlainFile) {
    const Files before = files();
    for (const char* name : {"sub/CON", "lpt1.txt", "a.exe:stream", "dir/..", "x."}) {
        ZipBuilder builder;
        builder.add("VEZerez.exe", "new program");
        builder.add(name, "bad");
        EXPECT_EQ(
            failureOf(package(builder)),
            std::string("the package holds an entry that cannot be installed: '") + name + "'");
        DeleteFileW((directory_ + L"P.ZIP").c_str());
        EXPECT_EQ(files(), before) << name;
    }
}

// A replaced file that is read-only or in use can be moved aside but not
// simply deleted; neither may stop the next update.
TEST_F(PackageInstaller, ReadOnlyInstalledFileIsReplacedTwiceWithoutLeftovers) {
    SetFileAttributesW((directory_ + L"helper.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    installRelease(L"helper.dll", "release one");
    installRelease(L"helper.dll", "release two");
    EXPECT_FALSE(hasFolders());
}

TEST_F(PackageInstaller, ProgramInUseDoesNotBlockLaterUpdates) {
    // Mapped as an image, as the file of a running program is.
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CopyFileW(self, (directory_ + L"VEZerez.exe").c_str(), FALSE));
    support::ModuleHandle running(LoadLibraryExW((directory_ + L"VEZerez.exe").c_str(), nullptr,
                                                 DONT_RESOLVE_DLL_REFERENCES));
    ASSERT_TRUE(running.valid());
    installRelease(L"VEZerez.exe", "release one");
    installRelease(L"VEZerez.exe", "release two");
    EXPECT_TRUE(hasFolders()) << "the copy in use was not kept aside";
    running.reset();
    installRelease(L"VEZerez.exe", "release three");
    EXPECT_FALSE(hasFolders()) << "the copy no longer in use was not cleaned up";
}

TEST_F(PackageInstaller, LeftoversOfEarlierRunsNeitherBlockNorVanish) {
    // Backup folders whose undo failed hold the only copies of those files.
    for (const wchar_t* folder : {L"~kdlauncher.old\\", L"~kdlauncher.old.1\\"}) {
        CreateDirectoryW((directory_ + folder).c_str(), nullptr);
        write(std::wstring(folder) + L"VEZerez.exe", "only copy");
    }
    // An interrupted run's staging folder, with a file that resists a plain delete.
    CreateDirectoryW((directory_ + L"~kdlauncher.new\\").c_str(), nullptr);
    write(L"~kdlauncher.new\\helper.dll", "half unpacked");
    SetFileAttributesW((directory_ + L"~kdlauncher.new\\helper.dll").c_str(),
                       FILE_ATTRIBUTE_READONLY);

    installRelease(L"VEZerez.exe", "new program");
    EXPECT_EQ(read(L"~kdlauncher.old\\VEZerez.exe"), "only copy");
    EXPECT_EQ(read(L"~kdlauncher.old.1\\VEZerez.exe"), "only copy");
    EXPECT_EQ(GetFileAttributesW((directory_ + L"~kdlauncher.new").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST_F(PackageInstaller, InstalledFilesKeepTheEntriesTimes) {
    ZipBuilder builder;
    // 2023-07-14 09:41:36 on the packing machine's clock.
    builder.add("VEZerez.exe", "new program", ZipBuilder::Method::Deflated,
                {true, 9 << 11 | 41 << 5 | 36 / 2, (2023 - 1980) << 9 | 7 << 5 | 14});
    builder.add("helper.dll", "no time recorded");
    installPackage(package(builder), directory_);

    const auto localModificationTime = [&](const wchar_t* name) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW((directory_ + name).c_str(), GetFileExInfoStandard, &data);
        SYSTEMTIME universal{};
        SYSTEMTIME local{};
        FileTimeToSystemTime(&data.ftLastWriteTime, &universal);
        SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
        return local;
    };
    const SYSTEMTIME program = localModificationTime(L"VEZerez.exe");
    EXPECT_EQ(std::vector<int>({program.wYear, program.wMonth, program.wDay, program.wHour,
                                program.wMinute, program.wSecond}),
              std::vector<int>({2023, 7, 14, 9, 41, 36}));
    EXPECT_GT(localModificationTime(L"helper.dll").wYear, 2023);
}

// Names not marked UTF-8 are read in this machine's OEM code page.
class KoreanPackage : public PackageInstaller {
protected:
    void SetUp() override {
        PackageInstaller::SetUp();
        testing::requireKoreanCodePages();
    }

    // "관리자.dll" as an archiver on a Korean system stores it: code page 949, no UTF-8 flag.
    static constexpr char kManagerDll949[] = "\xB0\xFC\xB8\xAE\xC0\xDA.dll";
    static constexpr ZipBuilder::Options kNo949Flag{false};
};

TEST_F(KoreanPackage, NamesWithAndWithoutTheUtf8FlagInstallInHangul) {
    ZipBuilder builder;
    builder.add(std::string("lib/") + kManagerDll949, "code page name",
                ZipBuilder::Method::Deflated, kNo949Flag);
    builder.add("\xEC\x84\xA4\xEB\xAA\x85.txt", "UTF-8 name");  // "설명.txt"
    installPackage(package(builder), directory_);
    const Files after = files();
    EXPECT_EQ(after.at(L"\uAD00\uB9AC\uC790.dll"), "code page name");
    EXPECT_EQ(after.at(L"\uC124\uBA85.txt"), "UTF-8 name");
}

TEST_F(KoreanPackage, MessagesShowTheNameInHangul) {
    ZipBuilder damaged;
    damaged.add(kManagerDll949, "new helper", ZipBuilder::Method::Stored, kNo949Flag);
    std::string archive = damaged.finish();
    archive[archive.find("new helper")] = 'N';
    write(L"P.ZIP", archive);
    EXPECT_EQ(failureOf(directory_ + L"P.ZIP"),
              "the package is damaged: entry '\xEA\xB4\x80\xEB\xA6\xAC\xEC\x9E\x90.dll' fails "
              "its CRC check");

    ZipBuilder refused;
    refused.add(std::string("sub/") + kManagerDll949 + ".", "x", ZipBuilder::Method::Stored,
                kNo949Flag);
    EXPECT_EQ(failureOf(package(refused)),
              "the package holds an entry that cannot be installed: "
              "'sub/\xEA\xB4\x80\xEB\xA6\xAC\xEC\x9E\x90.dll.'");
}

}  // namespace
}  // namespace launcher
