// The base64 codec: any bytes come back from their encoding unchanged, and
// decoding any text stays within the capacity the codec promises.

#include <algorithm>
#include <memory>

#include "fuzz/fuzz_input.h"
#include "snapscribe/host/base64_codec.h"

namespace {

void checkRoundTrip(const std::vector<std::uint8_t>& bytes) {
    const std::size_t length = base64::encodedLength(bytes.size());
    const auto text = std::make_unique<char[]>(length);
    fuzzing::require(base64::encode(bytes.data(), bytes.size(), text.get()) == length,
                     "encoding writes the length it announces");
    const auto decoded = std::make_unique<std::uint8_t[]>(length * 3 / 4);
    const std::size_t count = base64::decodePiece(text.get(), length, decoded.get());
    fuzzing::require(count == bytes.size() && std::equal(bytes.begin(), bytes.end(), decoded.get()),
                     "decoding an encoding gives the bytes back");
}

// The capacity is exactly size * 3 / 4 bytes on the heap: a byte more is
// caught by the address checker.
void checkArbitraryDecode(const std::vector<std::uint8_t>& text) {
    const std::size_t capacity = text.size() * 3 / 4;
    const auto out = std::make_unique<std::uint8_t[]>(capacity);
    const std::size_t count =
        base64::decodePiece(reinterpret_cast<const char*>(text.data()), text.size(), out.get());
    fuzzing::require(count <= capacity, "decoding reports no more than its capacity");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const std::vector<std::uint8_t> bytes = input.restAsBytes();
    checkRoundTrip(bytes);
    checkArbitraryDecode(bytes);
    return 0;
}
