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
// Every run takes folders of its own: one that an earlier run could not empty
// (a replaced file still in use) never blocks a later update.
constexpr wchar_t kStagingPrefix[] = L"~kdlauncher.new";
constexpr wchar_t kBackupPrefix[] = L"~kdlauncher.old";
constexpr int kMaxFolderNumber = 9999;
// Made inside a backup folder once its files are replaced for good. A backup
// folder without it may hold the only copy of a file an undo could not put
// back, and is never emptied. A folder can never collide with a backed-up file.
constexpr wchar_t kObsoleteMarker[] = L"~obsolete\\";

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

// Names not marked UTF-8 are in the OEM code page of the machine that packed
// them, as on this machine (949 on a Korean system).
UINT nameCodePage(bool utf8Name) { return utf8Name ? CP_UTF8 : CP_OEMCP; }

// An entry's name for a message: what a user of this machine reads.
std::string readableName(const std::string& storedName, bool utf8Name) {
    return toNarrow(toWide(storedName, nameCodePage(utf8Name)));
}

std::wstring entryName(const zip::Entry& entry) {
    const UINT codePage = nameCodePage(entry.utf8Name);
    const int size = static_cast<int>(entry.name.size());
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, entry.name.data(), size, nullptr, 0) ==
        0) {
        throw InstallError("the package holds an entry whose name cannot be read: '" +
                           readableName(entry.name, entry.utf8Name) + "'");
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
                               readableName(entry.name, entry.utf8Name) + "'");
        }
        plan[name] = &entry;
    }
    return plan;
}

// Clears the read-only attribute first: a replaced file may well carry it.
bool deleteFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) != FALSE;
}

template <typename Visit>
void forEachMatch(const std::wstring& pattern, Visit visit) {
    WIN32_FIND_DATAW found;
    support::FindHandle search(FindFirstFileW(pattern.c_str(), &found));
    if (!search.valid()) return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") visit(name, found.dwFileAttributes);
    } while (FindNextFileW(search.get(), &found));
}

// Deletes the folder's files; true when every one is gone.
bool deleteFiles(const std::wstring& folder) {
    bool allGone = true;
    forEachMatch(folder + L"*", [&](const std::wstring& name, DWORD attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            allGone = deleteFile(folder + name) && allGone;
    });
    return allGone;
}

void removeFolder(const std::wstring& folder) {
    deleteFiles(folder);
    RemoveDirectoryW(folder.c_str());
}

// Only a folder marked obsolete loses its files; any other goes only when empty.
void removeBackupFolder(const std::wstring& folder) {
    const std::wstring marker = folder + kObsoleteMarker;
    if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES && deleteFiles(folder)) {
        RemoveDirectoryW(marker.c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

void markObsolete(const std::wstring& backupFolder) {
    CreateDirectoryW((backupFolder + kObsoleteMarker).c_str(), nullptr);
}

// What earlier runs left and can go now: staging folders always, backup
// folders as far as removeBackupFolder allows.
void cleanEarlierFolders(const std::wstring& directory) {
    forEachMatch(directory + kStagingPrefix + L"*",
                 [&](const std::wstring& name, DWORD attributes) {
                     if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                         removeFolder(directory + name + L"\\");
                 });
    forEachMatch(directory + kBackupPrefix + L"*", [&](const std::wstring& name, DWORD attributes) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) removeBackupFolder(directory + name + L"\\");
    });
}

// A new, empty folder "<prefix>.<n>" that no other run has used.
std::wstring createFreshFolder(const std::wstring& directory, const wchar_t* prefix) {
    for (int number = 1; number <= kMaxFolderNumber; ++number) {
        const std::wstring folder = directory + prefix + L"." + std::to_wstring(number) + L"\\";
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            check(false, "cannot create " + toNarrow(folder));
        }
    }
    throw InstallError("cannot create a working folder: " + toNarrow(directory + prefix) +
                       ".1 to ." + std::to_string(kMaxFolderNumber) + " all exist");
}

