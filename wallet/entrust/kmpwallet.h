#pragma once
// kmpwallet's records and exports: the login record that is both the wallet
// and the key record, and the functions the library exports beside its
// registration.

#include <cstdint>

#include "interfaces/entrust/kmpapi32.h"
#include "wallet/common/wallet_contract.h"

#ifdef KMPWALLET_BUILD
#define KMPWALLET_API __declspec(dllexport)
#else
#define KMPWALLET_API __declspec(dllimport)
#endif

namespace kmpwallet {

using wallet::ResultCode;

// An open Entrust login. The host holds it as its wallet and as its key record.
struct LoginRecord {
    KMPHandle loginHandle;  // 0 when there is no login
    wallet::HostContext* host;
};

// A text as the host passes it to a login.
struct TextPair {
    char* text;
    std::uint32_t length;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(LoginRecord) == 8);
#endif

// Only the low 16 bits of an Entrust status tell success from failure.
inline bool entrustFailed(KMPStatus status) { return (status & 0xFFFF) != 0; }
inline int entrustCode(KMPStatus status) { return static_cast<std::int16_t>(status & 0xFFFF); }

// Level-1 messages naming a failed Entrust call: the certificate query's
// ends its line, the others leave that to the writer.
constexpr char kEntrustFailedLine[] =
    "Entrust function \"%s\" failed with \"%s\" (error code %d).\n";
constexpr char kEntrustFailed[] = "Entrust function \"%s\" failed with \"%s\" (error code %d).";
constexpr char kFailedWithError[] = "failed with error %d\n";

}  // namespace kmpwallet

extern "C" {

KMPWALLET_API wallet::ResultCode nztwveapi(wallet::RegistrationRecord* record);
KMPWALLET_API wallet::ResultCode nztwvelogin(wallet::HostContext* host,
                                             kmpwallet::LoginRecord** login,
                                             kmpwallet::TextPair* locator,
                                             kmpwallet::TextPair* password);
KMPWALLET_API void nztwvelogout(wallet::HostContext* host, kmpwallet::LoginRecord* login);
KMPWALLET_API wallet::ResultCode nztwvegci_GetCertInfo(void* first, void* second, void* third,
                                                       void* fourth);
KMPWALLET_API wallet::ResultCode nztwveSign(kmpwallet::LoginRecord* login, const std::uint8_t* data,
                                            std::uint32_t dataLength, std::uint8_t* signature,
                                            std::uint16_t* signatureLength);
KMPWALLET_API wallet::ResultCode nztwveValidate(kmpwallet::LoginRecord* login,
                                                wallet::ValidationContext* context,
                                                wallet::CertificateRecord** certificate);
}
