// kmpwallet driven through its method table by a host in the test process,
// over the key-management stand-in and profiles made by OpenSSL.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/entrust/tests/profile_fixtures.h"
#include "sim/vlxrt/vlxsim.h"
#include "wallet/entrust/kmpwallet.h"
#include "wallet/entrust/tests/traced_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using kmpwallet::LoginRecord;

std::string locatorFor(const char* profile, const char* ini) {
    return "entr:" + fixtures::path(profile) + "::" + fixtures::path(ini) + "::";
}

std::string goodLocator() { return locatorFor("user.p12", "profile.ini"); }

Bytes bytesAt(const std::uint8_t* data, std::uint32_t length) { return Bytes(data, data + length); }

class Kmpwallet : public testing::Test {
protected:
    ~Kmpwallet() override {
        if (wallet != nullptr) TracedHost::methods().Logout(host.host(), wallet);
    }

    wallet::ResultCode login(std::string locator, const char* password = fixtures::kPassword,
                             std::uint32_t locatorLength = 0) {
        locatorText = std::vector<char>(locator.begin(), locator.end());
        locatorText.push_back('\0');
        std::string passwordText = password;
        return TracedHost::methods().Login(
            host.host(),
            locatorLength != 0 ? locatorLength : static_cast<std::uint32_t>(locator.size()),
            locatorText.data(), static_cast<std::uint32_t>(passwordText.size()),
            passwordText.data(), &wallet);
    }

    LoginRecord* record() const { return static_cast<LoginRecord*>(wallet); }

    TracedHost host;
    void* wallet = nullptr;
    std::vector<char> locatorText;
};

