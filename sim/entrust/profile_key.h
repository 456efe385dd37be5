#pragma once
// The private key of a profile (a PKCS#12 file), read straight from the
// file: its shrouded key bag, decrypted by the caller's PBES2 decryption,
// becomes a CryptoAPI private-key blob with every component in a field of its
// full length. Pure byte work; the cipher is the caller's.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace kmpsim {

using Bytes = std::vector<std::uint8_t>;

// The PBES2 parameters that protect a key bag.
enum class Prf { HmacSha1, HmacSha256 };

struct Pbes2Parameters {
    Bytes salt;
    std::uint32_t iterations = 0;
    Prf prf = Prf::HmacSha1;
    std::uint32_t keyLength = 0;  // AES key bytes: 16, 24 or 32
    Bytes iv;
};

// Decrypts `encrypted` under `parameters` with the password; empty when the
// password is wrong or the data damaged.
using Pbes2Decryption =
    std::function<std::optional<Bytes>(const Pbes2Parameters& parameters, const Bytes& encrypted)>;

enum class ProfileKeyError { NotAProfile, WrongPassword, NoRsaKey };

struct ProfileKey {
    Bytes privateKeyBlob;  // PRIVATEKEYBLOB of an exchange key, empty on error
    std::optional<ProfileKeyError> error;
};

// Finds the first shrouded (or plain) key bag of `pfx` and turns its RSA key
// into a private-key blob.
ProfileKey readProfileKey(const Bytes& pfx, const Pbes2Decryption& decrypt);

// An RSA private key (PKCS#1 DER) as a private-key blob; empty when the key
// does not fit one.
Bytes privateKeyBlobOf(const Bytes& rsaPrivateKey);

}  // namespace kmpsim
