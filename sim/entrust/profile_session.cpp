#include "sim/entrust/profile_session.h"

#include <bcrypt.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

#include "sim/entrust/profile_key.h"

namespace kmpsim {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

[[noreturn]] void fail(KMPCode code) { throw KmpFailure{code}; }

Bytes readWholeFile(const std::wstring& path, KMPCode missing) {
    support::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) fail(missing);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 16 * 1024 * 1024) fail(missing);
    Bytes bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        fail(missing);
    }
    return bytes;
}

std::wstring toWide(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

// Certificate files may be PEM or DER; the text form is recognised by its header.
Bytes certificateDer(const Bytes& file) {
    const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
    if (text.find("-----BEGIN") == std::string_view::npos) return file;
    DWORD length = 0;
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &length, nullptr, nullptr)) {
        return {};
    }
    Bytes der(length);
    CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER,
                         der.data(), &length, nullptr, nullptr);
    return der;
}

support::CertContext decodeCertificate(const std::uint8_t* der, std::uint32_t length) {
    return support::CertContext(CertCreateCertificateContext(kEncoding, der, length));
}

std::wstring folderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool isAbsolute(const std::wstring& path) {
    return (path.size() > 1 && path[1] == L':') || (!path.empty() && path[0] == L'\\');
}

std::wstring trustedCertificatePath(const std::wstring& iniPath) {
    if (GetFileAttributesW(iniPath.c_str()) == INVALID_FILE_ATTRIBUTES) fail(KMP_E_INI_NOT_FOUND);
    wchar_t value[MAX_PATH] = L"";
    GetPrivateProfileStringW(L"Profile", L"TrustedCertificate", L"", value, MAX_PATH,
                             iniPath.c_str());
    const std::wstring named(value);
    if (named.empty()) fail(KMP_E_NO_TRUST);
    return isAbsolute(named) ? named : folderOf(iniPath) + named;
}

// The platform's import of a PKCS#12 file always writes its key into the
// default key container, which every process of the machine shares: imports
// are serialised between processes so that they do not trip over each other.
class ImportLock {
public:
    ImportLock() : mutex_(CreateMutexW(nullptr, FALSE, L"kmpapi32.profile-import")) {
        if (mutex_) WaitForSingleObject(mutex_.get(), INFINITE);
    }
    ~ImportLock() {
        if (mutex_) ReleaseMutex(mutex_.get());
    }
    ImportLock(const ImportLock&) = delete;
    ImportLock& operator=(const ImportLock&) = delete;

private:
    support::KernelHandle mutex_;
};

struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const noexcept {
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};
using Algorithm = std::unique_ptr<void, AlgorithmCloser>;

struct KeyDestroyer {
    void operator()(BCRYPT_KEY_HANDLE key) const noexcept { BCryptDestroyKey(key); }
};
using SymmetricKey = std::unique_ptr<void, KeyDestroyer>;

Algorithm openAlgorithm(const wchar_t* name, ULONG flags) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, flags))) return {};
    return Algorithm(algorithm);
}

// PBKDF2 over the password's bytes, then AES in CBC mode.
std::optional<Bytes> decryptPbes2(const Pbes2Parameters& parameters, std::string_view password,
                                  const Bytes& encrypted) {
    Algorithm hmac = openAlgorithm(
        parameters.prf == Prf::HmacSha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_SHA1_ALGORITHM,
        BCRYPT_ALG_HANDLE_HMAC_FLAG);
    Bytes secret(parameters.keyLength);
    if (!hmac ||
        !BCRYPT_SUCCESS(BCryptDeriveKeyPBKDF2(
            hmac.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
            static_cast<ULONG>(password.size()), const_cast<PUCHAR>(parameters.salt.data()),
            static_cast<ULONG>(parameters.salt.size()), parameters.iterations, secret.data(),
            static_cast<ULONG>(secret.size()), 0))) {
        return std::nullopt;
    }
    Algorithm aes = openAlgorithm(BCRYPT_AES_ALGORITHM, 0);
    BCRYPT_KEY_HANDLE key = nullptr;
    const bool keyMade =
        aes &&
        BCRYPT_SUCCESS(
            BCryptSetProperty(aes.get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                              sizeof BCRYPT_CHAIN_MODE_CBC, 0)) &&
        BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(aes.get(), &key, nullptr, 0, secret.data(),
                                                  static_cast<ULONG>(secret.size()), 0));
    SecureZeroMemory(secret.data(), secret.size());
    if (!keyMade) return std::nullopt;
    SymmetricKey owned(key);
    Bytes iv = parameters.iv;
    Bytes plain(encrypted.size());
    ULONG length = 0;
    if (!BCRYPT_SUCCESS(BCryptDecrypt(
            key, const_cast<PUCHAR>(encrypted.data()), static_cast<ULONG>(encrypted.size()),
            nullptr, iv.data(), static_cast<ULONG>(iv.size()), plain.data(),
            static_cast<ULONG>(plain.size()), &length, BCRYPT_BLOCK_PADDING))) {
        return std::nullopt;
    }
    plain.resize(length);
    return plain;
}

