#pragma once
// A file carried inside a wide text, as the restore metadata carries each
// archived log: its base64 characters are written byte by byte into the
// text's units, so a two-byte unit holds two of them, the first in the low
// byte, and the payload read byte by byte is plain base64. No base64
// character is a zero byte, so no unit ends the text or reads as ";".
// Pure byte work: no Windows header, so it can also be built natively.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace snapscribe {

// Units that `characters` packed characters fill.
constexpr std::size_t packedUnits(std::size_t characters) {
    return (characters + sizeof(wchar_t) - 1) / sizeof(wchar_t);
}

// Packs a file's base64 into `out`, `capacity` bytes that begin at a unit,
// a block at a time as the file is read; after each block the characters
// are ended by a zero unit.
class PayloadPacker {
public:
    PayloadPacker(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

    // Adds the base64 of `size` bytes; every block but the last must hold
    // whole groups of three bytes. False, with nothing written, when its
    // characters and the ending unit do not fit.
    bool add(const std::uint8_t* data, std::size_t size);

    std::size_t characters() const { return characters_; }

private:
    char* out_;
    std::size_t capacity_;
    std::size_t characters_ = 0;
};

// The packed characters that the payload `units` holds: its bytes in order.
std::string_view packedCharacters(std::wstring_view units);

}  // namespace snapscribe
