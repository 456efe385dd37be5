#include "snapscribe/host/base64_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string encodeText(const std::string& bytes) {
    std::string out(base64::encodedLength(bytes.size()), '?');
    const std::size_t n = base64::encode(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size(), out.data());
    EXPECT_EQ(n, out.size());
    return out;
}

std::string decodeText(const std::string& text) {
    std::vector<std::uint8_t> out(text.size() * 3 / 4 + 3);
    const std::size_t n = base64::decodePiece(text.data(), text.size(), out.data());
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
}

struct Vector {
    const char* plain;
    const char* encoded;
};

// The test vectors of RFC 4648, section 10.
constexpr Vector kRfcVectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64Codec, EncodesAndDecodesTheStandardVectors) {
    for (const Vector& v : kRfcVectors) {
        EXPECT_EQ(encodeText(v.plain), v.encoded) << v.plain;
        EXPECT_EQ(decodeText(v.encoded), v.plain) << v.encoded;
    }
}

TEST(Base64Codec, UsesTheWholeAlphabetIncludingPlusAndSlash) {
    const std::string bytes = "\xfb\xff\xbf";
    EXPECT_EQ(encodeText(bytes), "+/+/");
    EXPECT_EQ(decodeText("+/+/"), bytes);
}

TEST(Base64Codec, DecodingSkipsLeadingBlanksAndStopsOutsideTheAlphabet) {
    EXPECT_EQ(decodeText(" \t \tZm9v"), "foo");
    EXPECT_EQ(decodeText("Zm8=Zm9v"), "fo");
    EXPECT_EQ(decodeText("Zm9v;DATA"), "foo");
    EXPECT_EQ(decodeText("Zm9v Zm9v"), "foo");
    EXPECT_EQ(decodeText(std::string("Zm9v\0Zm9v", 9)), "foo");
    EXPECT_EQ(decodeText("   "), "");
    EXPECT_EQ(decodeText("=Zm9v"), "");
}

TEST(Base64Codec, AShortFinalGroupGivesItsWholeBytesOnly) {
    EXPECT_EQ(decodeText("Zm9vYg"), "foob");
    EXPECT_EQ(decodeText("Zm9vYmE"), "fooba");
    EXPECT_EQ(decodeText("Zm9vY"), "foo");  // six bits make no byte
}

TEST(Base64Codec, RoundTripsRandomBytesOfEveryLengthMod3) {
    std::mt19937 rng(42);
    for (std::size_t size = 0; size < 300; ++size) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        ASSERT_EQ(decodeText(encodeText(bytes)), bytes) << size;
    }
}

TEST(Base64Codec, PiecesAreDecodedEachOnItsOwnAndHandedOnInBlocks) {
    const std::string text = encodeText(std::string(300, 'x'));  // 400 characters
    std::string received;
    std::vector<std::size_t> blocks;
    const auto keep = [&](const std::uint8_t* data, std::size_t size) {
        received.append(reinterpret_cast<const char*>(data), size);
        blocks.push_back(size);
        return true;
    };
    // Pieces of 4 characters: 32 pieces, 96 bytes, fill a block.
    base64::PiecesResult result = base64::decodePieces(text.data(), text.size(), 4, keep);
    EXPECT_EQ(result.outcome, base64::PiecesOutcome::Decoded);
    EXPECT_EQ(result.bytes, 300u);
    EXPECT_EQ(received, std::string(300, 'x'));
    EXPECT_EQ(blocks, (std::vector<std::size_t>{96, 96, 96, 12}));

    // Padding ends only its own piece; a piece that yields nothing ends all.
    received.clear();
    const std::string padded = "Zm8=Zm9v!!!!Zm9v";
    result = base64::decodePieces(padded.data(), padded.size(), 4, keep);
    EXPECT_EQ(result.outcome, base64::PiecesOutcome::EmptyPiece);
    EXPECT_EQ(result.bytes, 5u);
    EXPECT_EQ(received, "");

    int calls = 0;
    result = base64::decodePieces(text.data(), text.size(), 4,
                                  [&](const std::uint8_t*, std::size_t) { return ++calls < 2; });
    EXPECT_EQ(result.outcome, base64::PiecesOutcome::SinkRefused);
    EXPECT_EQ(calls, 2);
}

}  // namespace
