// Interface of the Entrust key-management library, kmpapi32.dll.
#pragma once
// The key-management API of kmpapi32.dll: a login to a password-protected
// profile, the profile's certificates, private-key operations with its key,
// and validation of other certificates against the profile's trusted
// certificate. C names and the C calling convention.

#include <stdint.h>

#ifdef KMPAPI32_BUILD
#define KMPAPI32_API __declspec(dllexport)
#else
#define KMPAPI32_API __declspec(dllimport)
#endif

extern "C" {

// Every status carries the API's facility in its high word, success included;
// only the low 16 bits tell success (0) from failure (a negative 16-bit code).
typedef uint32_t KMPStatus;
typedef uint32_t KMPHandle;

#define KMP_FACILITY 0x4B4D0000u
#define KMP_STATUS(code) (KMP_FACILITY | (static_cast<uint32_t>(code) & 0xFFFFu))

enum KMPCode {
    KMP_OK = 0,
    KMP_E_ARGUMENT = -2001,           // a required argument is null or out of range
    KMP_E_NO_PROFILE = -2002,         // no profile was named
    KMP_E_PROFILE_NOT_FOUND = -2003,  // the profile file cannot be read
    KMP_E_BAD_PROFILE = -2004,        // the file is no profile, or holds no key pair
    KMP_E_WRONG_PASSWORD = -2005,     // the password is missing or does not open the profile
    KMP_E_INI_NOT_FOUND = -2006,      // the initialization file cannot be read
    KMP_E_NO_TRUST = -2007,         // the initialization file names no readable trusted certificate
    KMP_E_HANDLE = -2008,           // not an open login, or not a loaded certificate
    KMP_E_DATA_LENGTH = -2009,      // data to sign is not of a digest's length
    KMP_E_CRYPTO = -2010,           // the platform's crypto provider refused
    KMP_E_BAD_CERTIFICATE = -2011,  // bytes that do not decode as a certificate
    KMP_E_UNTRUSTED = -2012,        // not issued by the profile's trusted certificate
    KMP_E_EXPIRED = -2013,          // outside its validity period
    KMP_E_DECRYPT = -2014,          // ciphertext not made for this key
    KMP_E_NO_MEMORY = -2015,
};

// A datum passed to or received from the API. Buffers the API fills stay the
// API's: valid until the next call of the same kind on the login, or logout.
struct KMPBuffer {
    uint32_t length;
    uint8_t* data;
};

// Opens `profile` (a PKCS#12 file) with `password`; `iniFile` names the
// trusted certificate in its [Profile] section, key TrustedCertificate (a PEM
// or DER file, relative to the initialization file's folder). The arguments
// `mode`, `reserved` and `keyUse` must be 1, 0 and 1.
KMPAPI32_API KMPStatus IKMPLogin(KMPHandle* handle, const char* profile, const char* password,
                                 const char* iniFile, int mode, int reserved, int keyUse);

// Readable text for a status; never null.
KMPAPI32_API const char* IKMPGetErrString(KMPStatus status);

// Ends the login and zeroes the handle.
KMPAPI32_API KMPStatus IKMPLogout(KMPHandle* handle);

// The profile's verification certificate, its trusted certificate and its
// encryption certificate (DER). `which` must be 1 (the current certificates).
KMPAPI32_API KMPStatus IKMPGetMyVerifyCertificate(KMPHandle handle, int which,
                                                  KMPBuffer* verifyCertificate,
                                                  KMPBuffer* trustedCertificate,
                                                  KMPBuffer* encryptCertificate);

// PKCS#1 v1.5 signature (big-endian, as on the wire) of `data` taken as a
// digest value; its length must be 16, 20, 32, 36, 48 or 64 bytes.
KMPAPI32_API KMPStatus IKMPSignISAKMPData(KMPHandle handle, const KMPBuffer* data,
                                          KMPBuffer* signature);

// Decrypts a big-endian PKCS#1 v1.5 block; `padding` must be 0 (PKCS#1 v1.5).
KMPAPI32_API KMPStatus IKMPRSADecrypt(KMPHandle handle, int padding, const KMPBuffer* encrypted,
                                      KMPBuffer* decrypted);

// Decodes a DER certificate for IKMPValidateCertificate; `flags` must be 0.
// The certificate stays loaded until logout.
KMPAPI32_API KMPStatus IKMPLoadCertificate(KMPHandle handle, const KMPBuffer* certificate,
                                           int flags, KMPHandle* certificateHandle);

// Success when the certificate is the trusted certificate or signed by it,
// and both are within their validity periods now.
KMPAPI32_API KMPStatus IKMPValidateCertificate(KMPHandle handle, KMPHandle certificateHandle);
}