// The file keeps the time the entry records, read as local time as the
// creator's clock gave it. Only a nicety: an entry without a valid time, or a
// file system that refuses it, leaves the time of unpacking.
void keepModificationTime(HANDLE file, const zip::Entry& entry) {
    const std::optional<zip::LocalTime> time = zip::modificationTime(entry);
    if (!time) return;
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(time->year);
    local.wMonth = static_cast<WORD>(time->month);
    local.wDay = static_cast<WORD>(time->day);
    local.wHour = static_cast<WORD>(time->hour);
    local.wMinute = static_cast<WORD>(time->minute);
    local.wSecond = static_cast<WORD>(time->second);
    SYSTEMTIME universal{};
    FILETIME modified{};
    if (TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) &&
        SystemTimeToFileTime(&universal, &modified)) {
        SetFileTime(file, nullptr, nullptr, &modified);
    }
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
    keepModificationTime(file.get(), entry);
}

// A fresh working folder for one run, removed as far as `remove` allows when the run ends.
class WorkingFolder {
public:
    WorkingFolder(const std::wstring& directory, const wchar_t* prefix,
                  void (*remove)(const std::wstring&))
        : path_(createFreshFolder(directory, prefix)), remove_(remove) {}
    ~WorkingFolder() { remove_(path_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    const std::wstring& path() const { return path_; }
    // The folder's name as the user sees it beside the installed files.
    std::string name() const {
        const std::wstring folder = path_.substr(0, path_.size() - 1);
        return toNarrow(folder.substr(folder.find_last_of(L'\\') + 1));
    }

private:
    std::wstring path_;
    void (*remove_)(const std::wstring&);
};

// Moves the staged files in, keeping the replaced ones until all are in place.
class Swap {
public:
    Swap(const std::wstring& directory, const std::wstring& staging, const std::wstring& backup)
        : directory_(directory), staging_(staging), backup_(backup) {}

    void install(const std::wstring& name) {
        const std::wstring target = directory_ + name;
        if (fileExists(target)) {
            move(target, backup_ + name);
            backedUp_.push_back(name);
        }
        move(staging_ + name, target);
        installed_.push_back(name);
    }

    // Undoes everything install() did, newest first. Returns what it could not undo.
    std::string undo() noexcept {
        std::string failures;
        for (auto name = installed_.rbegin(); name != installed_.rend(); ++name) {
            if (!DeleteFileW((directory_ + *name).c_str())) failures += " " + toNarrow(*name);
        }
        for (auto name = backedUp_.rbegin(); name != backedUp_.rend(); ++name) {
            if (!MoveFileExW((backup_ + *name).c_str(), (directory_ + *name).c_str(),
                             MOVEFILE_REPLACE_EXISTING)) {
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
    std::wstring staging_;
    std::wstring backup_;
    std::vector<std::wstring> backedUp_;
    std::vector<std::wstring> installed_;
};

void commit(const InstallPlan& plan, const std::wstring& directory, const std::wstring& staging) {
    const WorkingFolder backup(directory, kBackupPrefix, removeBackupFolder);
    Swap swap(directory, staging, backup.path());
    try {
        for (const auto& [name, entry] : plan) swap.install(name);
    } catch (const std::exception& error) {
        const std::string leftOver = swap.undo();
        if (!leftOver.empty()) {
            throw InstallError(std::string(error.what()) + "; could not restore:" + leftOver +
                               " (the replaced files are kept in " + backup.name() + ")");
        }
        throw InstallError(error.what());
    }
    markObsolete(backup.path());
}

}  // namespace

std::vector<std::wstring> installPackage(const std::wstring& packagePath,
                                         const std::wstring& directory) {
    cleanEarlierFolders(directory);
    try {
        FileSource source(packagePath);
        const std::vector<zip::Entry> entries = zip::readDirectory(source);
        const InstallPlan plan = planInstall(entries);
        const WorkingFolder staging(directory, kStagingPrefix, removeFolder);
        for (const auto& [name, entry] : plan) unpackEntry(source, *entry, staging.path() + name);
        commit(plan, directory, staging.path());
        std::vector<std::wstring> names;
        for (const auto& [name, entry] : plan) names.push_back(name);
        return names;
    } catch (const zip::EntryError& error) {
        throw InstallError("the package is damaged: entry '" +
                           readableName(error.storedName(), error.utf8Name()) + "' " +
                           error.problem());
    } catch (const zip::ZipError& error) {
        throw InstallError(std::string("the package is damaged: ") + error.what());
    } catch (const InstallError&) {
        throw;
    } catch (const std::exception& error) {
        throw InstallError(error.what());
    }
}

}  // namespace launcher
