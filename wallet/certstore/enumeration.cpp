// Walks the "MY" store for certificates whose private key lives in the
// wallet's provider, and collects their issuers' certificates as trust points.

#include <cstring>
#include <utility>

#include "support/unique_handle.h"
#include "wallet/certstore/wallet_record.h"
#include "wallet/common/wallet_memory.h"

namespace certwallet {

namespace {

using wallet::OwnedBlock;

// Ready: read, or added; Skipped: not a usable key pair; OutOfMemory ends the walk.
enum class Outcome { Ready, Skipped, OutOfMemory };

// Reads a certificate property of variable size: size query, then the read.
Outcome readProperty(PCCERT_CONTEXT certificate, DWORD propertyId,
                     OwnedBlock<std::uint8_t>& property) {
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(certificate, propertyId, nullptr, &size)) {
        return Outcome::Skipped;
    }
    property.reset(static_cast<std::uint8_t*>(wallet::allocateBlock(size)));
    if (!property) return Outcome::OutOfMemory;
    return CertGetCertificateContextProperty(certificate, propertyId, property.get(), &size)
               ? Outcome::Ready
               : Outcome::Skipped;
}

// Only whether the usages can be read counts, not what they are.
Outcome readEnhancedKeyUsage(PCCERT_CONTEXT certificate) {
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(certificate, 0, nullptr, &size)) return Outcome::Skipped;
    OwnedBlock<CERT_ENHKEY_USAGE> usage(
        static_cast<CERT_ENHKEY_USAGE*>(wallet::allocateBlock(size)));
    if (!usage) return Outcome::OutOfMemory;
    return CertGetEnhancedKeyUsage(certificate, 0, usage.get(), &size) ? Outcome::Ready
                                                                       : Outcome::Skipped;
}

// The provider's own names are OEM-code-page text, terminator included. An
// absent name (the default container) stays absent.
Outcome toOemText(const wchar_t* text, OwnedBlock<char>& converted) {
    converted.reset();
    if (text == nullptr) return Outcome::Ready;
    const int size =
        WideCharToMultiByte(CP_OEMCP, WC_COMPOSITECHECK, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return Outcome::Skipped;
    converted.reset(static_cast<char*>(wallet::allocateBlock(size)));
    if (!converted) return Outcome::OutOfMemory;
    return WideCharToMultiByte(CP_OEMCP, WC_COMPOSITECHECK, text, -1, converted.get(), size,
                               nullptr, nullptr) > 0
               ? Outcome::Ready
               : Outcome::Skipped;
}

bool privateKeyAcquirable(PCCERT_CONTEXT certificate) {
    HCRYPTPROV provider = 0;
    DWORD keySpec = 0;
    BOOL callerFrees = FALSE;
    if (!CryptAcquireCertificatePrivateKey(certificate, 0, nullptr, &provider, &keySpec,
                                           &callerFrees)) {
        return false;
    }
    if (callerFrees) CryptReleaseContext(provider, 0);
    return true;
}

// A list built in order, owned until handed to the wallet.
template <typename Entry>
class PendingList {
public:
    explicit PendingList(void (*freeList)(Entry*)) : freeList_(freeList) {}
    PendingList(const PendingList&) = delete;
    PendingList& operator=(const PendingList&) = delete;
    ~PendingList() { freeList_(head_); }

    void append(Entry* entry) {
        *tail_ = entry;
        tail_ = &entry->next;
        ++count_;
    }
    std::uint32_t count() const { return count_; }
    Entry* release() {
        tail_ = &head_;
        return std::exchange(head_, nullptr);
    }

private:
    void (*freeList_)(Entry*);
    Entry* head_ = nullptr;
    Entry** tail_ = &head_;
    std::uint32_t count_ = 0;
};

// Everything a key pair needs, or the reason the certificate is not one.
Outcome makeKeyRecord(PCCERT_CONTEXT certificate, const char* providerName, KeyRecord** made) {
    // Running out of memory ends the walk; anything else only skips the certificate.
    OwnedBlock<std::uint8_t> property;
    OwnedBlock<char> provider;
    OwnedBlock<char> container;
    Outcome outcome = readEnhancedKeyUsage(certificate);
    if (outcome == Outcome::Ready) {
        outcome = readProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, property);
    }
    if (outcome == Outcome::Ready) {
        const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(property.get());
        outcome = toOemText(info->pwszProvName, provider);
        if (outcome == Outcome::Ready) outcome = toOemText(info->pwszContainerName, container);
    }
    if (outcome != Outcome::Ready) return outcome;
    if (!provider || std::strcmp(provider.get(), providerName) != 0) return Outcome::Skipped;
    if (!privateKeyAcquirable(certificate)) return Outcome::Skipped;

    OwnedBlock<KeyRecord> record(wallet::allocateRecord<KeyRecord>());
    if (!record) return Outcome::OutOfMemory;
    record->certificate = copyBlock(certificate->pbCertEncoded, certificate->cbCertEncoded);
    if (record->certificate == nullptr) return Outcome::OutOfMemory;
    record->certificateLength = certificate->cbCertEncoded;
    record->providerName = provider.release();
    record->containerName = container.release();
    *made = record.release();
    return Outcome::Ready;
}

