// certsetup: puts test certificates into the current user's stores the way an
// enrolment would, and shows what the stores hold.
//
//   certsetup import-key CERT.der KEY.der CONTAINER PROVIDER   key + certificate in "MY"
//   certsetup add STORE CERT.der                               certificate only
//   certsetup clear STORE                                      empties the store
//   certsetup list STORE                                       SHA-1 of each, in store order
//   certsetup default-container drop|check                     the user's default key container

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/unique_handle.h"

namespace {

using Bytes = std::vector<BYTE>;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

bool fail(const char* what) {
    std::fprintf(stderr, "certsetup: %s failed (0x%08lx)\n", what, GetLastError());
    return false;
}

bool readFile(const wchar_t* path, Bytes& bytes) {
    support::KernelHandle file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return fail("reading a file");
    bytes.assign(GetFileSize(file.get(), nullptr), 0);
    DWORD got = 0;
    return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
           fail("reading a file");
}

// The registry-backed view of a user store: deletions made through it persist.
HCERTSTORE openUserStore(const wchar_t* name) {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                         name);
}

// Added through the system store, as enrolment does: properties set on the
// added context are kept only this way.
bool addCertificate(const wchar_t* storeName, const Bytes& der, support::CertContext& added) {
    support::CertStore store(CertOpenSystemStoreW(0, storeName));
    if (!store) return fail("opening the store");
    return CertAddEncodedCertificateToStore(store.get(), kEncoding, der.data(),
                                            static_cast<DWORD>(der.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, added.receive()) ||
           fail("adding the certificate");
}

// The key goes into a named container as the exchange key, and the
// certificate's key-provider property points there.
bool importKey(const wchar_t* certPath, const wchar_t* keyPath, const wchar_t* container,
               const wchar_t* provider) {
    Bytes certificate, key;
    if (!readFile(certPath, certificate) || !readFile(keyPath, key)) return false;
    BYTE* blob = nullptr;
    DWORD blobSize = 0;
    if (!CryptDecodeObjectEx(kEncoding, PKCS_RSA_PRIVATE_KEY, key.data(),
                             static_cast<DWORD>(key.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &blob, &blobSize)) {
        return fail("decoding the private key");
    }
    support::CryptProvider context;
    if (!CryptAcquireContextW(context.receive(), container, provider, PROV_RSA_FULL,
                              CRYPT_NEWKEYSET) &&
        !CryptAcquireContextW(context.receive(), container, provider, PROV_RSA_FULL, 0)) {
        LocalFree(blob);
        return fail("opening the key container");
    }
    support::CryptKey imported;
    const bool keyImported =
        CryptImportKey(context.get(), blob, blobSize, 0, 0, imported.receive());
    LocalFree(blob);
    if (!keyImported) return fail("importing the key");

    support::CertContext added;
    if (!addCertificate(L"MY", certificate, added)) return false;
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = const_cast<wchar_t*>(container);
    info.pwszProvName = const_cast<wchar_t*>(provider);
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = AT_KEYEXCHANGE;
    return CertSetCertificateContextProperty(added.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info) ||
           fail("setting the key-provider property");
}

bool addOnly(const wchar_t* storeName, const wchar_t* certPath) {
    Bytes certificate;
    support::CertContext added;
    return readFile(certPath, certificate) && addCertificate(storeName, certificate, added);
}

bool clear(const wchar_t* storeName) {
    support::CertStore store(openUserStore(storeName));
    if (!store) return fail("opening the store");
    while (PCCERT_CONTEXT first = CertEnumCertificatesInStore(store.get(), nullptr)) {
        if (!CertDeleteCertificateFromStore(first)) return fail("deleting a certificate");
    }
    return true;
}

// Lists through the same view the plug-in uses, so the order is the one it sees.
bool list(const wchar_t* storeName) {
    support::CertStore store(CertOpenSystemStoreW(0, storeName));
    if (!store) return fail("opening the store");
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(store.get(), certificate))) {
        BYTE hash[20];
        DWORD size = sizeof hash;
        if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &size)) {
            CertFreeCertificateContext(certificate);
            return fail("hashing a certificate");
        }
        for (BYTE b : hash) std::printf("%02x", b);
        std::printf("\n");
    }
    return true;
}

// The default container of the user in the provider the wallet uses: "drop"
// deletes it, "check" succeeds only when it exists.
bool defaultContainer(const std::wstring& action) {
    constexpr wchar_t kEnhanced[] = L"Microsoft Enhanced Cryptographic Provider v1.0";
    HCRYPTPROV context = 0;
    if (action == L"drop") {
        return CryptAcquireContextW(&context, nullptr, kEnhanced, PROV_RSA_FULL,
                                    CRYPT_DELETEKEYSET) ||
               GetLastError() == static_cast<DWORD>(NTE_BAD_KEYSET) ||
               fail("deleting the default container");
    }
    support::CryptProvider opened;
    return CryptAcquireContextW(opened.receive(), nullptr, kEnhanced, PROV_RSA_FULL, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    bool done = false;
    if (command == L"import-key" && argc == 6) {
        done = importKey(argv[2], argv[3], argv[4], argv[5]);
    } else if (command == L"add" && argc == 4) {
        done = addOnly(argv[2], argv[3]);
    } else if (command == L"clear" && argc == 3) {
        done = clear(argv[2]);
    } else if (command == L"list" && argc == 3) {
        done = list(argv[2]);
    } else if (command == L"default-container" && argc == 3) {
        done = defaultContainer(argv[2]);
    } else {
        std::fprintf(stderr, "usage: certsetup import-key|add|clear|list|default-container ...\n");
        return 2;
    }
    return done ? 0 : 1;
}
