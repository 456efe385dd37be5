// Taking the wallet locator apart in place.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "wallet/entrust/locator.h"

namespace {

using kmpwallet::LocatorParts;
using kmpwallet::splitLocator;

struct Split {
    std::vector<char> text;
    LocatorParts parts;
};

// The host's text with its NUL; `length` may or may not count the NUL.
Split split(const std::string& locator, std::uint32_t length) {
    Split result{std::vector<char>(locator.begin(), locator.end()), {}};
    result.text.push_back('\0');
    result.parts = splitLocator(result.text.data(), length);
    return result;
}

std::string textOf(const char* part) { return part != nullptr ? part : "<absent>"; }

TEST(Locator, OneSeparatorCountedWhenTheLengthLeavesOutTheNul) {
    const Split s = split("entr:prof::ini::", 16);
    EXPECT_TRUE(s.parts.entrust);
    EXPECT_EQ(textOf(s.parts.profile), "prof");
    EXPECT_EQ(textOf(s.parts.iniFile), "ini");
    EXPECT_EQ(s.text[14], '\0');
    EXPECT_EQ(s.text[15], ':');  // beyond the last scanned position
}

TEST(Locator, TwoSeparatorsCountedWhenTheLengthCountsTheNul) {
    const Split s = split("entr:prof::ini::", 17);
    EXPECT_EQ(textOf(s.parts.profile), "prof");
    EXPECT_EQ(textOf(s.parts.iniFile), "ini");
    EXPECT_EQ(s.text[15], '\0');
}

TEST(Locator, WithoutThePrefixNothingIsTakenOrChanged) {
    for (const std::string text : {"prof::ini::", "ENTR:prof::ini::", "entr", ""}) {
        const Split s = split(text, static_cast<std::uint32_t>(text.size()));
        EXPECT_FALSE(s.parts.entrust) << text;
        EXPECT_EQ(s.parts.profile, nullptr);
        EXPECT_EQ(s.parts.iniFile, nullptr);
        EXPECT_EQ(std::string(s.text.data()), text);
    }
    EXPECT_FALSE(splitLocator(nullptr, 16).entrust);
}

TEST(Locator, EmptyOrMissingPartsAreAbsent) {
    const Split noIni = split("entr:prof::", 11);
    EXPECT_EQ(textOf(noIni.parts.profile), "prof");
    EXPECT_EQ(noIni.parts.iniFile, nullptr);

    const Split noProfile = split("entr:::ini::", 12);
    EXPECT_EQ(noProfile.parts.profile, nullptr);
    EXPECT_EQ(textOf(noProfile.parts.iniFile), "ini");

    const Split bare = split("entr:::::", 9);
    EXPECT_EQ(bare.parts.profile, nullptr);
    EXPECT_EQ(bare.parts.iniFile, nullptr);
}

TEST(Locator, ShortTextsScanNothingAndCutTwoBytesOff) {
    // L = 7: no position is scanned; the NUL at 5 leaves an empty profile.
    const Split seven = split("entr:ab", 7);
    EXPECT_TRUE(seven.parts.entrust);
    EXPECT_EQ(seven.parts.profile, nullptr);

    const Split nine = split("entr:abcd", 9);
    EXPECT_EQ(textOf(nine.parts.profile), "ab");
}

TEST(Locator, APartThatWouldRunPastTheTextIsAbsent) {
    // Only 6 bytes passed: the profile would end beyond them.
    std::vector<char> text = {'e', 'n', 't', 'r', ':', 'x', 'y', 'z', '\0'};
    const LocatorParts parts = splitLocator(text.data(), 6);
    EXPECT_TRUE(parts.entrust);
    EXPECT_EQ(parts.profile, nullptr);
}

}  // namespace