// Appends every chain element after the certificate itself.
bool collectIssuers(PCCERT_CONTEXT certificate, PendingList<TrustpointEntry>& trustpoints) {
    support::CertChain chain(buildChain(certificate));
    if (!chain) return true;
    for (DWORD i = 0; i < chain.get()->cChain; ++i) {
        const CERT_SIMPLE_CHAIN* simple = chain.get()->rgpChain[i];
        for (DWORD j = 1; j < simple->cElement; ++j) {
            PCCERT_CONTEXT issuer = simple->rgpElement[j]->pCertContext;
            OwnedBlock<TrustpointEntry> entry(wallet::allocateRecord<TrustpointEntry>());
            if (!entry) return false;
            entry->certificate = copyBlock(issuer->pbCertEncoded, issuer->cbCertEncoded);
            if (entry->certificate == nullptr) return false;
            entry->length = issuer->cbCertEncoded;
            trustpoints.append(entry.release());
        }
    }
    return true;
}

void retire(WalletRecord* wallet) {
    if (wallet->keyPairs == nullptr) return;
    KeyRecord* last = wallet->keyPairs;
    while (last->next != nullptr) last = last->next;
    last->next = wallet->retiredKeyPairs;
    wallet->retiredKeyPairs = wallet->keyPairs;
}

}  // namespace

ResultCode enumerateKeyPairs(WalletRecord* wallet, std::uint32_t* count) {
    *count = 0;
    PendingList<KeyRecord> keyPairs(freeKeyRecords);
    PendingList<TrustpointEntry> trustpoints(freeTrustpoints);
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertFindCertificateInStore(wallet->store, X509_ASN_ENCODING, 0,
                                                     CERT_FIND_ANY, nullptr, certificate))) {
        KeyRecord* record = nullptr;
        const Outcome outcome = makeKeyRecord(certificate, wallet->providerName, &record);
        if (outcome == Outcome::Skipped) continue;
        if (outcome == Outcome::Ready) keyPairs.append(record);
        if (outcome == Outcome::OutOfMemory || !collectIssuers(certificate, trustpoints)) {
            CertFreeCertificateContext(certificate);
            return wallet::ERR_GENERIC;
        }
    }
    if (keyPairs.count() != 0) {
        retire(wallet);
        wallet->keyPairCount = keyPairs.count();
        wallet->keyPairs = wallet->current = keyPairs.release();
        *count = wallet->keyPairCount;
    }
    if (trustpoints.count() != 0) {
        freeTrustpoints(wallet->trustpoints);
        wallet->trustpointCount = trustpoints.count();
        wallet->trustpoints = trustpoints.release();
    }
    return wallet::kOk;
}

}  // namespace certwallet
