#include "launcher/package_installer.h"

#include <windows.h>

#include <map>

#include "launcher/install_names.h"
#include "launcher/win_text.h"
#include "launcher/zip_archive.h"
#include "support/unique_handle.h"

namespace launcher {
namespace {

// Beside the installed files, so moving a file in or out is a rename on one volume.
constexpr wchar_t kStagingFolder[] = L"~kdlauncher.new\\";
constexpr wchar_t kBackupFolder[] = L"~kdlauncher.old\\";

class FileSource : public zip::ByteSource {
public:
    explicit FileSource(const std::wstring& path)
        : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        check(file_.valid(), "cannot open the package " + toNarrow(path));
        LARGE_INTEGER size{};
        check(GetFileSizeEx(file_.get(), &size), "cannot read the package's size");
        size_ = static_cast<std::uint64_t>(size.QuadPart);
    }

    std::uint64_t size() const override { return size_; }

    void read(std::uint64_t offset, void* buffer, std::size_t count) override {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        check(ReadFile(file_.get(), buffer, static_cast<DWORD>(count), &read, &at) && read == count,
              "cannot read the package");
    }

private:
    support::KernelHandle file_;
    std::uint64_t size_ = 0;
};

struct CaselessLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    }
};

// Bare name -> entry; names compare as the file system does, without case.
using InstallPlan = std::map<std::wstring, const zip::Entry*, CaselessLess>;

std::wstring entryName(const zip::Entry& entry) {
    // Names not marked UTF-8 are in the OEM code page of the machine that packed them.
    const UINT codePage = entry.utf8Name ? CP_UTF8 : CP_OEMCP;
    const int size = static_cast<int>(entry.name.size());
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, entry.name.data(), size, nullptr, 0) ==
        0) {
        throw InstallError("the package holds an entry whose name cannot be read: '" + entry.name +
                           "'");
    }
    return toWide(entry.name, codePage);
}

InstallPlan planInstall(const std::vector<zip::Entry>& entries) {
    InstallPlan plan;
    for (const zip::Entry& entry : entries) {
        if (entry.isDirectory()) continue;
        const std::wstring name = bareFileName(entryName(entry));
        if (!isPlainFileName(name)) {
            throw InstallError("the package holds an entry that cannot be installed: '" +
                               entry.name + "'");
        }
        plan[name] = &entry;
    }
    return plan;
}

void removeFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    support::FindHandle search(FindFirstFileW((folder + L"*").c_str(), &found));
    if (search.valid()) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileW((folder + found.cFileName).c_str());
            }
        } while (FindNextFileW(search.get(), &found));
    }
    search.reset();
    RemoveDirectoryW(folder.c_str());
}

// A folder of our own, emptied of whatever an interrupted earlier run left.
void prepareFolder(const std::wstring& folder) {
    removeFolder(folder);
    check(CreateDirectoryW(folder.c_str(), nullptr), "cannot create " + toNarrow(folder));
}

void unpackEntry(zip::ByteSource& source, const zip::Entry& entry, const std::wstring& path) {
    support::KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    check(file.valid(), "cannot create " + toNarrow(path));
    zip::extractEntry(source, entry, [&](const std::uint8_t* data, std::size_t size) {
        DWORD written = 0;
        check(WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
                  written == size,
              "cannot write " + toNarrow(path));
    });
    check(FlushFileBuffers(file.get()), "cannot write " + toNarrow(path));
}

// Moves the staged files in, keeping the replaced ones until all are in place.
class Swap {
public:
    explicit Swap(const std::wstring& directory) : directory_(directory) {}

    void install(const std::wstring& name) {
        const std::wstring target = directory_ + name;
        if (fileExists(target)) {
            move(target, directory_ + kBackupFolder + name);
            backedUp_.push_back(name);
        }
        move(directory_ + kStagingFolder + name, target);
        installed_.push_back(name);
    }

    // Undoes everything install() did, newest first. Returns what it could not undo.
    std::string undo() noexcept {
        std::string failures;
        for (auto name = installed_.rbegin(); name != installed_.rend(); ++name) {
            if (!DeleteFileW((directory_ + *name).c_str())) failures += " " + toNarrow(*name);
        }
        for (auto name = backedUp_.rbegin(); name != backedUp_.rend(); ++name) {
            if (!MoveFileExW((directory_ + kBackupFolder + *name).c_str(),
                             (directory_ + *name).c_str(), MOVEFILE_REPLACE_EXISTING)) {
                failures += " " + toNarrow(*name);
            }
        }
        return failures;
    }

private:
    static void move(const std::wstring& from, const std::wstring& to) {
        check(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING),
              "cannot replace " + toNarrow(to.substr(to.find_last_of(L'\\') + 1)));
    }

    std::wstring directory_;
    std::vector<std::wstring> backedUp_;
    std::vector<std::wstring> installed_;
};

void commit(const InstallPlan& plan, const std::wstring& directory) {
    prepareFolder(directory + kBackupFolder);
    Swap swap(directory);
    try {
        for (const auto& [name, entry] : plan) swap.install(name);
    } catch (const std::exception& error) {
        const std::string leftOver = swap.undo();
        if (!leftOver.empty()) {
            throw InstallError(std::string(error.what()) + "; could not restore:" + leftOver);
        }
        throw InstallError(error.what());
    }
}

}  // namespace

std::vector<std::wstring> installPackage(const std::wstring& packagePath,
                                         const std::wstring& directory) {
    const std::wstring staging = directory + kStagingFolder;
    const std::wstring backup = directory + kBackupFolder;
    try {
        FileSource source(packagePath);
        const std::vector<zip::Entry> entries = zip::readDirectory(source);
        const InstallPlan plan = planInstall(entries);
        prepareFolder(staging);
        for (const auto& [name, entry] : plan) unpackEntry(source, *entry, staging + name);
        commit(plan, directory);
        removeFolder(staging);
        removeFolder(backup);
        std::vector<std::wstring> names;
        for (const auto& [name, entry] : plan) names.push_back(name);
        return names;
    } catch (const zip::ZipError& error) {
        removeFolder(staging);
        throw InstallError(std::string("the package is damaged: ") + error.what());
    } catch (const std::exception& error) {
        removeFolder(staging);
        // Only an empty backup folder goes: files left there are the ones an undo could not
        // restore.
        RemoveDirectoryW(backup.c_str());
        throw InstallError(error.what());
    }
}

}  // namespace launcher
