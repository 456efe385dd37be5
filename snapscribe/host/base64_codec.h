#pragma once
// Standard base64 (alphabet A-Z a-z 0-9 + /, "=" padding, no line breaks).
// Pure byte work: no Windows header, so it can also be built natively.

#include <cstddef>
#include <cstdint>
#include <functional>

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

// Takes decoded bytes a block at a time; false stops the decoding.
using BlockSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

enum class PiecesOutcome { Decoded, EmptyPiece, SinkRefused };
struct PiecesResult {
    PiecesOutcome outcome = PiecesOutcome::Decoded;
    std::size_t bytes = 0;  // decoded, all handed to the sink when Decoded
};

// Decodes a long text as a file is carried in metadata: cut into pieces of
// `pieceChars` (at least 1) characters, each decoded on its own with
// decodePiece, the bytes handed to `sink` in blocks of up to 32 pieces'
// worth. Stops at the first piece that yields no byte.
PiecesResult decodePieces(const char* text, std::size_t size, std::size_t pieceChars,
                          const BlockSink& sink);

}  // namespace base64
