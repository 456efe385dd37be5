// kmpwallet's method table and the operations that work through an open
// Entrust login: the certificate query, signing, decryption and validation.
// Buffers the Entrust API fills stay the API's: certificates are handed to
// the host as they are, signatures and decrypted blocks copied.

#include <cstring>

#include "wallet/common/certificate_copy.h"
#include "wallet/entrust/kmpwallet.h"
#include "wallet/entrust/nztwve_trace.h"

namespace kmpwallet {

namespace {

using wallet::Host;
using wallet::Key;

constexpr char kApiSource[] = "nztwveapi";
constexpr char kKeySource[] = "nztwve";

constexpr char kHashLength[] = "hash length %u (expected %u)\n";
constexpr char kSignatureLength[] = "signature length %u\n";
constexpr char kEncryptedLength[] = "encrypted length %u\n";
constexpr char kDecryptedLength[] = "decrypted length %u\n";
constexpr std::uint32_t kExpectedHashLength = 36;

wallet::HostContext* hostContextOf(Host host) { return host != nullptr ? *host : nullptr; }

LoginRecord* loginOf(void* wallet) { return static_cast<LoginRecord*>(wallet); }

// Both certificate slots ask Entrust again each time. `verify` is the user's
// certificate, `trusted` the one the host is to trust; the third is unused.
ResultCode queryCertificates(Host host, void* wallet, const char* traceName, KMPBuffer& verify,
                             KMPBuffer& trusted) {
    if (host == nullptr || wallet == nullptr) return wallet::ERR_BAD_ARGUMENT;
    OperationTrace trace(hostContextOf(host), traceName, kApiSource);
    KMPBuffer encrypt{};
    verify = {};
    trusted = {};
    const KMPStatus status =
        IKMPGetMyVerifyCertificate(loginOf(wallet)->loginHandle, 1, &verify, &trusted, &encrypt);
    if (entrustFailed(status)) {
        trace.message(kLevelError, kEntrustFailedLine, "IKMPGetMyVerifyCertificate",
                      IKMPGetErrString(status), entrustCode(status));
        return wallet::ERR_CERT_RETRIEVAL;
    }
    return wallet::kOk;
}

void reportEntrustFailure(OperationTrace& trace, const char* function, KMPStatus status) {
    trace.message(kLevelError, kEntrustFailed, function, IKMPGetErrString(status),
                  entrustCode(status));
}

void reportFailure(OperationTrace& trace, ResultCode result) {
    trace.message(kLevelError, kFailedWithError, static_cast<int>(result));
}

// The common end of signing and decrypting: a failure is reported, a result
// copied to the host and traced. The host passes no capacity: its buffer must
// hold a whole block of the key's modulus length, the most either returns.
ResultCode handBack(OperationTrace& trace, const char* function, KMPStatus status,
                    const KMPBuffer& block, std::uint8_t* output, std::uint16_t* length,
                    const char* lengthFormat, const char* title) {
    if (entrustFailed(status)) {
        reportEntrustFailure(trace, function, status);
        reportFailure(trace, wallet::ERR_ENTRUST);
        return wallet::ERR_ENTRUST;
    }
    std::memcpy(output, block.data, block.length);
    *length = static_cast<std::uint16_t>(block.length);
    trace.message(kLevelData, lengthFormat, *length);
    trace.dump(kLevelData, title, output, *length);
    return wallet::kOk;
}

ResultCode decrypt(LoginRecord* login, const std::uint8_t* data, std::uint32_t dataLength,
                   std::uint8_t* output, std::uint16_t* outputLength) {
    OperationTrace trace(login->host, "nztwveDecrypt", kKeySource);
    trace.message(kLevelData, kEncryptedLength, dataLength);
    trace.dump(kLevelData, "encrypted", data, dataLength);
    const KMPBuffer input{dataLength, const_cast<std::uint8_t*>(data)};
    KMPBuffer decrypted{};
    const KMPStatus status = IKMPRSADecrypt(login->loginHandle, 0, &input, &decrypted);
    return handBack(trace, "IKMPRSADecrypt", status, decrypted, output, outputLength,
                    kDecryptedLength, "decrypted");
}

ResultCode loadAndValidate(OperationTrace& trace, KMPHandle login,
                           const wallet::CopiedCertificate& copy) {
    const KMPBuffer certificate{copy.capacity, copy.bytes.get()};
    KMPHandle loaded = 0;
    KMPStatus status = IKMPLoadCertificate(login, &certificate, 0, &loaded);
    if (entrustFailed(status)) {
        reportEntrustFailure(trace, "IKMPLoadCertificate", status);
        return wallet::ERR_ENTRUST;
    }
    // The loaded certificate is not released: the API keeps it with the login.
    status = IKMPValidateCertificate(login, loaded);
    if (entrustFailed(status)) {
        reportEntrustFailure(trace, "IKMPValidateCertificate", status);
        return wallet::ERR_ENTRUST;
    }
    return wallet::kOk;
}

// A key argument, or the key record it points to, may be missing.
LoginRecord* keyRecordOf(Key key) {
    return key != nullptr ? static_cast<LoginRecord*>(*key) : nullptr;
}

ResultCode initSlot(Host host) { return host == nullptr ? wallet::ERR_BAD_ARGUMENT : wallet::kOk; }

ResultCode loginSlot(Host host, std::uint32_t locatorLength, char* locator,
                     std::uint32_t passwordLength, char* password, void** wallet) {
    if (host == nullptr || wallet == nullptr) return wallet::ERR_BAD_ARGUMENT;
    TextPair locatorPair{locator, locatorLength};
    TextPair passwordPair{password, passwordLength};
    return nztwvelogin(*host, reinterpret_cast<LoginRecord**>(wallet), &locatorPair, &passwordPair);
}

ResultCode logoutSlot(Host host, void* wallet) {
    if (host == nullptr) return wallet::ERR_BAD_ARGUMENT;
    if (wallet != nullptr) nztwvelogout(*host, loginOf(wallet));
    return wallet::kOk;
}

ResultCode unsupportedSlot() { return wallet::ERR_UNSUPPORTED; }

ResultCode getTrustpointsSlot(Host host, void* wallet, std::uint8_t** certificate,
                              std::uint32_t* length) {
    if (certificate == nullptr || length == nullptr) return wallet::ERR_BAD_ARGUMENT;
    KMPBuffer verify{}, trusted{};
    const ResultCode result =
        queryCertificates(host, wallet, "nztwveapi_GetTrustpoints", verify, trusted);
    if (result == wallet::kOk) {
        *certificate = trusted.data;
        *length = trusted.length;
    }
    return result;
}

ResultCode countOfOneSlot(Host, void*, std::uint32_t* count) {
    if (count == nullptr) return wallet::ERR_BAD_ARGUMENT;
    *count = 1;
    return wallet::kOk;
}

ResultCode getKeyPairSlot(Host host, void* wallet, std::uint8_t** certificate,
                          std::uint32_t* certificateLength, void** keyRecord,
                          std::uint32_t* keyRecordSize) {
    if (certificate == nullptr || certificateLength == nullptr || keyRecord == nullptr ||
        keyRecordSize == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    KMPBuffer verify{}, trusted{};
    const ResultCode result =
        queryCertificates(host, wallet, "nztwveapi_GetKeyPair", verify, trusted);
    if (result == wallet::kOk) {
        *certificate = verify.data;
        *certificateLength = verify.length;
        *keyRecord = wallet;
        *keyRecordSize = sizeof(LoginRecord);
    }
    return result;
}

ResultCode signSlot(Key key, const std::uint8_t* data, std::uint32_t dataLength,
                    std::uint8_t** signature, std::uint32_t* signatureLength) {
    if (keyRecordOf(key) == nullptr) return wallet::ERR_NULL_KEY;
    if (signature == nullptr) return wallet::ERR_BAD_ARGUMENT;
    return nztwveSign(keyRecordOf(key), data, dataLength, *signature,
                      reinterpret_cast<std::uint16_t*>(signatureLength));
}

ResultCode decryptSlot(Key key, const std::uint8_t* data, std::uint32_t dataLength,
                       std::uint8_t* output, std::uint32_t* outputLength) {
    LoginRecord* login = keyRecordOf(key);
    if (login == nullptr) return wallet::ERR_NULL_KEY;
    if (data == nullptr || output == nullptr || outputLength == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    return decrypt(login, data, dataLength, output, reinterpret_cast<std::uint16_t*>(outputLength));
}

ResultCode validateSlot(Key key, wallet::ValidationContext* context,
                        wallet::CertificateRecord** certificate) {
    if (keyRecordOf(key) == nullptr) return wallet::ERR_NULL_KEY;
    return nztwveValidate(keyRecordOf(key), context, certificate);
}

ResultCode getCertInfoSlot(void* first, void* second, void* third, void* fourth) {
    if (first == nullptr || third == nullptr) return wallet::ERR_BAD_ARGUMENT;
    return nztwvegci_GetCertInfo(first, second, third, fourth);
}

constexpr wallet::WalletMethodTable kMethods = {
    initSlot,       loginSlot,      logoutSlot,     unsupportedSlot, getTrustpointsSlot,
    countOfOneSlot, countOfOneSlot, getKeyPairSlot, unsupportedSlot, signSlot,
    decryptSlot,    validateSlot,   nullptr,        nullptr,         getCertInfoSlot,
};

}  // namespace

}  // namespace kmpwallet

using kmpwallet::LoginRecord;

extern "C" {

KMPWALLET_API wallet::ResultCode nztwveapi(wallet::RegistrationRecord* record) {
    if (record == nullptr) return wallet::ERR_BAD_ARGUMENT;
    record->methods = &kmpwallet::kMethods;
    return wallet::kOk;
}

KMPWALLET_API wallet::ResultCode nztwveSign(LoginRecord* login, const std::uint8_t* data,
                                            std::uint32_t dataLength, std::uint8_t* signature,
                                            std::uint16_t* signatureLength) {
    using namespace kmpwallet;
    if (login == nullptr) return wallet::ERR_NULL_KEY;
    if (data == nullptr || signature == nullptr || signatureLength == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    OperationTrace trace(login->host, "nztwveSign", kKeySource);
    *signatureLength = 0;
    trace.message(kLevelData, kHashLength, dataLength, kExpectedHashLength);
    trace.dump(kLevelData, "hash", data, dataLength);
    const KMPBuffer input{dataLength, const_cast<std::uint8_t*>(data)};
    KMPBuffer output{};
    const KMPStatus status = IKMPSignISAKMPData(login->loginHandle, &input, &output);
    return handBack(trace, "IKMPSignISAKMPData", status, output, signature, signatureLength,
                    kSignatureLength, "signature");
}

KMPWALLET_API wallet::ResultCode nztwveValidate(LoginRecord* login,
                                                wallet::ValidationContext* context,
                                                wallet::CertificateRecord** certificate) {
    using namespace kmpwallet;
    if (login == nullptr) return wallet::ERR_NULL_KEY;
    OperationTrace trace(login->host, "nztwveValidate", kKeySource);
    wallet::CopiedCertificate copy;
    ResultCode result = wallet::copyCertificateTwoPass(context, certificate, copy);
    if (result == wallet::kOk) result = loadAndValidate(trace, login->loginHandle, copy);
    if (result != wallet::kOk) reportFailure(trace, result);
    return result;
}
}
