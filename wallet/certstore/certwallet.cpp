// certwallet: the wallet plug-in over the current user's certificate store.
// nzmcs hands the host the method table; the slots below check the host's
// arguments and run the wallet operations.

#include "wallet/certstore/operations.h"
#include "wallet/common/wallet_memory.h"

namespace certwallet {

namespace {

using wallet::Host;

constexpr std::uint32_t kKeyRecordSize = sizeof(KeyRecord);

WalletRecord* walletOf(void* wallet) { return static_cast<WalletRecord*>(wallet); }

ResultCode init(Host host) { return host == nullptr ? wallet::ERR_BAD_ARGUMENT : wallet::kOk; }

// The locator and password do not matter: the wallet is always the user's store.
ResultCode login(Host host, std::uint32_t, char*, std::uint32_t, char*, void** wallet) {
    if (host == nullptr || wallet == nullptr) return wallet::ERR_BAD_ARGUMENT;
    WalletRecord* opened = nullptr;
    const ResultCode result = openWallet(&opened);
    if (result == wallet::kOk) *wallet = opened;
    return result;
}

// Releases the record too: the host cannot know how the plug-in laid it out.
// Key records handed out earlier point into it and die with it.
ResultCode logout(Host host, void* wallet) {
    if (host == nullptr || wallet == nullptr) return wallet::ERR_BAD_ARGUMENT;
    destroyWallet(walletOf(wallet));
    return wallet::kOk;
}

ResultCode unsupported() { return wallet::ERR_UNSUPPORTED; }
ResultCode noAction() { return wallet::kOk; }

ResultCode getKeyPairCount(Host host, void* wallet, std::uint32_t* count) {
    if (host == nullptr || wallet == nullptr || count == nullptr) return wallet::ERR_BAD_ARGUMENT;
    return enumerateKeyPairs(walletOf(wallet), count);
}

ResultCode getTrustpointCount(Host host, void* wallet, std::uint32_t* count) {
    if (host == nullptr || wallet == nullptr || count == nullptr) return wallet::ERR_BAD_ARGUMENT;
    *count = walletOf(wallet)->trustpointCount;
    return wallet::kOk;
}

// Hands out the oldest trusted certificate and forgets it.
ResultCode getTrustpoints(Host host, void* wallet, std::uint8_t** certificate,
                          std::uint32_t* length) {
    if (host == nullptr || wallet == nullptr || certificate == nullptr || length == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    WalletRecord* record = walletOf(wallet);
    TrustpointEntry* head = record->trustpoints;
    if (head == nullptr) return wallet::ERR_GENERIC;
    *certificate = copyBlock(head->certificate, head->length);
    if (*certificate == nullptr) return wallet::ERR_GENERIC;
    *length = head->length;
    record->trustpoints = head->next;
    --record->trustpointCount;
    head->next = nullptr;
    freeTrustpoints(head);
    return wallet::kOk;
}

// Always the first key pair; the host owns both copies it receives.
ResultCode getKeyPair(Host host, void* wallet, std::uint8_t** certificate,
                      std::uint32_t* certificateLength, void** keyRecord,
                      std::uint32_t* keyRecordSize) {
    if (host == nullptr || wallet == nullptr || certificate == nullptr ||
        certificateLength == nullptr || keyRecord == nullptr || keyRecordSize == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    const KeyRecord* current = walletOf(wallet)->current;
    if (current == nullptr) return wallet::ERR_GENERIC;
    wallet::OwnedBlock<std::uint8_t> bytes(
        copyBlock(current->certificate, current->certificateLength));
    wallet::OwnedBlock<std::uint8_t> record(copyBlock(current, kKeyRecordSize));
    if (!bytes || !record) return wallet::ERR_GENERIC;
    *certificate = bytes.release();
    *certificateLength = current->certificateLength;
    *keyRecord = record.release();
    *keyRecordSize = kKeyRecordSize;
    return wallet::kOk;
}

const wallet::WalletMethodTable kMethodTable = {
    init,
    login,
    logout,
    unsupported,
    getTrustpoints,
    getTrustpointCount,
    getKeyPairCount,
    getKeyPair,
    noAction,
    sign,
    decrypt,
    validate,
    encrypt,
    verify,
    nullptr,
};

}  // namespace

}  // namespace certwallet

extern "C" __declspec(dllexport) wallet::ResultCode nzmcs(wallet::RegistrationRecord* record) {
    if (record == nullptr) return wallet::ERR_BAD_ARGUMENT;
    record->methods = &certwallet::kMethodTable;
    return wallet::kOk;
}
