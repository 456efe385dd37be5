#include "file_utils.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "base64_codec.h"
#include "packed_payload.h"
#include "support/unique_handle.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kEncodeBlockBytes = 30720;
constexpr std::uint32_t kDecodePieceChars = 40960;
constexpr std::uint64_t kLargestEncodableFile = 0xFFFFFFFFull;
constexpr std::uint32_t kCapacitySpare = 10;

void createDirectoryUpTo(const wchar_t* path, std::size_t length) {
    CreateDirectoryW(std::wstring(path, length).c_str(), nullptr);
}

bool capacityHolds(std::uint64_t fileSize, std::uint32_t capacity) {
    return fileSize <= kLargestEncodableFile && capacity >= fileSize * 4 / 3 + kCapacitySpare;
}

support::KernelHandle openTemporaryInstead(wchar_t* filePath) {
    wchar_t tempDir[kPathCapacity];
    const DWORD length = GetTempPathW(kPathCapacity, tempDir);
    if (length == 0 || length >= kPathCapacity) return {};
    // A unique name each time: two logs that both miss their own directory
    // must never end up in the same file.
    if (GetTempFileNameW(tempDir, L"ARCH", 0, filePath) == 0) return {};
    support::KernelHandle file(CreateFileW(filePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) createParentDirectories(filePath);
    return file;
}

bool writeAll(HANDLE file, const std::uint8_t* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// Returns the bytes written, 0 when a piece yields nothing or a write fails.
std::uint32_t decodeInto(HANDLE file, const char* text, std::uint32_t length) {
    const base64::PiecesResult result = base64::decodePieces(
        text, length, kDecodePieceChars, [file](const std::uint8_t* data, std::size_t size) {
            return writeAll(file, data, static_cast<DWORD>(size));
        });
    if (result.outcome == base64::PiecesOutcome::EmptyPiece) SetLastError(ERROR_INVALID_DATA);
    return result.outcome == base64::PiecesOutcome::Decoded
               ? static_cast<std::uint32_t>(result.bytes)
               : 0;
}

}  // namespace

int createDirectoryPath(const wchar_t* path) {
    const wchar_t* first = std::wcschr(path, L'\\');
    if (first == nullptr) return 0;
    for (const wchar_t* sep = std::wcschr(first + 1, L'\\'); sep != nullptr && sep[1] != L'\0';
         sep = std::wcschr(sep + 1, L'\\')) {
        createDirectoryUpTo(path, static_cast<std::size_t>(sep - path));
    }
    CreateDirectoryW(path, nullptr);
    return 0;
}

int createParentDirectories(const wchar_t* filePath) {
    const wchar_t* last = nullptr;
    for (const wchar_t* p = filePath; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/' || *p == L':') last = p;
    }
    if (last == nullptr) return 0;
    return createDirectoryPath(std::wstring(filePath, last + 1).c_str());
}

std::uint32_t fileToBase64(const wchar_t* filePath, char* out, std::uint32_t capacity) {
    support::KernelHandle file(CreateFileW(filePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return 0;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) ||
        !capacityHolds(static_cast<std::uint64_t>(size.QuadPart), capacity)) {
        return 0;
    }

    std::vector<std::uint8_t> block(kEncodeBlockBytes);
    PayloadPacker packer(out, capacity);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), block.data(), kEncodeBlockBytes, &got, nullptr)) return 0;
        // The file is not shared, yet its size was read before: never trust
        // it further than the buffer reaches.
        if (!packer.add(block.data(), got)) return 0;
        if (got < kEncodeBlockBytes) return static_cast<std::uint32_t>(packer.characters());
    }
}

std::uint32_t base64ToFile(wchar_t* filePath, const char* text, std::uint32_t length,
                           bool* usedTemporary) {
    createParentDirectories(filePath);
    *usedTemporary = false;

    support::KernelHandle file(CreateFileW(filePath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (GetLastError() == ERROR_FILE_EXISTS) return 0;
        file = openTemporaryInstead(filePath);
        if (!file) return 0;
        *usedTemporary = true;
    }

    const std::uint32_t total = decodeInto(file.get(), text, length);
    file.reset();
    // A partial file would later pass for a restored one: remove it.
    if (total == 0) {
        const DWORD error = GetLastError();
        DeleteFileW(filePath);
        SetLastError(error);
    }
    return total;
}

}  // namespace snapscribe
