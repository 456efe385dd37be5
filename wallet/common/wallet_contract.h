#pragma once
// The contract between the network-security host and a wallet plug-in: the
// table of 15 operations, the host records the plug-ins read at fixed byte
// offsets, and the result codes. Shared by both plug-ins and the host.

#include <cstddef>
#include <cstdint>

namespace wallet {

using ResultCode = std::uint32_t;

// Result codes every operation returns; 0 is success.
enum : ResultCode {
    kOk = 0,
    ERR_GENERIC = 28750,
    ERR_NO_MEMORY = 28751,
    ERR_PARAMETER = 28764,
    ERR_BAD_ARGUMENT = 28771,
    ERR_UNSUPPORTED = 28841,
    ERR_CERT_RETRIEVAL = 28849,
    ERR_CERT_REVOKED = 28868,
    ERR_LOGIN = 28890,
    ERR_CERT_EXPIRED = 29227,
    ERR_ENTRUST = 0x80010000u,
    ERR_NULL_INPUT = 0x81010001u,
    ERR_NULL_KEY = 0x81010003u,
    ERR_BUFFER_TOO_SMALL = 0x81010004u,
};

// The host's global context. Only the fields a plug-in reads are named; the
// rest of the record belongs to the host.
struct HostContext {
    std::uint8_t hostOwned0[44];
    void* traceContext;
    std::uint8_t hostOwned48[8];
    void* parameterContext;
    std::uint8_t hostOwned60[56];
    void* keyContext;
    std::uint8_t hostOwned120[1240];
    std::uint32_t flags;
    std::uint8_t hostOwned1364[8];
    void* diagnosticContext;
};

// What the host hands to a wallet's certificate copy: the certificate to check.
struct CertificateRecord {
    std::uint8_t hostOwned[32];
    std::uint32_t length;  // only the low 16 bits count
    const std::uint8_t* der;
};

struct ValidationContext {
    std::uint8_t hostOwned[620];
    std::uint32_t word620;
};

// The peer of an SSL session, whose public key encrypts and verifies.
struct PeerRecord {
    std::uint8_t hostOwned[624];
    std::uint32_t length;
    const std::uint8_t* der;
};

// "host" arguments: the host's pointer to its HostContext pointer.
using Host = HostContext**;
// "key" arguments: a pointer to the key-record pointer GetKeyPair produced.
using Key = void**;

struct WalletMethodTable {
    ResultCode (*Init)(Host host);
    ResultCode (*Login)(Host host, std::uint32_t locatorLength, char* locator,
                        std::uint32_t passwordLength, char* password, void** wallet);
    ResultCode (*Logout)(Host host, void* wallet);
    ResultCode (*Reserved3)();
    ResultCode (*GetTrustpoints)(Host host, void* wallet, std::uint8_t** certificate,
                                 std::uint32_t* length);
    ResultCode (*GetTrustpointCount)(Host host, void* wallet, std::uint32_t* count);
    ResultCode (*GetKeyPairCount)(Host host, void* wallet, std::uint32_t* count);
    ResultCode (*GetKeyPair)(Host host, void* wallet, std::uint8_t** certificate,
                             std::uint32_t* certificateLength, void** keyRecord,
                             std::uint32_t* keyRecordSize);
    ResultCode (*Reserved8)();
    ResultCode (*Sign)(Key key, const std::uint8_t* data, std::uint32_t dataLength,
                       std::uint8_t** signature, std::uint32_t* signatureLength);
    ResultCode (*Decrypt)(Key key, const std::uint8_t* data, std::uint32_t dataLength,
                          std::uint8_t* output, std::uint32_t* outputLength);
    ResultCode (*Validate)(Key key, ValidationContext* context, CertificateRecord** certificate);
    ResultCode (*Encrypt)(void* unused, PeerRecord* peer, const std::uint8_t* data,
                          std::uint32_t dataLength, std::uint8_t* output, std::uint32_t outputSize);
    ResultCode (*Verify)(void* unused, PeerRecord* peer, const std::uint8_t* hash,
                         std::uint32_t hashLength, const std::uint8_t* signature,
                         std::uint32_t signatureLength);
    ResultCode (*GetCertInfo)(void* first, void* second, void* third, void* fourth);
};

// The host's record the registration export fills in.
struct RegistrationRecord {
    std::uint8_t hostOwned[56];
    const WalletMethodTable* methods;
};

using RegistrationFunction = ResultCode (*)(RegistrationRecord* record);

// The host and the plug-ins are 32-bit modules built apart: the layouts are
// the agreement, so check them where the agreement holds.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(WalletMethodTable) == 15 * 4);
static_assert(offsetof(RegistrationRecord, methods) == 56);
static_assert(offsetof(CertificateRecord, length) == 32);
static_assert(offsetof(CertificateRecord, der) == 36);
static_assert(offsetof(ValidationContext, word620) == 620);
static_assert(offsetof(PeerRecord, length) == 624);
static_assert(offsetof(PeerRecord, der) == 628);
static_assert(offsetof(HostContext, traceContext) == 44);
static_assert(offsetof(HostContext, parameterContext) == 56);
static_assert(offsetof(HostContext, keyContext) == 116);
static_assert(offsetof(HostContext, flags) == 1360);
static_assert(offsetof(HostContext, diagnosticContext) == 1372);
#endif

}  // namespace wallet
