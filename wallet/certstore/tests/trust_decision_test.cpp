#include "wallet/certstore/trust_decision.h"

#include <gtest/gtest.h>

#include <vector>

namespace certwallet {
namespace {

TEST(TrustDecisionTest, OnlyThreeStatusesReachThePolicyAndTwoHaveCodesOfTheirOwn) {
    EXPECT_FALSE(resultOfTrustStatus(0).has_value());
    EXPECT_FALSE(resultOfTrustStatus(0x40).has_value());
    EXPECT_FALSE(resultOfTrustStatus(0x10000).has_value());
    EXPECT_EQ(resultOfTrustStatus(0x1), wallet::ERR_CERT_EXPIRED);
    EXPECT_EQ(resultOfTrustStatus(0x4), wallet::ERR_CERT_REVOKED);
    // Combinations count as a whole, even of acceptable bits.
    for (std::uint32_t status : {0x50u, 0x10040u, 0x10001u, 0x5u, 0x20u, 0x8u, 0x2u}) {
        EXPECT_EQ(resultOfTrustStatus(status), wallet::ERR_GENERIC) << std::hex << status;
    }
}

// The policy's verdict counts, not merely that it could be asked. Wine's SSL
// policy (no extra parameters) reports an error only for chain statuses the
// table above already refuses, so no real chain under Wine reaches this with
// an error; the verdict is checked on the status values themselves.
TEST(TrustDecisionTest, PolicyPassesOnlyWhenItRanAndFoundNoError) {
    EXPECT_EQ(resultOfPolicy(true, 0), wallet::kOk);
    EXPECT_EQ(resultOfPolicy(true, 0x800B0109), wallet::ERR_GENERIC);  // untrusted root
    EXPECT_EQ(resultOfPolicy(true, 0x800B010F), wallet::ERR_GENERIC);  // name mismatch
    EXPECT_EQ(resultOfPolicy(false, 0), wallet::ERR_GENERIC);
}

TEST(TrustDecisionTest, CopyReversedTurnsTheOrderAround) {
    const std::vector<std::uint8_t> wire = {1, 2, 3, 4, 5};
    std::vector<std::uint8_t> provider(5, 0);
    copyReversed(wire.data(), provider.data(), wire.size());
    EXPECT_EQ(provider, (std::vector<std::uint8_t>{5, 4, 3, 2, 1}));
    copyReversed(wire.data(), provider.data(), 0);
    EXPECT_EQ(provider[0], 5);
}

}  // namespace
}  // namespace certwallet
