#include "wallet/certstore/wallet_record.h"

#include <cstring>

#include "support/unique_handle.h"
#include "wallet/common/wallet_memory.h"

namespace certwallet {

namespace {

// A fresh account has no default key container yet: create it on demand.
bool acquireDefaultContainer(support::CryptProvider& provider) {
    if (CryptAcquireContextA(provider.receive(), nullptr, kProviderName, PROV_RSA_FULL, 0)) {
        return true;
    }
    if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET)) return false;
    return CryptAcquireContextA(provider.receive(), nullptr, kProviderName, PROV_RSA_FULL,
                                CRYPT_NEWKEYSET);
}

// The store is opened without the provider: systems disagree on what a store
// does with one (released at once, when the store closes, or never), and the
// wallet keeps and releases its provider itself.
HCERTSTORE openPersonalStore() { return CertOpenSystemStoreA(0, "MY"); }

}  // namespace

std::uint8_t* copyBlock(const void* bytes, std::uint32_t length) {
    auto* block = static_cast<std::uint8_t*>(wallet::allocateBlock(length));
    if (block != nullptr && length != 0) std::memcpy(block, bytes, length);
    return block;
}

ResultCode openWallet(WalletRecord** opened) {
    wallet::OwnedBlock<WalletRecord> record(wallet::allocateRecord<WalletRecord>());
    if (!record) return wallet::ERR_NO_MEMORY;
    record->reserved = 0;

    support::CryptProvider provider;
    if (!acquireDefaultContainer(provider)) return wallet::ERR_GENERIC;
    wallet::OwnedBlock<char> name(static_cast<char*>(wallet::allocateBlock(kProviderNameBlock)));
    if (!name) return wallet::ERR_GENERIC;
    std::memcpy(name.get(), kProviderName, sizeof kProviderName);
    HCERTSTORE store = openPersonalStore();
    if (store == nullptr) return wallet::ERR_GENERIC;

    record->provider = provider.release();
    record->providerName = name.release();
    record->store = store;
    *opened = record.release();
    return wallet::kOk;
}

void freeKeyRecords(KeyRecord* head) {
    while (head != nullptr) {
        KeyRecord* next = head->next;
        wallet::releaseBlock(head->certificate);
        wallet::releaseBlock(head->providerName);
        wallet::releaseBlock(head->containerName);
        wallet::releaseBlock(head);
        head = next;
    }
}

void freeTrustpoints(TrustpointEntry* head) {
    while (head != nullptr) {
        TrustpointEntry* next = head->next;
        wallet::releaseBlock(head->certificate);
        wallet::releaseBlock(head);
        head = next;
    }
}

void destroyWallet(WalletRecord* wallet) {
    if (wallet == nullptr) return;
    if (wallet->store != nullptr) CertCloseStore(wallet->store, 0);
    if (wallet->provider != 0) CryptReleaseContext(wallet->provider, 0);
    wallet::releaseBlock(wallet->providerName);
    freeTrustpoints(wallet->trustpoints);
    freeKeyRecords(wallet->keyPairs);
    freeKeyRecords(wallet->retiredKeyPairs);
    wallet::releaseBlock(wallet);
}

PCCERT_CHAIN_CONTEXT buildChain(PCCERT_CONTEXT certificate) {
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, nullptr, &parameters, 0, nullptr,
                                 &chain)) {
        return nullptr;
    }
    return chain;
}

}  // namespace certwallet