struct ProfileKeyPair {
    Bytes certificate;
    Bytes privateKeyBlob;
};

KMPCode codeOf(ProfileKeyError error) {
    return error == ProfileKeyError::WrongPassword ? KMP_E_WRONG_PASSWORD : KMP_E_BAD_PROFILE;
}

// The key is read from the file itself: the platform's import packs a key
// component shorter than its field (a zero top byte, about one key in a
// hundred) without padding, which shifts every later component and makes a
// key that signs garbage. The platform still checks the password and gives
// the certificate it paired with the key.
ProfileKeyPair importProfile(Bytes profile, const char* password) {
    CRYPT_DATA_BLOB blob{static_cast<DWORD>(profile.size()), profile.data()};
    if (!PFXIsPFXBlob(&blob)) fail(KMP_E_BAD_PROFILE);
    if (password == nullptr) fail(KMP_E_WRONG_PASSWORD);
    std::wstring widePassword = toWide(password);
    support::CertStore store;
    {
        ImportLock lock;
        store.reset(PFXImportCertStore(&blob, widePassword.c_str(), 0));
    }
    SecureZeroMemory(widePassword.data(), widePassword.size() * sizeof(wchar_t));
    if (!store) fail(KMP_E_WRONG_PASSWORD);

    ProfileKey key =
        readProfileKey(profile, [&](const Pbes2Parameters& parameters, const Bytes& encrypted) {
            return decryptPbes2(parameters, password, encrypted);
        });
    if (key.error) fail(codeOf(*key.error));
    for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store.get(), nullptr);
         certificate != nullptr;
         certificate = CertEnumCertificatesInStore(store.get(), certificate)) {
        DWORD size = 0;
        if (CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr,
                                              &size)) {
            ProfileKeyPair pair{Bytes(certificate->pbCertEncoded,
                                      certificate->pbCertEncoded + certificate->cbCertEncoded),
                                std::move(key.privateKeyBlob)};
            CertFreeCertificateContext(certificate);
            return pair;
        }
    }
    SecureZeroMemory(key.privateKeyBlob.data(), key.privateKeyBlob.size());
    fail(KMP_E_BAD_PROFILE);
}

// The wire order of RSA blocks is big-endian, the provider's little-endian.
Bytes reversed(const std::uint8_t* bytes, std::size_t length) {
    Bytes out(bytes, bytes + length);
    std::reverse(out.begin(), out.end());
    return out;
}

ALG_ID digestAlgorithm(std::uint32_t length) {
    switch (length) {
        case 16: return CALG_MD5;
        case 20: return CALG_SHA1;
        case 32: return CALG_SHA_256;
        case 36: return CALG_SSL3_SHAMD5;
        case 48: return CALG_SHA_384;
        case 64: return CALG_SHA_512;
        default: fail(KMP_E_DATA_LENGTH);
    }
}

bool withinValidity(PCCERT_CONTEXT certificate) {
    return CertVerifyTimeValidity(nullptr, certificate->pCertInfo) == 0;
}

