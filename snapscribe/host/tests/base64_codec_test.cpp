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

}  // namespace
