#include "packed_payload.h"

#include <cstring>

#include "base64_codec.h"

namespace snapscribe {
namespace {

// Bytes from the start up to the end of the zero unit after `characters`.
constexpr std::size_t endedBytes(std::size_t characters) {
    return (packedUnits(characters) + 1) * sizeof(wchar_t);
}

}  // namespace

bool PayloadPacker::add(const std::uint8_t* data, std::size_t size) {
    const std::size_t total = characters_ + base64::encodedLength(size);
    if (endedBytes(total) > capacity_) return false;
    characters_ += base64::encode(data, size, out_ + characters_);
    std::memset(out_ + characters_, 0, endedBytes(characters_) - characters_);
    return true;
}

std::string_view packedCharacters(std::wstring_view units) {
    return {reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t)};
}

}  // namespace snapscribe