TEST(KmpwalletTable, RegistersFifteenSlotsWithoutEncryptAndVerify) {
    EXPECT_EQ(nztwveapi(nullptr), wallet::ERR_BAD_ARGUMENT);
    const wallet::WalletMethodTable& table = TracedHost::methods();
    EXPECT_EQ(table.Encrypt, nullptr);
    EXPECT_EQ(table.Verify, nullptr);
    EXPECT_EQ(table.Reserved3(), wallet::ERR_UNSUPPORTED);
    EXPECT_EQ(table.Reserved8(), wallet::ERR_UNSUPPORTED);
    EXPECT_EQ(table.Init(nullptr), wallet::ERR_BAD_ARGUMENT);

    std::uint32_t count = 0;
    EXPECT_EQ(table.GetTrustpointCount(nullptr, nullptr, &count), wallet::kOk);
    EXPECT_EQ(count, 1u);
    count = 0;
    EXPECT_EQ(table.GetKeyPairCount(nullptr, nullptr, &count), wallet::kOk);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(table.GetKeyPairCount(nullptr, nullptr, nullptr), wallet::ERR_BAD_ARGUMENT);

    int a = 0, b = 0;
    EXPECT_EQ(table.GetCertInfo(&a, nullptr, &b, nullptr), wallet::kOk);
    EXPECT_EQ(table.GetCertInfo(nullptr, &a, &b, &b), wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(table.GetCertInfo(&a, &b, nullptr, &b), wallet::ERR_BAD_ARGUMENT);
}

TEST_F(Kmpwallet, NullHostOrOutArgumentIsRefused) {
    char text[] = "entr:p::i::";
    void* out = nullptr;
    EXPECT_EQ(TracedHost::methods().Init(host.host()), wallet::kOk);
    EXPECT_EQ(TracedHost::methods().Login(nullptr, 11, text, 0, text, &out),
              wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(TracedHost::methods().Login(host.host(), 11, text, 0, text, nullptr),
              wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(TracedHost::methods().Logout(nullptr, nullptr), wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(TracedHost::methods().Logout(host.host(), nullptr), wallet::kOk);
    EXPECT_EQ(host.traceText(), "");
}

TEST_F(Kmpwallet, LogsInWithTheLocatorCountingOrNotCountingItsNul) {
    const std::string locator = goodLocator();
    for (std::uint32_t extra : {0u, 1u}) {
        ASSERT_EQ(
            login(locator, fixtures::kPassword, static_cast<std::uint32_t>(locator.size()) + extra),
            wallet::kOk);
        ASSERT_NE(wallet, nullptr);
        EXPECT_NE(record()->loginHandle, 0u);
        EXPECT_EQ(record()->host, &host.context);
        EXPECT_EQ(TracedHost::methods().Logout(host.host(), wallet), wallet::kOk);
        wallet = nullptr;
    }
    EXPECT_TRUE(host.traced("nztwvelogin: entry"));
    EXPECT_TRUE(host.traced("nztwveDoLogin: entry"));
    EXPECT_TRUE(
        host.traced("nztwveGetAuthData: the profile, password and initialization file "
                    "were specified - returning."));
    EXPECT_TRUE(host.traced("nztwvelogout: exit"));
}

TEST_F(Kmpwallet, WrongPasswordFailsWithTheEntrustMessageAndLeavesNothingAllocated) {
    sscoreserverflag = 1;
    VlxsimMemoryCounters before{}, after{};
    vlxsim_memory_counters(&before);
    EXPECT_EQ(login(goodLocator(), "not-the-password"), wallet::ERR_LOGIN);
    vlxsim_memory_counters(&after);
    sscoreserverflag = 0;
    EXPECT_EQ(wallet, nullptr);
    EXPECT_EQ(after.allocated - before.allocated, 1u);
    EXPECT_EQ(after.released - before.released, 1u);
    EXPECT_TRUE(
        host.traced("nztwveDoLogin: Entrust function \"IKMPLogin\" failed with \"The "
                    "password is incorrect.\" (error code -2005)."));
}

TEST_F(Kmpwallet, PasswordComesFromTheParameterWhenTheHostGivesNone) {
    host.writeParameters("# host settings\nssl_entrust_password = profile-pass\n");
    EXPECT_EQ(login(goodLocator(), ""), wallet::kOk);
    EXPECT_TRUE(host.traced(
        "nztwveGetStringParameter: found value for \"ssl_entrust_password\" configuration "
        "parameter"));
    EXPECT_EQ(host.traceText().find("profile-pass"), std::string::npos);
}

TEST_F(Kmpwallet, AbsentParameterDropsItsErrorEntryAndLoginGoesOnWithoutPassword) {
    host.writeParameters("ssl_entrust_classpath = x\n");
    host.errors.depth = 2;
    EXPECT_EQ(login(goodLocator(), ""), wallet::ERR_LOGIN);
    EXPECT_EQ(host.errors.depth, 2);
    EXPECT_EQ(host.errors.codes[2], static_cast<std::uint32_t>(hostrt::kParameterAbsent));
    EXPECT_TRUE(
        host.traced("nztwveGetAuthData: no profile, password, and initialization file "
                    "were specified - returning."));
    EXPECT_TRUE(
        host.traced("nztwveGetAuthData: one of the following was not specified: "
                    "profile, password or initialization file."));
}

TEST_F(Kmpwallet, UnreadableParametersAreAnErrorTracedAtLevelOne) {
    DeleteFileW(host.parameters.path);
    host.classic(1);
    EXPECT_EQ(login(goodLocator(), ""), wallet::ERR_LOGIN);
    EXPECT_TRUE(
        host.traced("nztwveGetStringParameter: error 406 occurred while retrieving "
                    "parameter \"ssl_entrust_password\""));
}

TEST_F(Kmpwallet, CallersPasswordMeansTheParameterIsNotLookedUp) {
    host.writeParameters("ssl_entrust_password = not-the-password\n");
    EXPECT_EQ(login(goodLocator()), wallet::kOk);
    EXPECT_EQ(host.traceText().find("nztwveGetStringParameter"), std::string::npos);
}

TEST_F(Kmpwallet, LocatorWithoutPrefixLogsInWithNothingAndSaysNothingAtLevelFour) {
    const std::string locator = fixtures::path("user.p12") + "::" + fixtures::path("profile.ini");
    EXPECT_EQ(login(locator), wallet::ERR_LOGIN);
    EXPECT_TRUE(
        host.traced("nztwveDoLogin: Entrust function \"IKMPLogin\" failed with \"No "
                    "profile was specified.\" (error code -2002)."));
    EXPECT_EQ(host.traceText().find("specified - returning"), std::string::npos);
}

TEST_F(Kmpwallet, LogoutEndsTheLoginPausesAndReleasesTheRecord) {
    ASSERT_EQ(login(goodLocator()), wallet::kOk);
    KMPHandle handle = record()->loginHandle;
    unsigned pause = 0;
    const unsigned sleeps = vlxsim_sleep_count(&pause);
    EXPECT_EQ(TracedHost::methods().Logout(host.host(), wallet), wallet::kOk);
    wallet = nullptr;
    EXPECT_EQ(vlxsim_sleep_count(&pause), sleeps + 1);
    EXPECT_EQ(pause, 10000u);
    KMPBuffer a{}, b{}, c{};
    EXPECT_EQ(static_cast<std::int16_t>(IKMPGetMyVerifyCertificate(handle, 1, &a, &b, &c)),
              KMP_E_HANDLE);
}

TEST_F(Kmpwallet, LogoutOfARecordWithoutLoginReleasesItOnly) {
    sscoreserverflag = 1;
    auto* empty = static_cast<LoginRecord*>(ss_mem_cal(1, sizeof(LoginRecord)));
    VlxsimMemoryCounters before{}, after{};
    vlxsim_memory_counters(&before);
    const unsigned sleeps = vlxsim_sleep_count(nullptr);
    EXPECT_EQ(TracedHost::methods().Logout(host.host(), empty), wallet::kOk);
    vlxsim_memory_counters(&after);
    sscoreserverflag = 0;
    EXPECT_EQ(vlxsim_sleep_count(nullptr), sleeps);
    EXPECT_EQ(after.released - before.released, 1u);
    EXPECT_EQ(after.foreign, before.foreign);
}

class LoggedIn : public Kmpwallet {
protected:
    void SetUp() override {
        ASSERT_EQ(login(goodLocator()), wallet::kOk);
        std::uint32_t size = 0;
        ASSERT_EQ(TracedHost::methods().GetKeyPair(host.host(), wallet, &certificate,
                                                   &certificateLength, &keyRecord, &size),
                  wallet::kOk);
        EXPECT_EQ(size, 8u);
    }

    wallet::ResultCode validate(const Bytes& der) {
        wallet::CertificateRecord certificateRecord{};
        certificateRecord.length = static_cast<std::uint32_t>(der.size());
        certificateRecord.der = der.data();
        wallet::CertificateRecord* pointer = &certificateRecord;
        wallet::ValidationContext context{};
        return TracedHost::methods().Validate(&keyRecord, &context, &pointer);
    }

    std::uint8_t* certificate = nullptr;
    std::uint32_t certificateLength = 0;
    void* keyRecord = nullptr;
};

TEST_F(LoggedIn, KeyPairIsTheUserCertificateWithTheWalletAsKeyRecord) {
    EXPECT_EQ(bytesAt(certificate, certificateLength), fixtures::bytes("user.der"));
    EXPECT_EQ(keyRecord, wallet);
    EXPECT_TRUE(host.traced("nztwveapi_GetKeyPair: exit"));
}

TEST_F(LoggedIn, TrustpointIsTheProfilesTrustedCertificate) {
    std::uint8_t* trusted = nullptr;
    std::uint32_t length = 0;
    ASSERT_EQ(TracedHost::methods().GetTrustpoints(host.host(), wallet, &trusted, &length),
              wallet::kOk);
    EXPECT_EQ(bytesAt(trusted, length), fixtures::bytes("trust.der"));
    EXPECT_EQ(TracedHost::methods().GetTrustpoints(host.host(), nullptr, &trusted, &length),
              wallet::ERR_BAD_ARGUMENT);
}

TEST_F(LoggedIn, FailedCertificateQueryNamesTheEntrustCall) {
    LoginRecord stale{0x7777, &host.context};
    std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
    EXPECT_EQ(TracedHost::methods().GetTrustpoints(host.host(), &stale, &bytes, &length),
              wallet::ERR_CERT_RETRIEVAL);
    EXPECT_TRUE(host.traced(
        "nztwveapi_GetTrustpoints: Entrust function \"IKMPGetMyVerifyCertificate\" failed with "
        "\"The handle does not belong to an open login or a loaded certificate.\" (error code "
        "-2008)."));
}

TEST_F(LoggedIn, SignsThroughTheKeyRecordAsOpenSslDoes) {
    host.classic(15);
    const Bytes digest = fixtures::bytes("digest36.bin");
    Bytes signature(512, 0);
    std::uint8_t* output = signature.data();
    std::uint32_t length = 0;
    ASSERT_EQ(TracedHost::methods().Sign(&keyRecord, digest.data(), 36, &output, &length),
              wallet::kOk);
    EXPECT_EQ(length, 256u);
    signature.resize(length);
    EXPECT_EQ(signature, fixtures::bytes("digest36.sig"));
    EXPECT_TRUE(host.traced("nztwveSign: hash length 36 (expected 36)"));
    EXPECT_TRUE(host.traced("nztwveSign: hash (36 bytes)"));
    EXPECT_TRUE(host.traced("nztwveSign: signature length 256"));
}

TEST_F(LoggedIn, FailedSignLeavesTheLengthZeroAndSaysWhy) {
    const Bytes digest(35, 7);
    Bytes signature(512, 0);
    std::uint8_t* output = signature.data();
    std::uint32_t length = 0x1234;
    EXPECT_EQ(TracedHost::methods().Sign(&keyRecord, digest.data(), 35, &output, &length),
              wallet::ERR_ENTRUST);
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(
        host.traced("nztwveSign: Entrust function \"IKMPSignISAKMPData\" failed with "
                    "\"The data to sign does not have the length of a digest.\" (error "
                    "code -2009)."));
    EXPECT_TRUE(host.traced("nztwveSign: failed with error -2147418112"));
}

TEST_F(LoggedIn, KeyOperationsRefuseAMissingKey) {
    std::uint8_t byte = 0;
    std::uint8_t* output = &byte;
    std::uint32_t length = 0;
    void* noRecord = nullptr;
    for (wallet::Key key : {static_cast<wallet::Key>(nullptr), &noRecord}) {
        EXPECT_EQ(TracedHost::methods().Sign(key, &byte, 1, &output, &length),
                  wallet::ERR_NULL_KEY);
        EXPECT_EQ(TracedHost::methods().Decrypt(key, &byte, 1, &byte, &length),
                  wallet::ERR_NULL_KEY);
        EXPECT_EQ(TracedHost::methods().Validate(key, nullptr, nullptr), wallet::ERR_NULL_KEY);
    }
}

TEST_F(LoggedIn, KeyOperationsRefuseMissingBuffers) {
    std::uint8_t byte = 0;
    std::uint8_t* output = &byte;
    std::uint32_t length = 7;
    EXPECT_EQ(TracedHost::methods().Sign(&keyRecord, nullptr, 36, &output, &length),
              wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(TracedHost::methods().Sign(&keyRecord, &byte, 1, nullptr, &length),
              wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(TracedHost::methods().Sign(&keyRecord, &byte, 1, &output, nullptr),
              wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(TracedHost::methods().Decrypt(&keyRecord, &byte, 1, nullptr, &length),
              wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(TracedHost::methods().Decrypt(&keyRecord, &byte, 1, &byte, nullptr),
              wallet::ERR_BAD_ARGUMENT);
    EXPECT_EQ(length, 7u);
}

TEST_F(Kmpwallet, HostWithoutContextLogsInWithoutParametersOrTrace) {
    wallet::HostContext* noContext = nullptr;
    std::string locator = goodLocator();
    char empty[] = "";
    EXPECT_EQ(TracedHost::methods().Login(&noContext, static_cast<std::uint32_t>(locator.size()),
                                          locator.data(), 0, empty, &wallet),
              wallet::ERR_LOGIN);
    EXPECT_EQ(wallet, nullptr);
    EXPECT_EQ(host.traceText(), "");
}

TEST_F(LoggedIn, DecryptsWhatOpenSslEncrypted) {
    const Bytes encrypted = fixtures::bytes("secret.enc");
    Bytes output(256, 0);
    std::uint32_t length = 0;
    ASSERT_EQ(TracedHost::methods().Decrypt(&keyRecord, encrypted.data(),
                                            static_cast<std::uint32_t>(encrypted.size()),
                                            output.data(), &length),
              wallet::kOk);
    output.resize(length);
    EXPECT_EQ(output, fixtures::bytes("secret.bin"));

    Bytes tampered = encrypted;
    tampered[3] ^= 1;
    EXPECT_EQ(TracedHost::methods().Decrypt(&keyRecord, tampered.data(),
                                            static_cast<std::uint32_t>(tampered.size()),
                                            output.data(), &length),
              wallet::ERR_ENTRUST);
    EXPECT_TRUE(host.traced("nztwveDecrypt: failed with error -2147418112"));
}

TEST_F(LoggedIn, ValidatesGoodExpiredAndForeignCertificates) {
    EXPECT_EQ(validate(fixtures::bytes("user.der")), wallet::kOk);
    EXPECT_EQ(validate(fixtures::bytes("expired.der")), wallet::ERR_ENTRUST);
    EXPECT_TRUE(
        host.traced("nztwveValidate: Entrust function \"IKMPValidateCertificate\" failed "
                    "with \"The certificate is not within its validity period.\" (error "
                    "code -2013)."));
    EXPECT_EQ(validate(fixtures::bytes("foreign.der")), wallet::ERR_ENTRUST);
    EXPECT_TRUE(
        host.traced("nztwveValidate: Entrust function \"IKMPValidateCertificate\" failed "
                    "with \"The certificate is not issued by a trusted certificate.\" "
                    "(error code -2012)."));
}

TEST_F(LoggedIn, EmptyCertificateIsLoadedFromTheFirstOneByteBlock) {
    EXPECT_EQ(validate({}), wallet::ERR_ENTRUST);
    EXPECT_TRUE(
        host.traced("nztwveValidate: Entrust function \"IKMPLoadCertificate\" failed "
                    "with \"The data is not a certificate.\" (error code -2011)."));
}

TEST_F(LoggedIn, ValidateOfANullRecordFailsInTheCopy) {
    wallet::ValidationContext context{};
    wallet::CertificateRecord* none = nullptr;
    EXPECT_EQ(TracedHost::methods().Validate(&keyRecord, &context, &none), wallet::ERR_NULL_INPUT);
    EXPECT_TRUE(host.traced("nztwveValidate: failed with error -2130640895"));
}

}  // namespace