bool issuedBy(PCCERT_CONTEXT certificate, PCCERT_CONTEXT issuer) {
    if (CertCompareCertificate(kEncoding, certificate->pCertInfo, issuer->pCertInfo)) return true;
    return CertCompareCertificateName(kEncoding, &certificate->pCertInfo->Issuer,
                                      &issuer->pCertInfo->Subject) &&
           CryptVerifyCertificateSignatureEx(0, kEncoding, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
                                             const_cast<CERT_CONTEXT*>(certificate),
                                             CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
                                             const_cast<CERT_CONTEXT*>(issuer), 0, nullptr);
}

}  // namespace

ProfileSession ProfileSession::open(const char* profilePath, const char* password,
                                    const char* iniPath) {
    Bytes profile = readWholeFile(toWide(profilePath), KMP_E_PROFILE_NOT_FOUND);
    ProfileSession session;
    session.trustedDer_ =
        certificateDer(readWholeFile(trustedCertificatePath(toWide(iniPath)), KMP_E_NO_TRUST));
    session.trusted_ = decodeCertificate(session.trustedDer_.data(),
                                         static_cast<std::uint32_t>(session.trustedDer_.size()));
    if (!session.trusted_) fail(KMP_E_NO_TRUST);

    ProfileKeyPair pair = importProfile(std::move(profile), password);
    session.userDer_ = std::move(pair.certificate);
    // A context of its own keeps this login's key apart from every other login.
    if (!CryptAcquireContextW(session.provider_.receive(), nullptr, MS_ENH_RSA_AES_PROV_W,
                              PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
        !CryptImportKey(session.provider_.get(), pair.privateKeyBlob.data(),
                        static_cast<DWORD>(pair.privateKeyBlob.size()), 0, 0,
                        session.key_.receive())) {
        SecureZeroMemory(pair.privateKeyBlob.data(), pair.privateKeyBlob.size());
        fail(KMP_E_CRYPTO);
    }
    SecureZeroMemory(pair.privateKeyBlob.data(), pair.privateKeyBlob.size());
    return session;
}

Bytes ProfileSession::sign(const std::uint8_t* digest, std::uint32_t length) const {
    const ALG_ID algorithm = digestAlgorithm(length);
    support::CryptHash hash;
    if (!CryptCreateHash(provider_.get(), algorithm, 0, 0, hash.receive()) ||
        !CryptSetHashParam(hash.get(), HP_HASHVAL, digest, 0)) {
        fail(KMP_E_CRYPTO);
    }
    // The digest is signed as it is, without the algorithm's identifier.
    DWORD size = 0;
    if (!CryptSignHashW(hash.get(), AT_KEYEXCHANGE, nullptr, CRYPT_NOHASHOID, nullptr, &size)) {
        fail(KMP_E_CRYPTO);
    }
    Bytes signature(size);
    if (!CryptSignHashW(hash.get(), AT_KEYEXCHANGE, nullptr, CRYPT_NOHASHOID, signature.data(),
                        &size)) {
        fail(KMP_E_CRYPTO);
    }
    return reversed(signature.data(), size);
}

Bytes ProfileSession::decrypt(const std::uint8_t* encrypted, std::uint32_t length) const {
    Bytes block = reversed(encrypted, length);
    DWORD size = length;
    if (!CryptDecrypt(key_.get(), 0, TRUE, 0, block.data(), &size)) fail(KMP_E_DECRYPT);
    block.resize(size);
    return block;
}

KMPHandle ProfileSession::loadCertificate(const std::uint8_t* der, std::uint32_t length) {
    support::CertContext certificate = decodeCertificate(der, length);
    if (!certificate) fail(KMP_E_BAD_CERTIFICATE);
    loaded_.push_back(std::move(certificate));
    return static_cast<KMPHandle>(loaded_.size());
}

void ProfileSession::validate(KMPHandle certificateHandle) const {
    if (certificateHandle == 0 || certificateHandle > loaded_.size()) fail(KMP_E_HANDLE);
    PCCERT_CONTEXT certificate = loaded_[certificateHandle - 1].get();
    if (!issuedBy(certificate, trusted_.get())) fail(KMP_E_UNTRUSTED);
    if (!withinValidity(certificate) || !withinValidity(trusted_.get())) fail(KMP_E_EXPIRED);
}

}  // namespace kmpsim
