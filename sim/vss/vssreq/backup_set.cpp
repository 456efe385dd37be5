#include "sim/vss/vssreq/backup_set.h"

#include <fstream>

#include "sim/vss/common/wide.h"
#include "sim/vss/model/paths.h"
#include "support/unique_handle.h"

namespace vsssim {

namespace {

bool isExcluded(const Text& file, const std::vector<FileSpec>& excluded) {
    for (const FileSpec& fileSpec : excluded)
        if (isNamedBy(file, fileSpec.path, fileSpec.filespec, fileSpec.recursive)) return true;
    return false;
}

void collectFiles(const std::wstring& directory, const FileSpec& fileSpec,
                  const std::vector<FileSpec>& excluded, std::vector<Text>& found) {
    WIN32_FIND_DATAW data;
    support::FindHandle find(FindFirstFileW((directory + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring full = directory + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (fileSpec.recursive) collectFiles(full, fileSpec, excluded, found);
        } else if (matchesFilespec(toText(name), fileSpec.filespec) &&
                   !isExcluded(toText(full), excluded)) {
            found.push_back(toText(full));
        }
    } while (FindNextFileW(find.get(), &data));
}

std::uint64_t lastWriteTime(const std::wstring& file) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return 0;
    return static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
           data.ftLastWriteTime.dwLowDateTime;
}

class StreamSink final : public TextSink {
public:
    explicit StreamSink(std::ostream& out) : out_(out) {}
    void put(std::string_view text) override {
        out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

private:
    std::ostream& out_;
};

std::wstring inSet(const std::wstring& setDirectory, const Text& stored) {
    return setDirectory + L"\\" + toWide(stored);
}

bool copyFileCreatingDirectories(const std::wstring& from, const std::wstring& to) {
    Text directory, name;
    splitPath(toText(to), directory, name);
    createDirectories(toWide(directory));
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

}  // namespace

std::wstring documentPathOf(const std::wstring& setDirectory) {
    return setDirectory + L"\\backup-document.txt";
}

bool saveDocument(const std::wstring& setDirectory, const BackupDocument& document) {
    std::ofstream out(documentPathOf(setDirectory).c_str(), std::ios::binary | std::ios::trunc);
    StreamSink sink(out);
    RecordWriter writer(sink);
    write(writer, document);
    return static_cast<bool>(out.flush());
}

BackupDocument loadDocument(const std::wstring& setDirectory) {
    std::ifstream in(documentPathOf(setDirectory).c_str(), std::ios::binary | std::ios::ate);
    if (!in) throw FormatError("the set has no backup document");
    // Read at its size in one piece: a document carrying large restore
    // metadata must not be held twice while it is read.
    std::string text(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size())))
        throw FormatError("the backup document cannot be read");
    return backupDocumentFrom(readRecord(text));
}

std::vector<Text> filesNamedBy(const FileSpec& fileSpec, const std::vector<FileSpec>& excluded) {
    std::vector<Text> found;
    const std::wstring directory = toWide(withoutTrailingBackslash(fileSpec.path));
    if (fileSpec.recursive || fileSpec.filespec.find_first_of(u"*?") != Text::npos) {
        collectFiles(directory, fileSpec, excluded, found);
        return found;
    }
    // A file pattern without wildcards names one file: it is looked up, not
    // matched against a listing of its folder, which may hold thousands of
    // datafiles, each named by a pattern of its own.
    WIN32_FIND_DATAW data;
    support::FindHandle find(
        FindFirstFileW((directory + L"\\" + toWide(fileSpec.filespec)).c_str(), &data));
    if (!find || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return found;
    const Text full = toText(directory + L"\\" + data.cFileName);
    if (!isExcluded(full, excluded)) found.push_back(full);
    return found;
}

std::vector<StoredFile> filesOfComponent(const ComponentInfo& owner, std::uint32_t backupType,
                                         const std::vector<FileSpec>& excluded) {
    std::vector<StoredFile> files;
    for (const auto* list : {&owner.databaseFiles, &owner.logFiles, &owner.groupFiles}) {
        for (const FileSpec& fileSpec : *list) {
            if (!isRequiredFor(fileSpec.typeMask, backupType)) continue;
            for (const Text& file : filesNamedBy(fileSpec, excluded))
                files.push_back({owner.logicalPath, owner.name, file, storedPathFor(file)});
        }
    }
    return files;
}

bool copyIntoSet(const std::wstring& setDirectory, const std::vector<StoredFile>& files,
                 Text& failure) {
    for (const StoredFile& file : files) {
        if (!copyFileCreatingDirectories(toWide(file.original), inSet(setDirectory, file.stored))) {
            failure = file.original;
            return false;
        }
    }
    return true;
}

std::vector<Text> pruneUnchanged(const std::wstring& setDirectory, ComponentState& component) {
    std::vector<Text> dropped;
    std::vector<StoredFile> kept;
    for (const StoredFile& file : component.files) {
        bool unchanged = false;
        for (const DifferencedFile& fileSpec : component.differencedFiles)
            if (fileSpec.lsn.empty() &&
                isNamedBy(file.original, fileSpec.path, fileSpec.filespec, fileSpec.recursive) &&
                lastWriteTime(inSet(setDirectory, file.stored)) <= fileSpec.lastModifyTime)
                unchanged = true;
        if (unchanged) {
            DeleteFileW(inSet(setDirectory, file.stored).c_str());
            dropped.push_back(file.original);
        } else {
            kept.push_back(file);
        }
    }
    component.files = kept;
    return dropped;
}

Text restoreDestination(const StoredFile& file, const std::vector<FileSpec>& newTargets) {
    Text directory, name;
    splitPath(file.original, directory, name);
    for (const FileSpec& target : newTargets) {
        if (!isNamedBy(file.original, target.path, target.filespec, target.recursive)) continue;
        Text root = withoutTrailingBackslash(target.path);
        return withoutTrailingBackslash(target.alternateLocation) + directory.substr(root.size()) +
               u"\\" + name;
    }
    return file.original;
}

bool copyOutOfSet(const std::wstring& setDirectory, const StoredFile& file,
                  const Text& destination) {
    return copyFileCreatingDirectories(inSet(setDirectory, file.stored), toWide(destination));
}

bool createDirectories(const std::wstring& directory) {
    if (directory.empty()) return false;
    DWORD attributes = GetFileAttributesW(directory.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    Text parent, name;
    splitPath(toText(directory), parent, name);
    if (!parent.empty() && parent.back() != u':') createDirectories(toWide(parent));
    return CreateDirectoryW(directory.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace vsssim
