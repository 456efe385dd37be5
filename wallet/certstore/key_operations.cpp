// Sign and Decrypt with the private key of a key pair the host holds.

#include <cstring>

#include "support/unique_handle.h"
#include "wallet/certstore/operations.h"
#include "wallet/certstore/trust_decision.h"
#include "wallet/common/wallet_memory.h"

namespace certwallet {

namespace {

const KeyRecord* keyRecordOf(wallet::Key key) {
    return key == nullptr ? nullptr : static_cast<const KeyRecord*>(*key);
}

bool acquireKeyContainer(const KeyRecord& record, support::CryptProvider& provider) {
    return CryptAcquireContextA(provider.receive(), record.containerName, record.providerName,
                                PROV_RSA_FULL, 0);
}

}  // namespace

ResultCode sign(wallet::Key key, const std::uint8_t* data, std::uint32_t, std::uint8_t** signature,
                std::uint32_t* signatureLength) {
    const KeyRecord* record = keyRecordOf(key);
    // The host asks for a signature, never for its size: without a buffer
    // the provider would answer the size and the host take it for success.
    if (record == nullptr || data == nullptr || signature == nullptr || *signature == nullptr ||
        signatureLength == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    support::CryptProvider provider;
    support::CryptHash hash;
    // The data is the 36-byte MD5 and SHA-1 value of an SSL handshake; this
    // hash kind makes the provider sign exactly those bytes.
    DWORD length = *signatureLength;
    const bool signedHash =
        acquireKeyContainer(*record, provider) &&
        CryptCreateHash(provider.get(), CALG_SSL3_SHAMD5, 0, 0, hash.receive()) &&
        CryptSetHashParam(hash.get(), HP_HASHVAL, data, 0) &&
        CryptSignHashA(hash.get(), AT_KEYEXCHANGE, nullptr, 0, *signature, &length);
    if (!signedHash) return wallet::ERR_GENERIC;
    *signatureLength = length;
    return wallet::kOk;
}

ResultCode decrypt(wallet::Key key, const std::uint8_t* data, std::uint32_t dataLength,
                   std::uint8_t* output, std::uint32_t* capacity) {
    const KeyRecord* record = keyRecordOf(key);
    if (record == nullptr || data == nullptr || output == nullptr || capacity == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    support::CryptProvider provider;
    if (!acquireKeyContainer(*record, provider)) return wallet::ERR_GENERIC;
    support::CryptKey exchangeKey;
    if (!CryptGetUserKey(provider.get(), AT_KEYEXCHANGE, exchangeKey.receive())) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    wallet::OwnedBlock<std::uint8_t> work(
        static_cast<std::uint8_t*>(wallet::allocateBlock(dataLength)));
    if (!work) return wallet::ERR_GENERIC;
    copyReversed(data, work.get(), dataLength);
    DWORD length = dataLength;
    if (!CryptDecrypt(exchangeKey.get(), 0, TRUE, 0, work.get(), &length)) {
        return wallet::ERR_GENERIC;
    }
    if (length > *capacity) return wallet::ERR_GENERIC;
    std::memcpy(output, work.get(), length);
    return wallet::kOk;
}

}  // namespace certwallet
