#include "sim/vorlix/instance/win_storage.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "sim/vorlix/instance/text.h"
#include "support/unique_handle.h"

namespace vorlix {

namespace {

std::wstring parentOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool writeAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

support::KernelHandle openForWriting(const std::string& path) {
    return support::KernelHandle(CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
}

support::KernelHandle openForReading(const std::string& path) {
    return support::KernelHandle(CreateFileW(widen(path).c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool seek(HANDLE file, uint64_t offset, DWORD from = FILE_BEGIN) {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(offset);
    return SetFilePointerEx(file, to, nullptr, from);
}

}  // namespace

bool createDirectories(const std::wstring& directory) {
    if (directory.empty() || directory.back() == L':') return true;
    DWORD attributes = GetFileAttributesW(directory.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!createDirectories(parentOf(directory))) return false;
    return CreateDirectoryW(directory.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool deleteTree(const std::wstring& directory) {
    std::wstring from = directory + L'\0';  // the shell wants a double-terminated list
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    return SHFileOperationW(&op) == 0;
}

bool WinStorage::exists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinStorage::createFile(const std::string& path, const std::string& bytes) {
    std::wstring wide = widen(path);
    if (!createDirectories(parentOf(wide))) return false;
    support::KernelHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && writeAll(file.get(), bytes);
}

std::optional<std::string> WinStorage::readAt(const std::string& path, uint64_t offset,
                                              size_t bytes) {
    support::KernelHandle file = openForReading(path);
    if (!file || !seek(file.get(), offset)) return std::nullopt;
    std::string data(bytes, '\0');
    size_t done = 0;
    while (done < bytes) {
        DWORD read = 0;
        DWORD chunk = DWORD(std::min<size_t>(bytes - done, 1 << 24));
        if (!ReadFile(file.get(), data.data() + done, chunk, &read, nullptr)) return std::nullopt;
        if (read == 0) break;
        done += read;
    }
    data.resize(done);
    return data;
}

bool WinStorage::writeAt(const std::string& path, uint64_t offset, const std::string& bytes) {
    support::KernelHandle file = openForWriting(path);
    return file && seek(file.get(), offset) && writeAll(file.get(), bytes);
}

bool WinStorage::append(const std::string& path, const std::string& bytes) {
    support::KernelHandle file = openForWriting(path);
    return file && seek(file.get(), 0, FILE_END) && writeAll(file.get(), bytes);
}

std::optional<uint64_t> WinStorage::size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool WinStorage::copyFile(const std::string& from, const std::string& to) {
    std::wstring target = widen(to);
    return createDirectories(parentOf(target)) &&
           CopyFileW(widen(from).c_str(), target.c_str(), FALSE);
}

}  // namespace vorlix
