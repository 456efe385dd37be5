#pragma once
// The private-key and peer operations of certwallet's method table.

#include "wallet/certstore/wallet_record.h"

namespace certwallet {

ResultCode sign(wallet::Key key, const std::uint8_t* data, std::uint32_t dataLength,
                std::uint8_t** signature, std::uint32_t* signatureLength);
ResultCode decrypt(wallet::Key key, const std::uint8_t* data, std::uint32_t dataLength,
                   std::uint8_t* output, std::uint32_t* capacity);
ResultCode encrypt(void* unused, wallet::PeerRecord* peer, const std::uint8_t* data,
                   std::uint32_t dataLength, std::uint8_t* output, std::uint32_t outputSize);
ResultCode verify(void* unused, wallet::PeerRecord* peer, const std::uint8_t* hash,
                  std::uint32_t hashLength, const std::uint8_t* signature,
                  std::uint32_t signatureLength);
ResultCode validate(wallet::Key key, wallet::ValidationContext* context,
                    wallet::CertificateRecord** certificate);

}  // namespace certwallet
