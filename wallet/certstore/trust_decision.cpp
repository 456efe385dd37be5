#include "wallet/certstore/trust_decision.h"

namespace certwallet {

std::optional<wallet::ResultCode> resultOfTrustStatus(std::uint32_t errorStatus) {
    switch (errorStatus) {
        case 0:
        case kTrustRevocationUnknown:
        case kTrustPartialChain: return std::nullopt;
        case kTrustNotTimeValid: return wallet::ERR_CERT_EXPIRED;
        case kTrustRevoked: return wallet::ERR_CERT_REVOKED;
        default: return wallet::ERR_GENERIC;
    }
}

wallet::ResultCode resultOfPolicy(bool policyRan, std::uint32_t policyError) {
    return policyRan && policyError == 0 ? wallet::kOk : wallet::ERR_GENERIC;
}

void copyReversed(const std::uint8_t* from, std::uint8_t* to, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) to[i] = from[length - 1 - i];
}

}  // namespace certwallet
