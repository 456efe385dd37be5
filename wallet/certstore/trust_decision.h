#pragma once
// Pure decisions of certwallet, kept apart from the platform calls: what a
// chain's trust status and the SSL policy's verdict mean for the host, and the
// byte-order turns between the wire and the crypto provider.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "wallet/common/wallet_contract.h"

namespace certwallet {

// Trust error bits of a chain, as the platform reports them.
constexpr std::uint32_t kTrustNotTimeValid = 0x1;
constexpr std::uint32_t kTrustRevoked = 0x4;
constexpr std::uint32_t kTrustRevocationUnknown = 0x40;
constexpr std::uint32_t kTrustPartialChain = 0x10000;

// The result the trust status decides on its own; empty when the SSL policy
// has to decide.
std::optional<wallet::ResultCode> resultOfTrustStatus(std::uint32_t errorStatus);

// The policy decides only when it could run and found no error.
wallet::ResultCode resultOfPolicy(bool policyRan, std::uint32_t policyError);

// Writes `from` to `to` back to front. The host's wire order is big-endian,
// the provider's little-endian.
void copyReversed(const std::uint8_t* from, std::uint8_t* to, std::size_t length);

}  // namespace certwallet
