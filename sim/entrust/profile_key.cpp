#include "sim/entrust/profile_key.h"

#include <algorithm>
#include <initializer_list>

namespace kmpsim {

namespace {

// One DER element: its tag and the span of its contents.
struct Element {
    std::uint8_t tag = 0;
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
};

constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kOid = 0x06;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kExplicit0 = 0xA0;

// A cursor over the elements of one level of DER.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t length) : at_(data), end_(data + length) {}
    explicit Reader(const Element& element) : Reader(element.data, element.length) {}

    bool atEnd() const { return at_ == end_; }

    // The next element, which must carry `tag`.
    std::optional<Element> take(std::uint8_t tag) {
        std::optional<Element> element = next();
        if (!element || element->tag != tag) return std::nullopt;
        return element;
    }

    std::optional<Element> next() {
        if (end_ - at_ < 2) return std::nullopt;
        Element element;
        element.tag = *at_++;
        std::size_t length = *at_++;
        if (length & 0x80) {
            const std::size_t lengthBytes = length & 0x7F;
            if (lengthBytes == 0 || lengthBytes > 4 ||
                static_cast<std::size_t>(end_ - at_) < lengthBytes) {
                return std::nullopt;
            }
            length = 0;
            for (std::size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | *at_++;
        }
        if (static_cast<std::size_t>(end_ - at_) < length) return std::nullopt;
        element.data = at_;
        element.length = length;
        at_ += length;
        return element;
    }

private:
    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

using Oid = std::initializer_list<std::uint8_t>;

constexpr Oid kData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
constexpr Oid kKeyBag = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x0A, 0x01, 0x01};
constexpr Oid kShroudedKeyBag = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x0A, 0x01, 0x02};
constexpr Oid kPbes2 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05, 0x0D};
constexpr Oid kPbkdf2 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05, 0x0C};
constexpr Oid kHmacSha1 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x07};
constexpr Oid kHmacSha256 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x09};
constexpr Oid kRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
// AES in CBC mode: the last byte tells the key length.
constexpr Oid kAesCbcPrefix = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01};

bool is(const Element& oid, Oid expected) {
    return oid.tag == kOid && oid.length == expected.size() &&
           std::equal(expected.begin(), expected.end(), oid.data);
}

std::uint32_t aesKeyLength(const Element& oid) {
    if (oid.tag != kOid || oid.length != kAesCbcPrefix.size() + 1 ||
        !std::equal(kAesCbcPrefix.begin(), kAesCbcPrefix.end(), oid.data)) {
        return 0;
    }
    switch (oid.data[oid.length - 1]) {
        case 0x02: return 16;
        case 0x16: return 24;
        case 0x2A: return 32;
        default: return 0;
    }
}

Bytes bytesOf(const Element& element) { return Bytes(element.data, element.data + element.length); }

// An unsigned INTEGER's magnitude, without the sign byte DER may put first.
Bytes magnitude(const Element& integer) {
    const std::uint8_t* begin = integer.data;
    const std::uint8_t* end = integer.data + integer.length;
    while (begin != end && *begin == 0) ++begin;
    return Bytes(begin, end);
}

std::optional<std::uint32_t> smallInteger(const std::optional<Element>& integer) {
    if (!integer) return std::nullopt;
    const Bytes value = magnitude(*integer);
    if (value.size() > 4 || (integer->length != 0 && (integer->data[0] & 0x80))) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (std::uint8_t byte : value) number = (number << 8) | byte;
    return number;
}

// The contents of [0] EXPLICIT { OCTET STRING }, as a content info carries data.
std::optional<Element> wrappedOctets(Reader& reader) {
    std::optional<Element> wrapper = reader.take(kExplicit0);
    if (!wrapper) return std::nullopt;
    Reader inner(*wrapper);
    return inner.take(kOctetString);
}

