#pragma once
// The two-pass copy of a peer certificate out of the host's CertificateRecord:
// a first try into a 1-byte block, and when that is too small a second one
// into a block of the certificate's length.

#include <cstdint>

#include "wallet/common/wallet_contract.h"
#include "wallet/common/wallet_memory.h"

namespace wallet {

// One copy: ERR_NULL_INPUT when the context, the record or the buffer is
// missing; ERR_BUFFER_TOO_SMALL with `capacity` raised to the certificate's
// length when it does not fit; else the bytes are copied and 0 returned.
ResultCode copyCertificate(const ValidationContext* context, CertificateRecord* const* record,
                           std::uint8_t* buffer, std::uint32_t* capacity);

struct CopiedCertificate {
    OwnedBlock<std::uint8_t> bytes;
    std::uint32_t capacity = 0;  // 1 when the certificate fitted the first block
    std::uint32_t length = 0;    // the certificate's own length
};

// Runs the copy in two passes; on failure `copy` holds no block.
ResultCode copyCertificateTwoPass(const ValidationContext* context,
                                  CertificateRecord* const* record, CopiedCertificate& copy);

}  // namespace wallet
