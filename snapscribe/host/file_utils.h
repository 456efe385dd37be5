#pragma once
// Directory trees and whole files carried as base64 text inside metadata.

#include <cstdint>

namespace snapscribe {

// Wide characters of every path buffer the writer hands around.
constexpr std::uint32_t kPathCapacity = 772;

// Creates every directory level of `path`, the full path included. Levels
// that exist already, or cannot be made, are passed over.
int createDirectoryPath(const wchar_t* path);

// Creates every directory level up to the last "\", "/" or ":" of `filePath`.
int createParentDirectories(const wchar_t* filePath);

// Encodes the whole file into `out`, packed as a payload of a wide text and
// ended by a zero unit. Returns the base64 characters written; 0 when the
// file cannot be read or `capacity` bytes cannot hold the text (then nothing
// is written).
std::uint32_t fileToBase64(const wchar_t* filePath, char* out, std::uint32_t capacity);

// Decodes `length` characters of `text` into a new file at `filePath`, a
// buffer of kPathCapacity characters. An existing file is left untouched
// (result 0, last error ERROR_FILE_EXISTS). When the file cannot be created
// for another reason, a fresh temporary file is written instead: its name
// replaces `filePath` and `usedTemporary` is set. Returns the bytes written;
// 0 on failure, when no partial file is left behind.
std::uint32_t base64ToFile(wchar_t* filePath, const char* text, std::uint32_t length,
                           bool* usedTemporary);

}  // namespace snapscribe
