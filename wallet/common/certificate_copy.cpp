#include "wallet/common/certificate_copy.h"

#include <cstring>

namespace wallet {

namespace {

// Only the low 16 bits of the host's length word are meaningful.
std::uint32_t certificateLength(const CertificateRecord& record) { return record.length & 0xFFFF; }

}  // namespace

ResultCode copyCertificate(const ValidationContext* context, CertificateRecord* const* record,
                           std::uint8_t* buffer, std::uint32_t* capacity) {
    if (context == nullptr || record == nullptr || *record == nullptr || buffer == nullptr ||
        capacity == nullptr) {
        return ERR_NULL_INPUT;
    }
    const CertificateRecord& certificate = **record;
    const std::uint32_t length = certificateLength(certificate);
    if (*capacity < length) {
        *capacity = length;
        return ERR_BUFFER_TOO_SMALL;
    }
    // A record that claims bytes but points at none is as unusable as no record.
    if (length != 0 && certificate.der == nullptr) return ERR_NULL_INPUT;
    if (length != 0) std::memcpy(buffer, certificate.der, length);
    return kOk;
}

ResultCode copyCertificateTwoPass(const ValidationContext* context,
                                  CertificateRecord* const* record, CopiedCertificate& copy) {
    copy = CopiedCertificate{};
    copy.capacity = 1;
    copy.bytes.reset(static_cast<std::uint8_t*>(allocateBlock(copy.capacity)));
    if (!copy.bytes) return ERR_GENERIC;
    ResultCode result = copyCertificate(context, record, copy.bytes.get(), &copy.capacity);
    if (result == ERR_BUFFER_TOO_SMALL) {
        copy.bytes.reset(static_cast<std::uint8_t*>(allocateBlock(copy.capacity)));
        if (!copy.bytes) return ERR_GENERIC;
        result = copyCertificate(context, record, copy.bytes.get(), &copy.capacity);
    }
    if (result != kOk) {
        copy.bytes.reset();
        return result;
    }
    copy.length = certificateLength(**record);
    return kOk;
}

}  // namespace wallet
