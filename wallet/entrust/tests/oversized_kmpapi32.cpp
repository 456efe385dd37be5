// A key-management library whose blocks are larger than any RSA key gives,
// for the one thing the real profiles cannot show: that kmpwallet copies a
// whole block but reports only the low 16 bits of its length. It is built
// as kmpapi32.dll into a folder of its own, beside a copy of kmpwallet.

#include <cstring>
#include <vector>

#include "interfaces/entrust/kmpapi32.h"
#include "wallet/entrust/tests/oversized_blocks.h"

namespace {

std::vector<uint8_t> signature = oversized::block(oversized::kSignatureLength);
std::vector<uint8_t> decrypted = oversized::block(oversized::kDecryptedLength);
uint32_t lastLoadLength = 0;

void handOut(std::vector<uint8_t>& bytes, KMPBuffer* buffer) {
    buffer->length = static_cast<uint32_t>(bytes.size());
    buffer->data = bytes.data();
}

}  // namespace

extern "C" {

KMPAPI32_API KMPStatus IKMPLogin(KMPHandle* handle, const char*, const char*, const char*, int, int,
                                 int) {
    *handle = 1;
    return KMP_STATUS(KMP_OK);
}

KMPAPI32_API const char* IKMPGetErrString(KMPStatus) { return "oversized"; }

KMPAPI32_API KMPStatus IKMPLogout(KMPHandle* handle) {
    *handle = 0;
    return KMP_STATUS(KMP_OK);
}

KMPAPI32_API KMPStatus IKMPGetMyVerifyCertificate(KMPHandle, int, KMPBuffer*, KMPBuffer*,
                                                  KMPBuffer*) {
    return KMP_STATUS(KMP_E_HANDLE);
}

KMPAPI32_API KMPStatus IKMPSignISAKMPData(KMPHandle, const KMPBuffer*, KMPBuffer* output) {
    handOut(signature, output);
    return KMP_STATUS(KMP_OK);
}

KMPAPI32_API KMPStatus IKMPRSADecrypt(KMPHandle, int, const KMPBuffer*, KMPBuffer* output) {
    handOut(decrypted, output);
    return KMP_STATUS(KMP_OK);
}

KMPAPI32_API KMPStatus IKMPLoadCertificate(KMPHandle, const KMPBuffer* certificate, int,
                                           KMPHandle* loaded) {
    lastLoadLength = certificate->length;
    *loaded = 1;
    return KMP_STATUS(KMP_OK);
}

KMPAPI32_API KMPStatus IKMPValidateCertificate(KMPHandle, KMPHandle) { return KMP_STATUS(KMP_OK); }

// What the last IKMPLoadCertificate was given as the certificate's length.
KMPAPI32_API uint32_t oversized_last_load_length() { return lastLoadLength; }
}