std::optional<Pbes2Parameters> pbes2Parameters(const Element& algorithm) {
    Reader reader(algorithm);
    std::optional<Element> oid = reader.take(kOid);
    std::optional<Element> parameters = reader.take(kSequence);
    if (!oid || !is(*oid, kPbes2) || !parameters) return std::nullopt;
    Reader schemes(*parameters);
    std::optional<Element> derivation = schemes.take(kSequence);
    std::optional<Element> encryption = schemes.take(kSequence);
    if (!derivation || !encryption) return std::nullopt;

    Pbes2Parameters result;
    Reader kdf(*derivation);
    std::optional<Element> kdfOid = kdf.take(kOid);
    std::optional<Element> kdfParameters = kdf.take(kSequence);
    if (!kdfOid || !is(*kdfOid, kPbkdf2) || !kdfParameters) return std::nullopt;
    Reader pbkdf2(*kdfParameters);
    std::optional<Element> salt = pbkdf2.take(kOctetString);
    std::optional<std::uint32_t> iterations = smallInteger(pbkdf2.take(kInteger));
    if (!salt || !iterations || *iterations == 0) return std::nullopt;
    result.salt = bytesOf(*salt);
    result.iterations = *iterations;
    while (!pbkdf2.atEnd()) {
        std::optional<Element> optional = pbkdf2.next();
        if (!optional) return std::nullopt;
        if (optional->tag != kSequence) continue;  // a key length: AES decides it
        Reader prf(*optional);
        std::optional<Element> prfOid = prf.take(kOid);
        if (prfOid && is(*prfOid, kHmacSha256)) {
            result.prf = Prf::HmacSha256;
        } else if (!prfOid || !is(*prfOid, kHmacSha1)) {
            return std::nullopt;
        }
    }

    Reader cipher(*encryption);
    std::optional<Element> cipherOid = cipher.take(kOid);
    std::optional<Element> iv = cipher.take(kOctetString);
    if (!cipherOid || !iv || iv->length != 16) return std::nullopt;
    result.keyLength = aesKeyLength(*cipherOid);
    if (result.keyLength == 0) return std::nullopt;
    result.iv = bytesOf(*iv);
    return result;
}

// The RSAPrivateKey inside a PrivateKeyInfo; empty when it holds none.
std::optional<Bytes> rsaKeyOfPrivateKeyInfo(const Bytes& info) {
    Reader outer(info.data(), info.size());
    std::optional<Element> sequence = outer.take(kSequence);
    if (!sequence) return std::nullopt;
    Reader reader(*sequence);
    std::optional<Element> version = reader.take(kInteger);
    std::optional<Element> algorithm = reader.take(kSequence);
    std::optional<Element> key = reader.take(kOctetString);
    if (!version || !algorithm || !key) return std::nullopt;
    Reader algorithmReader(*algorithm);
    std::optional<Element> oid = algorithmReader.take(kOid);
    if (!oid || !is(*oid, kRsaEncryption)) return std::nullopt;
    return bytesOf(*key);
}

ProfileKey failure(ProfileKeyError error) { return ProfileKey{{}, error}; }

ProfileKey keyOfBag(const Element& bagId, const Element& value, const Pbes2Decryption& decrypt) {
    Bytes info;
    if (is(bagId, kKeyBag)) {
        info = bytesOf(value);
    } else {
        Reader reader(value);
        std::optional<Element> encrypted = reader.take(kSequence);
        if (!encrypted) return failure(ProfileKeyError::NotAProfile);
        Reader parts(*encrypted);
        std::optional<Element> algorithm = parts.take(kSequence);
        std::optional<Element> data = parts.take(kOctetString);
        if (!algorithm || !data) return failure(ProfileKeyError::NotAProfile);
        std::optional<Pbes2Parameters> parameters = pbes2Parameters(*algorithm);
        if (!parameters) return failure(ProfileKeyError::NoRsaKey);
        std::optional<Bytes> decrypted = decrypt(*parameters, bytesOf(*data));
        if (!decrypted) return failure(ProfileKeyError::WrongPassword);
        info = std::move(*decrypted);
    }
    std::optional<Bytes> rsaKey = rsaKeyOfPrivateKeyInfo(info);
    if (!rsaKey) return failure(ProfileKeyError::NoRsaKey);
    Bytes blob = privateKeyBlobOf(*rsaKey);
    if (blob.empty()) return failure(ProfileKeyError::NoRsaKey);
    return ProfileKey{std::move(blob), std::nullopt};
}

// The first key bag among the safe bags of one unencrypted content info.
std::optional<ProfileKey> keyInSafeContents(const Element& safeContents,
                                            const Pbes2Decryption& decrypt) {
    Reader outer(safeContents);
    std::optional<Element> bags = outer.take(kSequence);
    if (!bags) return failure(ProfileKeyError::NotAProfile);
    Reader reader(*bags);
    while (!reader.atEnd()) {
        std::optional<Element> bag = reader.take(kSequence);
        if (!bag) return failure(ProfileKeyError::NotAProfile);
        Reader fields(*bag);
        std::optional<Element> bagId = fields.take(kOid);
        std::optional<Element> wrapper = fields.take(kExplicit0);
        if (!bagId || !wrapper) return failure(ProfileKeyError::NotAProfile);
        if (is(*bagId, kKeyBag) || is(*bagId, kShroudedKeyBag)) {
            return keyOfBag(*bagId, *wrapper, decrypt);
        }
    }
    return std::nullopt;
}

