// The key-management stand-in through its exports, against profiles and
// certificates made by OpenSSL.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "interfaces/entrust/kmpapi32.h"
#include "sim/entrust/tests/profile_fixtures.h"

namespace {

using fixtures::bytes;
using fixtures::path;

int16_t codeOf(KMPStatus status) { return static_cast<int16_t>(status & 0xFFFF); }

struct LoginCase {
    const char* profile;
    const char* password;
    const char* ini;
    KMPCode expected;
};

class LoginStatus : public testing::TestWithParam<LoginCase> {};

TEST_P(LoginStatus, TellsWhatWentWrong) {
    const LoginCase& c = GetParam();
    const std::string profile = c.profile ? path(c.profile) : "";
    const std::string ini = c.ini ? path(c.ini) : "";
    KMPHandle handle = 0xDEAD;
    const KMPStatus status = IKMPLogin(&handle, c.profile ? profile.c_str() : nullptr, c.password,
                                       c.ini ? ini.c_str() : nullptr, 1, 0, 1);
    EXPECT_EQ(status & 0xFFFF0000u, KMP_FACILITY);
    EXPECT_EQ(codeOf(status), c.expected) << IKMPGetErrString(status);
    EXPECT_EQ(handle == 0, c.expected != KMP_OK);
    if (handle != 0) {
        EXPECT_EQ(codeOf(IKMPLogout(&handle)), KMP_OK);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, LoginStatus,
    testing::Values(LoginCase{"user.p12", fixtures::kPassword, "profile.ini", KMP_OK},
                    LoginCase{"user.p12", fixtures::kPassword, "profile-der.ini", KMP_OK},
                    LoginCase{"user.p12", "not-the-password", "profile.ini", KMP_E_WRONG_PASSWORD},
                    LoginCase{"user.p12", nullptr, "profile.ini", KMP_E_WRONG_PASSWORD},
                    LoginCase{"missing.p12", fixtures::kPassword, "profile.ini",
                              KMP_E_PROFILE_NOT_FOUND},
                    LoginCase{nullptr, fixtures::kPassword, "profile.ini", KMP_E_NO_PROFILE},
                    LoginCase{"garbage.p12", fixtures::kPassword, "profile.ini", KMP_E_BAD_PROFILE},
                    LoginCase{"user.p12", fixtures::kPassword, "missing.ini", KMP_E_INI_NOT_FOUND},
                    LoginCase{"user.p12", fixtures::kPassword, nullptr, KMP_E_INI_NOT_FOUND},
                    LoginCase{"user.p12", fixtures::kPassword, "notrust.ini", KMP_E_NO_TRUST}));

TEST(KmpErrorText, IsReadableForEveryStatus) {
    EXPECT_STREQ(IKMPGetErrString(KMP_STATUS(KMP_E_WRONG_PASSWORD)), "The password is incorrect.");
    EXPECT_STREQ(IKMPGetErrString(KMP_STATUS(-1)), "Unknown error.");
}

class OpenProfile : public testing::Test {
protected:
    void SetUp() override { logIn("user.p12"); }
    void logIn(const std::string& profile) {
        ASSERT_EQ(codeOf(IKMPLogin(&handle, path(profile).c_str(), fixtures::kPassword,
                                   path("profile.ini").c_str(), 1, 0, 1)),
                  KMP_OK);
    }
    void TearDown() override {
        if (handle != 0) IKMPLogout(&handle);
    }

    KMPStatus validate(const std::vector<uint8_t>& der) {
        KMPBuffer certificate{static_cast<uint32_t>(der.size()), const_cast<uint8_t*>(der.data())};
        KMPHandle loaded = 0;
        const KMPStatus status = IKMPLoadCertificate(handle, &certificate, 0, &loaded);
        return codeOf(status) != KMP_OK ? status : IKMPValidateCertificate(handle, loaded);
    }

    KMPHandle handle = 0;
};

std::vector<uint8_t> contents(const KMPBuffer& buffer) {
    return std::vector<uint8_t>(buffer.data, buffer.data + buffer.length);
}

TEST_F(OpenProfile, HandsOutUserTrustedAndEncryptionCertificates) {
    KMPBuffer verify{}, trusted{}, encrypt{};
    ASSERT_EQ(codeOf(IKMPGetMyVerifyCertificate(handle, 1, &verify, &trusted, &encrypt)), KMP_OK);
    EXPECT_EQ(contents(verify), bytes("user.der"));
    EXPECT_EQ(contents(trusted), bytes("trust.der"));
    EXPECT_EQ(contents(encrypt), bytes("user.der"));
}

TEST_F(OpenProfile, RefusesDigestsOfNoDigestLengthAndForeignCiphertext) {
    std::vector<uint8_t> digest = bytes("digest36.bin");
    KMPBuffer data{35, digest.data()};
    KMPBuffer output{};
    EXPECT_EQ(codeOf(IKMPSignISAKMPData(handle, &data, &output)), KMP_E_DATA_LENGTH);

    std::vector<uint8_t> encrypted = bytes("secret.enc");
    encrypted[10] ^= 0x55;
    KMPBuffer input{static_cast<uint32_t>(encrypted.size()), encrypted.data()};
    EXPECT_EQ(codeOf(IKMPRSADecrypt(handle, 0, &input, &output)), KMP_E_DECRYPT);
}

// A profile with OpenSSL's signature of digest36.bin and its encryption of
// secret.bin, both made with the profile's key.
struct KeyCase {
    const char* profile;
    const char* signature;
    const char* encrypted;
};

class ProfileKeys : public OpenProfile, public testing::WithParamInterface<KeyCase> {
protected:
    void SetUp() override { logIn(GetParam().profile); }
};

// PKCS#1 v1.5 signatures are deterministic: OpenSSL's bytes are the only
// right answer.
TEST_P(ProfileKeys, SignAndDecryptExactlyAsOpenSsl) {
    std::vector<uint8_t> digest = bytes("digest36.bin");
    KMPBuffer data{36, digest.data()};
    KMPBuffer signature{};
    ASSERT_EQ(codeOf(IKMPSignISAKMPData(handle, &data, &signature)), KMP_OK);
    EXPECT_EQ(contents(signature), bytes(GetParam().signature));

    std::vector<uint8_t> encrypted = bytes(GetParam().encrypted);
    KMPBuffer input{static_cast<uint32_t>(encrypted.size()), encrypted.data()};
    KMPBuffer output{};
    ASSERT_EQ(codeOf(IKMPRSADecrypt(handle, 0, &input, &output)), KMP_OK);
    EXPECT_EQ(contents(output), bytes("secret.bin"));
}

std::string profileName(const testing::TestParamInfo<KeyCase>& info) {
    std::string name = info.param.profile;
    name.resize(name.find('.'));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// The user's key is fresh each run; the others have a CRT exponent, the
// coefficient or the private exponent shorter than its place in a key blob.
INSTANTIATE_TEST_SUITE_P(
    Profiles, ProfileKeys,
    testing::Values(KeyCase{"user.p12", "digest36.sig", "secret.enc"},
                    KeyCase{"edge-exponent1.p12", "edge-exponent1.sig", "edge-exponent1.enc"},
                    KeyCase{"edge-exponent2.p12", "edge-exponent2.sig", "edge-exponent2.enc"},
                    KeyCase{"edge-coefficient.p12", "edge-coefficient.sig", "edge-coefficient.enc"},
                    KeyCase{"edge-private-exponent.p12", "edge-private-exponent.sig",
                            "edge-private-exponent.enc"}),
    profileName);

TEST_F(OpenProfile, ValidatesAgainstTheTrustedCertificateAndTime) {
    EXPECT_EQ(codeOf(validate(bytes("user.der"))), KMP_OK);
    EXPECT_EQ(codeOf(validate(bytes("trust.der"))), KMP_OK);
    EXPECT_EQ(codeOf(validate(bytes("expired.der"))), KMP_E_EXPIRED);
    EXPECT_EQ(codeOf(validate(bytes("foreign.der"))), KMP_E_UNTRUSTED);
    EXPECT_EQ(codeOf(validate({0x30})), KMP_E_BAD_CERTIFICATE);
    EXPECT_EQ(codeOf(IKMPValidateCertificate(handle, 99)), KMP_E_HANDLE);
}

TEST_F(OpenProfile, LogoutEndsTheLogin) {
    KMPHandle copy = handle;
    ASSERT_EQ(codeOf(IKMPLogout(&handle)), KMP_OK);
    EXPECT_EQ(handle, 0u);
    KMPBuffer a{}, b{}, c{};
    EXPECT_EQ(codeOf(IKMPGetMyVerifyCertificate(copy, 1, &a, &b, &c)), KMP_E_HANDLE);
    EXPECT_EQ(codeOf(IKMPLogout(&copy)), KMP_E_HANDLE);
}

}  // namespace
