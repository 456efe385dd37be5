#pragma once
// certwallet's wallet: the current user's "MY" store opened through one
// crypto provider, with the key pairs and trusted certificates found in it.
// Every block here follows the plug-ins' memory rule.

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <memory>

#include "wallet/common/wallet_contract.h"

namespace certwallet {

using wallet::ResultCode;

constexpr char kProviderName[] = "Microsoft Enhanced Cryptographic Provider v1.0";
constexpr std::uint32_t kProviderNameBlock = 47;

// A certificate with a usable private key. The host receives 20-byte copies
// of these, so the layout is part of the contract.
struct KeyRecord {
    std::uint8_t* certificate;
    std::uint32_t certificateLength;
    char* providerName;
    char* containerName;
    KeyRecord* next;
};

struct TrustpointEntry {
    std::uint8_t* certificate;
    std::uint32_t length;
    TrustpointEntry* next;
};

struct WalletRecord {
    std::uint32_t reserved;
    char* providerName;
    HCRYPTPROV provider;
    HCERTSTORE store;
    TrustpointEntry* trustpoints;  // not yet handed out, oldest first
    std::uint32_t trustpointCount;
    KeyRecord* keyPairs;  // in store order
    std::uint32_t keyPairCount;
    KeyRecord* current;  // what GetKeyPair hands out: the head of keyPairs
    // Key pairs of an earlier enumeration: key records handed out from them
    // point into them, so they live until Logout like the current ones.
    KeyRecord* retiredKeyPairs;
};

#if !defined(_WIN64)
static_assert(sizeof(KeyRecord) == 20);
#endif

// Opens a wallet into `wallet`: 0, ERR_NO_MEMORY for the record, else ERR_GENERIC.
ResultCode openWallet(WalletRecord** wallet);

// Closes the store, releases the provider and frees every block the wallet
// owns, the record included.
void destroyWallet(WalletRecord* wallet);

void freeKeyRecords(KeyRecord* head);
void freeTrustpoints(TrustpointEntry* head);

struct WalletDestroyer {
    void operator()(WalletRecord* wallet) const noexcept { destroyWallet(wallet); }
};
// A wallet opened for the length of one operation.
using TemporaryWallet = std::unique_ptr<WalletRecord, WalletDestroyer>;

// Finds the key pairs and their issuers' certificates (GetKeyPairCount).
ResultCode enumerateKeyPairs(WalletRecord* wallet, std::uint32_t* count);

// A zero-filled copy of `length` bytes under the memory rule; null on failure.
std::uint8_t* copyBlock(const void* bytes, std::uint32_t length);

// Builds `certificate`'s chain the way both enumeration and validation do.
PCCERT_CHAIN_CONTEXT buildChain(PCCERT_CONTEXT certificate);

}  // namespace certwallet
