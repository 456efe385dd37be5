// Logs in to many profiles with fresh keys and checks each key's signature
// and decryption against OpenSSL's, counting every disagreement.
// Usage: kmp_keys_bench FOLDER COUNT   (FOLDER ends with a backslash and holds
// key-N.p12, key-N.sig and key-N.enc for N = 1..COUNT, profile.ini,
// digest36.bin and secret.bin, as bench/kmp_keys.sh makes them)

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "interfaces/entrust/kmpapi32.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

bool failed(KMPStatus status) { return (status & 0xFFFF) != 0; }

struct Tally {
    int loginsFailed = 0;
    int signaturesWrong = 0;
    int decryptionsWrong = 0;
};

void checkProfile(const std::string& folder, int number, const Bytes& digest, const Bytes& secret,
                  Tally& tally) {
    const std::string stem = folder + "key-" + std::to_string(number);
    KMPHandle handle = 0;
    if (failed(IKMPLogin(&handle, (stem + ".p12").c_str(), "profile-pass",
                         (folder + "profile.ini").c_str(), 1, 0, 1))) {
        ++tally.loginsFailed;
        std::printf("key-%d: login failed\n", number);
        return;
    }
    Bytes input = digest;
    KMPBuffer data{static_cast<uint32_t>(input.size()), input.data()};
    KMPBuffer signature{};
    if (failed(IKMPSignISAKMPData(handle, &data, &signature)) ||
        Bytes(signature.data, signature.data + signature.length) != fileBytes(stem + ".sig")) {
        ++tally.signaturesWrong;
        std::printf("key-%d: signature differs from OpenSSL's\n", number);
    }
    Bytes encrypted = fileBytes(stem + ".enc");
    KMPBuffer cipher{static_cast<uint32_t>(encrypted.size()), encrypted.data()};
    KMPBuffer plain{};
    if (failed(IKMPRSADecrypt(handle, 0, &cipher, &plain)) ||
        Bytes(plain.data, plain.data + plain.length) != secret) {
        ++tally.decryptionsWrong;
        std::printf("key-%d: decryption differs from the secret\n", number);
    }
    IKMPLogout(&handle);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kmp_keys_bench FOLDER COUNT\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    const Bytes digest = fileBytes(folder + "digest36.bin");
    const Bytes secret = fileBytes(folder + "secret.bin");
    Tally tally;
    const double seconds = bench::timed([&] {
        for (int number = 1; number <= count; ++number) {
            checkProfile(folder, number, digest, secret, tally);
        }
    });
    std::printf(
        "%d fresh keys: %d logins failed, %d signatures and %d decryptions differ from "
        "OpenSSL's; %.1f ms per login, signature and decryption\n",
        count, tally.loginsFailed, tally.signaturesWrong, tally.decryptionsWrong,
        count > 0 ? seconds * 1000 / count : 0.0);
    return tally.loginsFailed + tally.signaturesWrong + tally.decryptionsWrong == 0 ? 0 : 1;
}
