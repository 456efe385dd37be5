#include "snapscribe/host/packed_payload.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace snapscribe {
namespace {

const std::uint8_t* bytesOf(const char* text) {
    return reinterpret_cast<const std::uint8_t*>(text);
}

TEST(PackedPayloadTest, BlocksPackTwoCharactersPerUnitAndEndWithAZeroUnit) {
    std::vector<wchar_t> units(5, L'#');
    PayloadPacker packer(reinterpret_cast<char*>(units.data()), units.size() * sizeof(wchar_t));
    ASSERT_TRUE(packer.add(bytesOf("abc"), 3));
    EXPECT_EQ(packer.characters(), 4u);
    EXPECT_EQ(units[0], 0x5759);
    EXPECT_EQ(units[1], 0x6A4A);
    EXPECT_EQ(units[2], L'\0');

    ASSERT_TRUE(packer.add(bytesOf("d"), 1));
    EXPECT_EQ(packer.characters(), 8u);
    EXPECT_EQ(packedCharacters(std::wstring_view(units.data(), packedUnits(8))), "YWJjZA==");
    EXPECT_EQ(units[4], L'\0');
}

TEST(PackedPayloadTest, ABlockWithoutRoomForItsEndingUnitWritesNothing) {
    std::vector<char> out(2 * sizeof(wchar_t) + sizeof(wchar_t) - 1, '#');
    PayloadPacker packer(out.data(), out.size());
    EXPECT_FALSE(packer.add(bytesOf("abc"), 3));
    EXPECT_EQ(packer.characters(), 0u);
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string(out.size(), '#'));

    ASSERT_TRUE(packer.add(bytesOf(""), 0));
    EXPECT_EQ(std::string(out.begin(), out.begin() + sizeof(wchar_t)),
              std::string(sizeof(wchar_t), '\0'));
}

}  // namespace
}  // namespace snapscribe
