#pragma once
// One open login: the profile's key pair held in a provider context of its
// own, the profile's certificates and the certificates loaded for validation.

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/entrust/kmpapi32.h"
#include "support/unique_handle.h"

namespace kmpsim {

using Bytes = std::vector<std::uint8_t>;

// A failed API call; caught at the export boundary and turned into a status.
struct KmpFailure {
    KMPCode code;
};

class ProfileSession {
public:
    // Paths and password are in the system code page.
    static ProfileSession open(const char* profilePath, const char* password, const char* iniPath);

    const Bytes& userCertificate() const { return userDer_; }
    const Bytes& trustedCertificate() const { return trustedDer_; }

    Bytes sign(const std::uint8_t* digest, std::uint32_t length) const;
    Bytes decrypt(const std::uint8_t* encrypted, std::uint32_t length) const;
    KMPHandle loadCertificate(const std::uint8_t* der, std::uint32_t length);
    void validate(KMPHandle certificateHandle) const;

    // Buffers handed to the caller stay here until the next call of their kind.
    Bytes lastSignature;
    Bytes lastDecrypted;

private:
    ProfileSession() = default;

    support::CryptProvider provider_;
    support::CryptKey key_;
    Bytes userDer_;
    Bytes trustedDer_;
    support::CertContext trusted_;
    std::vector<support::CertContext> loaded_;
};

}  // namespace kmpsim