void appendLittleEndian(Bytes& blob, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) blob.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A component in its field: little-endian, zero-filled up to the field's length.
void appendComponent(Bytes& blob, const Bytes& bigEndian, std::size_t fieldLength) {
    blob.insert(blob.end(), bigEndian.rbegin(), bigEndian.rend());
    blob.insert(blob.end(), fieldLength - bigEndian.size(), 0);
}

}  // namespace

Bytes privateKeyBlobOf(const Bytes& rsaPrivateKey) {
    Reader outer(rsaPrivateKey.data(), rsaPrivateKey.size());
    std::optional<Element> sequence = outer.take(kSequence);
    if (!sequence) return {};
    Reader reader(*sequence);
    if (!reader.take(kInteger)) return {};
    // Modulus, public exponent, private exponent, the primes, the two CRT
    // exponents and the coefficient, in the order the key lists them.
    Bytes parts[8];
    for (Bytes& part : parts) {
        std::optional<Element> integer = reader.take(kInteger);
        if (!integer) return {};
        part = magnitude(*integer);
    }
    const Bytes& modulus = parts[0];
    const std::size_t modulusLength = modulus.size();
    if (modulusLength == 0 || modulusLength % 2 != 0 || parts[1].size() > 4) return {};
    const std::size_t half = modulusLength / 2;
    struct Field {
        int part;
        std::size_t length;
    };
    // The blob's order: modulus, primes, CRT exponents, coefficient, private exponent.
    const Field fields[] = {{0, modulusLength}, {3, half}, {4, half},         {5, half},
                            {6, half},          {7, half}, {2, modulusLength}};
    for (const Field& field : fields) {
        if (parts[field.part].size() > field.length) return {};
    }

    constexpr std::uint8_t kPrivateKeyBlob = 0x07;
    constexpr std::uint8_t kBlobVersion = 0x02;
    constexpr std::uint32_t kRsaKeyExchange = 0xA400;
    constexpr std::uint32_t kRsa2Magic = 0x32415352;
    Bytes blob = {kPrivateKeyBlob, kBlobVersion, 0, 0};
    appendLittleEndian(blob, kRsaKeyExchange);
    appendLittleEndian(blob, kRsa2Magic);
    appendLittleEndian(blob, static_cast<std::uint32_t>(modulusLength * 8));
    std::uint32_t exponent = 0;
    for (std::uint8_t byte : parts[1]) exponent = (exponent << 8) | byte;
    appendLittleEndian(blob, exponent);
    for (const Field& field : fields) appendComponent(blob, parts[field.part], field.length);
    return blob;
}

ProfileKey readProfileKey(const Bytes& pfx, const Pbes2Decryption& decrypt) {
    Reader top(pfx.data(), pfx.size());
    std::optional<Element> sequence = top.take(kSequence);
    if (!sequence) return failure(ProfileKeyError::NotAProfile);
    Reader reader(*sequence);
    std::optional<Element> authSafe;
    if (!reader.take(kInteger) || !(authSafe = reader.take(kSequence))) {
        return failure(ProfileKeyError::NotAProfile);
    }
    Reader authSafeReader(*authSafe);
    std::optional<Element> type = authSafeReader.take(kOid);
    if (!type || !is(*type, kData)) return failure(ProfileKeyError::NotAProfile);
    std::optional<Element> contents = wrappedOctets(authSafeReader);
    if (!contents) return failure(ProfileKeyError::NotAProfile);

    Reader outer(*contents);
    std::optional<Element> infos = outer.take(kSequence);
    if (!infos) return failure(ProfileKeyError::NotAProfile);
    Reader infoReader(*infos);
    while (!infoReader.atEnd()) {
        std::optional<Element> info = infoReader.take(kSequence);
        if (!info) return failure(ProfileKeyError::NotAProfile);
        Reader fields(*info);
        std::optional<Element> infoType = fields.take(kOid);
        if (!infoType) return failure(ProfileKeyError::NotAProfile);
        // Encrypted content infos carry certificates, which the platform reads.
        if (!is(*infoType, kData)) continue;
        std::optional<Element> safeContents = wrappedOctets(fields);
        if (!safeContents) return failure(ProfileKeyError::NotAProfile);
        if (std::optional<ProfileKey> key = keyInSafeContents(*safeContents, decrypt)) return *key;
    }
    return failure(ProfileKeyError::NoRsaKey);
}

}  // namespace kmpsim
