// A file carried as base64 in metadata, decoded piece by piece: an encoding
// cut at whole groups comes back as the file, the sink sees every decoded
// byte once and no block larger than promised, and a refusing sink stops it.

#include <algorithm>
#include <memory>

#include "fuzz/fuzz_input.h"
#include "snapscribe/host/base64_codec.h"

namespace {

struct Received {
    std::vector<std::uint8_t> bytes;
    std::size_t calls = 0;
};

base64::PiecesResult decode(const char* text, std::size_t size, std::size_t pieceChars,
                            std::size_t refuseAtCall, Received& received) {
    const std::size_t blockLimit = 32 * (pieceChars * 3 / 4);
    return base64::decodePieces(
        text, size, pieceChars, [&](const std::uint8_t* data, std::size_t count) {
            fuzzing::require(count > 0 && count <= blockLimit, "a block holds 32 pieces at most");
            fuzzing::require(received.calls < refuseAtCall, "no block after a refusal");
            received.bytes.insert(received.bytes.end(), data, data + count);
            return ++received.calls != refuseAtCall;
        });
}

void checkEncodedFile(const std::vector<std::uint8_t>& file, std::size_t pieceChars) {
    const std::size_t length = base64::encodedLength(file.size());
    const auto text = std::make_unique<char[]>(length);
    base64::encode(file.data(), file.size(), text.get());
    Received received;
    const base64::PiecesResult result =
        decode(text.get(), length, pieceChars, static_cast<std::size_t>(-1), received);
    if (file.empty()) return;
    fuzzing::require(result.outcome == base64::PiecesOutcome::Decoded &&
                         result.bytes == file.size() && received.bytes == file,
                     "a file cut at whole groups decodes to itself");
}

void checkAnyText(const std::vector<std::uint8_t>& text, std::size_t pieceChars,
                  std::size_t refuseAtCall) {
    Received received;
    const base64::PiecesResult result = decode(reinterpret_cast<const char*>(text.data()),
                                               text.size(), pieceChars, refuseAtCall, received);
    fuzzing::require(result.bytes <= text.size() * 3 / 4, "no more bytes than the text holds");
    if (result.outcome == base64::PiecesOutcome::Decoded) {
        fuzzing::require(received.bytes.size() == result.bytes, "every decoded byte is handed on");
    }
    if (result.outcome == base64::PiecesOutcome::SinkRefused) {
        fuzzing::require(received.calls == refuseAtCall, "decoding stops when the sink refuses");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const std::size_t pieceChars = 1 + input.number<std::uint8_t>();
    const std::size_t refuseAtCall = 1 + input.number<std::uint8_t>() % 4;
    const std::vector<std::uint8_t> bytes = input.restAsBytes();
    checkEncodedFile(bytes, (pieceChars + 3) / 4 * 4);
    checkAnyText(bytes, pieceChars, refuseAtCall);
    return 0;
}
