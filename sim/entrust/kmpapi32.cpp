// Stand-in for the key-management library: logins to PKCS#12 profiles with
// every key operation done by the platform's crypto provider. Open logins
// live in one table guarded by one lock; a handle is a number, never a
// pointer, so a stale or made-up handle is refused instead of followed.

#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "sim/entrust/profile_session.h"

namespace {

using kmpsim::KmpFailure;
using kmpsim::ProfileSession;

struct SessionTable {
    std::mutex lock;
    std::map<KMPHandle, std::unique_ptr<ProfileSession>> sessions;
    KMPHandle next = 0x1001;
};

SessionTable& sessionTable() {
    static SessionTable table;
    return table;
}

KMPStatus statusOf(KMPCode code) { return KMP_STATUS(code); }

// Runs one API call under the table's lock; failures become statuses.
template <typename Call>
KMPStatus guarded(Call&& call) {
    try {
        std::lock_guard<std::mutex> guard(sessionTable().lock);
        call();
        return statusOf(KMP_OK);
    } catch (const KmpFailure& failure) {
        return statusOf(failure.code);
    } catch (const std::bad_alloc&) {
        return statusOf(KMP_E_NO_MEMORY);
    }
}

ProfileSession& sessionOf(KMPHandle handle) {
    auto& sessions = sessionTable().sessions;
    const auto found = sessions.find(handle);
    if (found == sessions.end()) throw KmpFailure{KMP_E_HANDLE};
    return *found->second;
}

void require(bool condition) {
    if (!condition) throw KmpFailure{KMP_E_ARGUMENT};
}

bool hasText(const char* text) { return text != nullptr && *text != '\0'; }

void handOut(const kmpsim::Bytes& bytes, KMPBuffer* buffer) {
    buffer->length = static_cast<uint32_t>(bytes.size());
    buffer->data = const_cast<uint8_t*>(bytes.data());
}

struct ErrorText {
    KMPCode code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {KMP_OK, "The operation completed successfully."},
    {KMP_E_ARGUMENT, "A required argument is missing or invalid."},
    {KMP_E_NO_PROFILE, "No profile was specified."},
    {KMP_E_PROFILE_NOT_FOUND, "The profile file could not be found or read."},
    {KMP_E_BAD_PROFILE, "The file is not a profile or holds no key pair."},
    {KMP_E_WRONG_PASSWORD, "The password is incorrect."},
    {KMP_E_INI_NOT_FOUND, "The initialization file could not be found."},
    {KMP_E_NO_TRUST, "The initialization file names no readable trusted certificate."},
    {KMP_E_HANDLE, "The handle does not belong to an open login or a loaded certificate."},
    {KMP_E_DATA_LENGTH, "The data to sign does not have the length of a digest."},
    {KMP_E_CRYPTO, "The cryptographic provider failed."},
    {KMP_E_BAD_CERTIFICATE, "The data is not a certificate."},
    {KMP_E_UNTRUSTED, "The certificate is not issued by a trusted certificate."},
    {KMP_E_EXPIRED, "The certificate is not within its validity period."},
    {KMP_E_DECRYPT, "The data could not be decrypted with this key."},
    {KMP_E_NO_MEMORY, "Not enough memory."},
};

}  // namespace

extern "C" {

KMPAPI32_API KMPStatus IKMPLogin(KMPHandle* handle, const char* profile, const char* password,
                                 const char* iniFile, int mode, int reserved, int keyUse) {
    return guarded([&] {
        require(handle != nullptr && mode == 1 && reserved == 0 && keyUse == 1);
        *handle = 0;
        if (!hasText(profile)) throw KmpFailure{KMP_E_NO_PROFILE};
        if (!hasText(iniFile)) throw KmpFailure{KMP_E_INI_NOT_FOUND};
        auto session =
            std::make_unique<ProfileSession>(ProfileSession::open(profile, password, iniFile));
        SessionTable& table = sessionTable();
        const KMPHandle opened = table.next++;
        table.sessions.emplace(opened, std::move(session));
        *handle = opened;
    });
}

KMPAPI32_API const char* IKMPGetErrString(KMPStatus status) {
    const auto code = static_cast<int16_t>(status & 0xFFFF);
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return "Unknown error.";
}

KMPAPI32_API KMPStatus IKMPLogout(KMPHandle* handle) {
    return guarded([&] {
        require(handle != nullptr);
        if (sessionTable().sessions.erase(*handle) == 0) throw KmpFailure{KMP_E_HANDLE};
        *handle = 0;
    });
}

KMPAPI32_API KMPStatus IKMPGetMyVerifyCertificate(KMPHandle handle, int which,
                                                  KMPBuffer* verifyCertificate,
                                                  KMPBuffer* trustedCertificate,
                                                  KMPBuffer* encryptCertificate) {
    return guarded([&] {
        require(which == 1 && verifyCertificate != nullptr && trustedCertificate != nullptr &&
                encryptCertificate != nullptr);
        const ProfileSession& session = sessionOf(handle);
        // One key pair serves both signing and decryption in these profiles.
        handOut(session.userCertificate(), verifyCertificate);
        handOut(session.trustedCertificate(), trustedCertificate);
        handOut(session.userCertificate(), encryptCertificate);
    });
}

KMPAPI32_API KMPStatus IKMPSignISAKMPData(KMPHandle handle, const KMPBuffer* data,
                                          KMPBuffer* signature) {
    return guarded([&] {
        require(data != nullptr && signature != nullptr && data->data != nullptr);
        ProfileSession& session = sessionOf(handle);
        session.lastSignature = session.sign(data->data, data->length);
        handOut(session.lastSignature, signature);
    });
}

KMPAPI32_API KMPStatus IKMPRSADecrypt(KMPHandle handle, int padding, const KMPBuffer* encrypted,
                                      KMPBuffer* decrypted) {
    return guarded([&] {
        require(padding == 0 && encrypted != nullptr && decrypted != nullptr &&
                encrypted->data != nullptr);
        ProfileSession& session = sessionOf(handle);
        session.lastDecrypted = session.decrypt(encrypted->data, encrypted->length);
        handOut(session.lastDecrypted, decrypted);
    });
}

KMPAPI32_API KMPStatus IKMPLoadCertificate(KMPHandle handle, const KMPBuffer* certificate,
                                           int flags, KMPHandle* certificateHandle) {
    return guarded([&] {
        require(certificate != nullptr && certificate->data != nullptr && flags == 0 &&
                certificateHandle != nullptr);
        *certificateHandle =
            sessionOf(handle).loadCertificate(certificate->data, certificate->length);
    });
}

KMPAPI32_API KMPStatus IKMPValidateCertificate(KMPHandle handle, KMPHandle certificateHandle) {
    return guarded([&] { sessionOf(handle).validate(certificateHandle); });
}
}
