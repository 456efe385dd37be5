#include "base64_codec.h"

#include <algorithm>
#include <array>
#include <vector>

namespace base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotInAlphabet);
    for (std::uint8_t value = 0; value < 64; ++value) {
        table[static_cast<unsigned char>(kAlphabet[value])] = value;
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = makeDecodeTable();

std::uint8_t sextet(char c) { return kDecodeTable[static_cast<unsigned char>(c)]; }

}  // namespace

std::size_t encode(const std::uint8_t* data, std::size_t size, char* out) {
    char* start = out;
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        *out++ = kAlphabet[(group >> 18) & 0x3F];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = kAlphabet[(group >> 6) & 0x3F];
        *out++ = kAlphabet[group & 0x3F];
    }
    const std::size_t rest = size - i;
    if (rest > 0) {
        const std::uint32_t group = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
        *out++ = kAlphabet[(group >> 18) & 0x3F];
        *out++ = kAlphabet[(group >> 12) & 0x3F];
        *out++ = rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        *out++ = '=';
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t decodePiece(const char* text, std::size_t size, std::uint8_t* out) {
    std::size_t pos = 0;
    while (pos < size && (text[pos] == ' ' || text[pos] == '\t')) ++pos;

    std::uint8_t* start = out;
    // Whole groups of four first: one test of the four values at once.
    for (; pos + 4 <= size; pos += 4) {
        const std::uint8_t a = sextet(text[pos]), b = sextet(text[pos + 1]),
                           c = sextet(text[pos + 2]), d = sextet(text[pos + 3]);
        if ((a | b | c | d) & 0xC0) break;
        const std::uint32_t group = (a << 18) | (b << 12) | (c << 6) | d;
        *out++ = static_cast<std::uint8_t>(group >> 16);
        *out++ = static_cast<std::uint8_t>(group >> 8);
        *out++ = static_cast<std::uint8_t>(group);
    }
    // Fewer than four alphabet characters are left: the loop above stops at
    // the group holding the first character outside the alphabet.
    std::uint32_t group = 0;
    int held = 0;
    for (; pos < size; ++pos) {
        const std::uint8_t value = sextet(text[pos]);
        if (value == kNotInAlphabet) break;
        group = (group << 6) | value;
        ++held;
    }
    // A lone trailing character carries fewer than eight bits: no byte.
    if (held == 2) {
        *out++ = static_cast<std::uint8_t>(group >> 4);
    } else if (held == 3) {
        *out++ = static_cast<std::uint8_t>(group >> 10);
        *out++ = static_cast<std::uint8_t>(group >> 2);
    }
    return static_cast<std::size_t>(out - start);
}

PiecesResult decodePieces(const char* text, std::size_t size, std::size_t pieceChars,
                          const BlockSink& sink) {
    // One write per piece would cost a system call per 30 KiB of a file.
    constexpr std::size_t kPiecesPerBlock = 32;
    const std::size_t pieceBytes = pieceChars / 4 * 3 + pieceChars % 4 * 3 / 4;
    std::vector<std::uint8_t> block(kPiecesPerBlock * pieceBytes);
    std::size_t held = 0;
    PiecesResult result;
    for (std::size_t offset = 0; offset < size; offset += pieceChars) {
        const std::size_t pieceLength = std::min(pieceChars, size - offset);
        const std::size_t count = decodePiece(text + offset, pieceLength, block.data() + held);
        if (count == 0) return {PiecesOutcome::EmptyPiece, result.bytes};
        held += count;
        result.bytes += count;
        if (block.size() - held < pieceBytes) {
            if (!sink(block.data(), held)) return {PiecesOutcome::SinkRefused, result.bytes};
            held = 0;
        }
    }
    if (held > 0 && !sink(block.data(), held)) return {PiecesOutcome::SinkRefused, result.bytes};
    return result;
}

}  // namespace base64
