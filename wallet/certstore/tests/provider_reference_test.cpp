// certwallet must leave no crypto-provider reference behind, whatever the
// system store does with a provider it is given: Wine releases it when the
// store opens, older Windows when the store closes, current Windows never.
// The test counts certwallet's own provider calls through its import table
// and plays each of those stores in turn.

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/unique_handle.h"
#include "wallet/common/wallet_contract.h"

namespace {

using wallet::kOk;

enum class StoreKind { ReleasesAtOnce, ReleasesOnClose, IgnoresProvider };

StoreKind storeKind = StoreKind::IgnoresProvider;
std::map<HCRYPTPROV, int> references;
std::map<HCERTSTORE, HCRYPTPROV> providerOfStore;

decltype(&CryptAcquireContextA) realAcquire = CryptAcquireContextA;
decltype(&CryptContextAddRef) realAddRef = CryptContextAddRef;
decltype(&CryptReleaseContext) realRelease = CryptReleaseContext;

BOOL WINAPI countedAcquire(HCRYPTPROV* provider, LPCSTR container, LPCSTR name, DWORD type,
                           DWORD flags) {
    const BOOL acquired = realAcquire(provider, container, name, type, flags);
    if (acquired) ++references[*provider];
    return acquired;
}

BOOL WINAPI countedAcquireCertificateKey(PCCERT_CONTEXT certificate, DWORD flags, void* reserved,
                                         HCRYPTPROV_OR_NCRYPT_KEY_HANDLE* provider, DWORD* keySpec,
                                         BOOL* callerFrees) {
    const BOOL acquired = CryptAcquireCertificatePrivateKey(certificate, flags, reserved, provider,
                                                            keySpec, callerFrees);
    if (acquired && *callerFrees) ++references[*provider];
    return acquired;
}

BOOL WINAPI countedAddRef(HCRYPTPROV provider, DWORD* reserved, DWORD flags) {
    const BOOL added = realAddRef(provider, reserved, flags);
    if (added) ++references[provider];
    return added;
}

BOOL WINAPI countedRelease(HCRYPTPROV provider, DWORD flags) {
    const BOOL released = realRelease(provider, flags);
    if (released) --references[provider];
    return released;
}

HCERTSTORE WINAPI playedSystemStore(HCRYPTPROV_LEGACY provider, LPCSTR name) {
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name);
    if (store == nullptr || provider == 0) return store;
    if (storeKind == StoreKind::ReleasesAtOnce) countedRelease(provider, 0);
    if (storeKind == StoreKind::ReleasesOnClose) providerOfStore[store] = provider;
    return store;
}

BOOL WINAPI playedCloseStore(HCERTSTORE store, DWORD flags) {
    const auto kept = providerOfStore.find(store);
    if (kept != providerOfStore.end()) {
        countedRelease(kept->second, 0);
        providerOfStore.erase(kept);
    }
    return CertCloseStore(store, flags);
}

// The slot of `function` (imported from `library`) in `module`'s import
// address table; null when the module does not import it.
void** importSlot(HMODULE module, const char* library, const char* function) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), library) != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

