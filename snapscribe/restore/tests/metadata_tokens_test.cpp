#include "snapscribe/restore/metadata_tokens.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace snapscribe {
namespace {

// Base64 text packed two characters per unit, the first in the low byte.
std::wstring packed(const std::string& base64) {
    std::wstring units(base64.size() / 2, L'\0');
    std::memcpy(units.data(), base64.data(), base64.size());
    return units;
}

TEST(MetadataTokensTest, EntriesSplitAtRunsOfSemicolonsAndUnknownTokensAreDropped) {
    const std::wstring text = L";FILENAME=C:\\ARC\\A 1.ARC;FIRST_SCN=10;;NEXT_SCN=20;DATA=" +
                              packed("YWJj") + L";RESTORABLE=TRUE;;;FILENAME=B.ARC;DATA=" +
                              packed("QUJDRA==");
    const auto tokens = restoreMetadataTokens(text.c_str());
    ASSERT_EQ(tokens.size(), 6u);
    EXPECT_EQ(tokens[0].key, MetadataKey::FileName);
    EXPECT_EQ(tokens[0].value, L"C:\\ARC\\A 1.ARC");
    EXPECT_EQ(tokens[1].key, MetadataKey::FirstChange);
    EXPECT_EQ(tokens[1].value, L"10");
    EXPECT_EQ(tokens[2].key, MetadataKey::NextChange);
    EXPECT_EQ(tokens[2].value, L"20");
    ASSERT_EQ(tokens[3].key, MetadataKey::Data);
    EXPECT_EQ(std::string(tokens[3].payload, tokens[3].payloadBytes), "YWJj");
    EXPECT_EQ(tokens[4].value, L"B.ARC");
    EXPECT_EQ(std::string(tokens[5].payload, tokens[5].payloadBytes), "QUJDRA==");
}

TEST(MetadataTokensTest, PackedPayloadHoldsTheCharactersInUnitOrderLowByteFirst) {
    const wchar_t text[] = {L'D', L'A', L'T', L'A', L'=', 0x5759, 0x6A4A, 0};
    const auto tokens = restoreMetadataTokens(text);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(std::string(tokens[0].payload, tokens[0].payloadBytes), "YWJj");
}

TEST(MetadataTokensTest, NothingButTheRestorableMarkGivesNoTokens) {
    EXPECT_TRUE(restoreMetadataTokens(L"RESTORABLE=TRUE").empty());
    EXPECT_TRUE(restoreMetadataTokens(L"").empty());
    EXPECT_TRUE(restoreMetadataTokens(L";;;").empty());
}

TEST(MetadataTokensTest, ChangeNumbersKeepAllSixtyFourBits) {
    EXPECT_EQ(changeNumber(L"0"), 0u);
    EXPECT_EQ(changeNumber(L"4294967295"), 4294967295u);
    EXPECT_EQ(changeNumber(L"4294967296"), 4294967296u);
    EXPECT_EQ(changeNumber(L"123456789012"), 123456789012u);
    EXPECT_EQ(changeNumber(L"18446744073709551615"), 18446744073709551615u);
}

TEST(MetadataTokensTest, WhatIsNotAChangeNumberIsRefused) {
    for (const wchar_t* text : {L"", L"18446744073709551616", L"99999999999999999999999", L"-1",
                                L"+5", L"12a", L" 12", L"1.5"}) {
        EXPECT_FALSE(changeNumber(text).has_value()) << std::string(text, text + wcslen(text));
    }
}

}  // namespace
}  // namespace snapscribe
