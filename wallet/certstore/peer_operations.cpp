// Operations on a peer's certificate: Encrypt and Verify with its public key,
// Validate of its chain. Each works in a temporary wallet of its own.

#include <cstring>

#include "support/unique_handle.h"
#include "wallet/certstore/operations.h"
#include "wallet/certstore/trust_decision.h"
#include "wallet/common/certificate_copy.h"
#include "wallet/common/wallet_memory.h"

namespace certwallet {

namespace {

constexpr DWORD kAnyEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The store's copy of a certificate: the one already in "MY", or one added
// for the occasion.
struct StoreCertificate {
    support::CertContext context;
    bool added = false;
};

bool findOrAdd(HCERTSTORE store, PCCERT_CONTEXT certificate, StoreCertificate& found) {
    found.context.reset(
        CertGetSubjectCertificateFromStore(store, kAnyEncoding, certificate->pCertInfo));
    if (found.context) return true;
    found.added = CertAddCertificateContextToStore(store, certificate, CERT_STORE_ADD_NEW,
                                                   found.context.receive());
    return found.added;
}

// A peer's public key in a temporary wallet. A certificate added to "MY" for
// the purpose is removed again; only the context the add returned deletes it.
class PeerKey {
public:
    PeerKey() = default;
    PeerKey(const PeerKey&) = delete;
    PeerKey& operator=(const PeerKey&) = delete;
    ~PeerKey() {
        key_.reset();
        if (inStore_.added) CertDeleteCertificateFromStore(inStore_.context.release());
    }

    bool open(const wallet::PeerRecord& peer) {
        if (peer.der == nullptr) return false;
        WalletRecord* opened = nullptr;
        if (openWallet(&opened) != wallet::kOk) return false;
        wallet_.reset(opened);
        certificate_.reset(CertCreateCertificateContext(X509_ASN_ENCODING, peer.der, peer.length));
        return certificate_ && findOrAdd(wallet_->store, certificate_.get(), inStore_) &&
               CryptImportPublicKeyInfo(wallet_->provider, kAnyEncoding,
                                        &inStore_.context.get()->pCertInfo->SubjectPublicKeyInfo,
                                        key_.receive());
    }

    HCRYPTPROV provider() const { return wallet_->provider; }
    HCRYPTKEY key() const { return key_.get(); }

private:
    TemporaryWallet wallet_;
    support::CertContext certificate_;
    StoreCertificate inStore_;
    support::CryptKey key_;
};

// The chain's status decides first; the SSL policy has the last word.
ResultCode judgeChain(PCCERT_CHAIN_CONTEXT chain) {
    if (auto decided = resultOfTrustStatus(chain->TrustStatus.dwErrorStatus)) return *decided;
    CERT_CHAIN_POLICY_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    const bool ran =
        CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &parameters, &status);
    return resultOfPolicy(ran, status.dwError);
}

}  // namespace

ResultCode encrypt(void*, wallet::PeerRecord* peer, const std::uint8_t* data,
                   std::uint32_t dataLength, std::uint8_t* output, std::uint32_t outputSize) {
    if (peer == nullptr || (dataLength != 0 && data == nullptr) || output == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    // The work block is the output's size: longer data cannot be encrypted
    // into it, and copying it there would write past the block.
    if (dataLength > outputSize) return wallet::ERR_NO_MEMORY;
    PeerKey peerKey;
    if (!peerKey.open(*peer)) return wallet::ERR_GENERIC;
    wallet::OwnedBlock<std::uint8_t> work(
        static_cast<std::uint8_t*>(wallet::allocateBlock(outputSize)));
    if (!work) return wallet::ERR_NO_MEMORY;
    if (dataLength != 0) std::memcpy(work.get(), data, dataLength);
    DWORD length = dataLength;
    if (!CryptEncrypt(peerKey.key(), 0, TRUE, 0, work.get(), &length, outputSize)) {
        return wallet::ERR_NO_MEMORY;
    }
    if (length > outputSize) return wallet::ERR_GENERIC;
    copyReversed(work.get(), output, outputSize);
    return wallet::kOk;
}

ResultCode verify(void*, wallet::PeerRecord* peer, const std::uint8_t* hash, std::uint32_t,
                  const std::uint8_t* signature, std::uint32_t signatureLength) {
    if (peer == nullptr || hash == nullptr || signature == nullptr) {
        return wallet::ERR_BAD_ARGUMENT;
    }
    PeerKey peerKey;
    support::CryptHash hashObject;
    const bool verified =
        peerKey.open(*peer) &&
        CryptCreateHash(peerKey.provider(), CALG_SSL3_SHAMD5, 0, 0, hashObject.receive()) &&
        CryptSetHashParam(hashObject.get(), HP_HASHVAL, hash, 0) &&
        CryptVerifySignatureA(hashObject.get(), signature, signatureLength, peerKey.key(), nullptr,
                              0);
    return verified ? wallet::kOk : wallet::ERR_GENERIC;
}

ResultCode validate(wallet::Key key, wallet::ValidationContext* context,
                    wallet::CertificateRecord** certificate) {
    if (key == nullptr || context == nullptr) return wallet::ERR_BAD_ARGUMENT;
    WalletRecord* opened = nullptr;
    if (openWallet(&opened) != wallet::kOk) return wallet::ERR_GENERIC;
    TemporaryWallet temporary(opened);

    wallet::CopiedCertificate copy;
    if (const ResultCode copied = wallet::copyCertificateTwoPass(context, certificate, copy)) {
        return copied;
    }
    support::CertContext peer(
        CertCreateCertificateContext(kAnyEncoding, copy.bytes.get(), copy.length));
    if (!peer) return wallet::ERR_GENERIC;
    // A certificate added here stays in the store.
    StoreCertificate inStore;
    if (!findOrAdd(temporary->store, peer.get(), inStore)) return wallet::ERR_GENERIC;
    support::CertChain chain(buildChain(inStore.context.get()));
    if (!chain) return wallet::ERR_GENERIC;
    return judgeChain(chain.get());
}

}  // namespace certwallet
