#include "launcher/version_file.h"

#include <windows.h>

#include <vector>

#include "launcher/win_text.h"
#include "support/unique_handle.h"

namespace launcher {
namespace {

constexpr wchar_t kVersionFile[] = L"VERSION.INI";

// GetPrivateProfile* truncate silently; a result two short of the buffer means it was too small.
template <typename Read>
std::wstring readGrowing(Read read) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD length = read(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length + 2 < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

bool hasSection(const std::wstring& path, const std::wstring& section) {
    const std::wstring names = readGrowing([&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileSectionNamesW(buffer, size, path.c_str());
    });
    for (std::size_t at = 0; at < names.size(); at = names.find(L'\0', at) + 1) {
        const std::wstring name = names.c_str() + at;
        if (CompareStringOrdinal(name.c_str(), -1, section.c_str(), -1, TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

std::wstring readValue(const std::wstring& path, const std::wstring& section, const wchar_t* key) {
    return readGrowing([&](wchar_t* buffer, DWORD size) {
        return GetPrivateProfileStringW(section.c_str(), key, L"", buffer, size, path.c_str());
    });
}

std::uint64_t fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void writeValue(const std::wstring& path, const std::wstring& section, const wchar_t* key,
                const std::wstring& value) {
    check(WritePrivateProfileStringW(section.c_str(), key, value.c_str(), path.c_str()),
          "cannot write " + toNarrow(key) + " into " + toNarrow(path));
}

}  // namespace

InstalledCopy readInstalledCopy(const std::wstring& directory, const std::wstring& programName) {
    const std::wstring path = directory + kVersionFile;
    InstalledCopy copy;
    copy.versionFileHasContent = fileExists(path) && fileSize(path) > 0;
    if (copy.versionFileHasContent) {
        copy.hasSection = hasSection(path, programName);
        copy.version = readValue(path, programName, L"VERSION");
        copy.exeSize = readValue(path, programName, L"EXESIZE");
    }
    copy.programFileExists = fileExists(directory + programName + L".exe");
    return copy;
}

void writeAnsiTextFile(const std::wstring& path, const std::wstring& text) {
    const std::string bytes = toNarrow(text, CP_ACP);
    support::KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    check(file.valid(), "cannot create " + toNarrow(path));
    DWORD written = 0;
    check(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size(),
        "cannot write " + toNarrow(path));
}

void createVersionFile(const std::wstring& path, const std::wstring& programName,
                       const ReleaseRow& row) {
    writeAnsiTextFile(path, newVersionFileText(programName, row));
}

void updateVersionFile(const std::wstring& path, const std::wstring& programName,
                       const ReleaseRow& row) {
    writeValue(path, programName, L"EXEFILE", row.exeFile);
    writeValue(path, programName, L"VERSION", row.version);
    writeValue(path, programName, L"EXESIZE", row.exeSize);
    writeValue(path, programName, L"INDATE", row.inDate);
}

}  // namespace launcher
