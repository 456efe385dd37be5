#pragma once
// Standard base64 (alphabet A-Z a-z 0-9 + /, "=" padding, no line breaks).
// Pure byte work: no Windows header, so it can also be built natively.

#include <cstddef>
#include <cstdint>

namespace base64 {

// Characters that encoding `byteCount` bytes produces.
constexpr std::size_t encodedLength(std::size_t byteCount) { return (byteCount + 2) / 3 * 4; }

// Encodes `size` bytes into `out`, which must hold encodedLength(size)
// characters; returns the characters written. Writes no terminator.
std::size_t encode(const std::uint8_t* data, std::size_t size, char* out);

// Decodes one piece of text: leading blanks and tabs are skipped, then the
// alphabet characters up to the first character outside it (such as "=" or
// the end of the piece) are decoded, a final group of two or three characters
// giving one or two bytes. `out` must hold size * 3 / 4 bytes.
std::size_t decodePiece(const char* text, std::size_t size, std::uint8_t* out);

}  // namespace base64