// Points one import of a module elsewhere until destroyed.
class ImportPatch {
public:
    ImportPatch(HMODULE module, const char* library, const char* function, void* replacement)
        : slot_(importSlot(module, library, function)) {
        if (slot_ != nullptr) original_ = write(replacement);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    ~ImportPatch() {
        if (slot_ != nullptr) write(original_);
    }
    bool applied() const { return slot_ != nullptr; }

private:
    void* write(void* value) {
        DWORD protection = 0;
        VirtualProtect(slot_, sizeof value, PAGE_READWRITE, &protection);
        void* old = *slot_;
        *slot_ = value;
        VirtualProtect(slot_, sizeof value, protection, &protection);
        return old;
    }

    void** slot_;
    void* original_ = nullptr;
};

template <typename Function>
void* address(Function function) {
    return reinterpret_cast<void*>(function);
}

class ProviderReferences : public testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override {
        plugin_.reset(LoadLibraryW(L"certwallet.dll"));
        ASSERT_TRUE(plugin_);
        const HMODULE module = plugin_.get();
        const struct {
            const char* library;
            const char* function;
            void* replacement;
        } patches[] = {
            {"advapi32.dll", "CryptAcquireContextA", address(countedAcquire)},
            {"advapi32.dll", "CryptContextAddRef", address(countedAddRef)},
            {"advapi32.dll", "CryptReleaseContext", address(countedRelease)},
            {"crypt32.dll", "CryptAcquireCertificatePrivateKey",
             address(countedAcquireCertificateKey)},
            {"crypt32.dll", "CertOpenSystemStoreA", address(playedSystemStore)},
            {"crypt32.dll", "CertCloseStore", address(playedCloseStore)},
        };
        for (const auto& patch : patches) {
            patches_.emplace_back(std::make_unique<ImportPatch>(module, patch.library,
                                                                patch.function, patch.replacement));
        }
        ASSERT_TRUE(patches_[0]->applied() && patches_[2]->applied() && patches_[4]->applied());
        auto registration = reinterpret_cast<wallet::RegistrationFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "nzmcs")));
        ASSERT_EQ(registration(&record_), kOk);
        storeKind = GetParam();
        references.clear();
        providerOfStore.clear();
    }

    void TearDown() override { patches_.clear(); }

    const wallet::WalletMethodTable& table() const { return *record_.methods; }
    wallet::Host host() { return &contextPointer_; }

    support::ModuleHandle plugin_;
    std::vector<std::unique_ptr<ImportPatch>> patches_;
    wallet::RegistrationRecord record_{};
    wallet::HostContext context_{};
    wallet::HostContext* contextPointer_ = &context_;
};

TEST_P(ProviderReferences, AWholeSessionReleasesEveryProviderItTook) {
    void* wallet = nullptr;
    ASSERT_EQ(table().Login(host(), 0, nullptr, 0, nullptr, &wallet), kOk);
    std::uint32_t count = 0;
    EXPECT_EQ(table().GetKeyPairCount(host(), wallet, &count), kOk);
    EXPECT_EQ(table().GetTrustpointCount(host(), wallet, &count), kOk);

    // The peer operations each open a wallet of their own; a certificate
    // that cannot be decoded ends them once that wallet is open.
    const std::uint8_t notACertificate[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    wallet::PeerRecord peer{};
    peer.length = sizeof notACertificate;
    peer.der = notACertificate;
    std::uint8_t data[36] = {};
    std::uint8_t output[256] = {};
    EXPECT_EQ(table().Encrypt(nullptr, &peer, data, 36, output, 256), wallet::ERR_GENERIC);
    EXPECT_EQ(table().Verify(nullptr, &peer, data, 36, output, 256), wallet::ERR_GENERIC);
    wallet::ValidationContext validation{};
    wallet::CertificateRecord* noCertificate = nullptr;
    void* anyKey = &count;
    EXPECT_EQ(table().Validate(&anyKey, &validation, &noCertificate), wallet::ERR_NULL_INPUT);
    EXPECT_EQ(table().Logout(host(), wallet), kOk);

    ASSERT_GE(references.size(), 1u);
    for (const auto& [provider, held] : references) {
        EXPECT_EQ(held, 0) << "provider " << provider;
    }
    EXPECT_TRUE(providerOfStore.empty());
}

std::string storeName(const testing::TestParamInfo<StoreKind>& info) {
    switch (info.param) {
        case StoreKind::ReleasesAtOnce: return "ReleasesAtOnce";
        case StoreKind::ReleasesOnClose: return "ReleasesOnClose";
        default: return "IgnoresProvider";
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, ProviderReferences,
                         testing::Values(StoreKind::ReleasesAtOnce, StoreKind::ReleasesOnClose,
                                         StoreKind::IgnoresProvider),
                         storeName);

}  // namespace
