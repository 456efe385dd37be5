// The contract as a host sees it: the memory rule, the certificate copy, and
// certwallet.dll's table answering arguments it must refuse. Store contents
// play no part here; those are driven through wallethost.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/vlxrt/vlxsim.h"
#include "support/unique_handle.h"
#include "wallet/common/certificate_copy.h"
#include "wallet/common/wallet_memory.h"

namespace wallet {
namespace {

VlxsimMemoryCounters hostCounters() {
    VlxsimMemoryCounters counters{};
    vlxsim_memory_counters(&counters);
    return counters;
}

// Sets the server flag for one test and puts it back.
class ServerFlag {
public:
    explicit ServerFlag(int value) : saved_(sscoreserverflag) { sscoreserverflag = value; }
    ~ServerFlag() { sscoreserverflag = saved_; }

private:
    int saved_;
};

TEST(MemoryRuleTest, FlagChoosesTheAllocatorAndBlocksAreZeroed) {
    for (int flag : {0, 1}) {
        ServerFlag server(flag);
        const VlxsimMemoryCounters before = hostCounters();
        auto* block = static_cast<std::uint8_t*>(allocateBlock(64));
        ASSERT_NE(block, nullptr);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0);
        releaseBlock(block);
        const VlxsimMemoryCounters after = hostCounters();
        EXPECT_EQ(after.allocated - before.allocated, flag ? 1u : 0u) << flag;
        EXPECT_EQ(after.released - before.released, flag ? 1u : 0u) << flag;
        EXPECT_EQ(after.foreign, before.foreign);
    }
}

// Which allocator releases a block is decided when it is released: a block
// from the C run-time released while the flag is on goes to the host's
// allocator, which refuses it as foreign.
TEST(MemoryRuleTest, TheFlagIsReadAtReleaseTime) {
    void* block = nullptr;
    {
        ServerFlag client(0);
        block = allocateBlock(16);
    }
    const VlxsimMemoryCounters before = hostCounters();
    {
        ServerFlag server(1);
        releaseBlock(block);
    }
    EXPECT_EQ(hostCounters().foreign - before.foreign, 1u);
    std::free(block);
}

struct HostCertificate {
    explicit HostCertificate(std::vector<std::uint8_t> bytes) : der(std::move(bytes)) {
        record.length = static_cast<std::uint32_t>(der.size());
        record.der = der.data();
    }
    std::vector<std::uint8_t> der;
    CertificateRecord record{};
    CertificateRecord* pointer = &record;
    ValidationContext context{};
};

TEST(CertificateCopyTest, SecondPassGetsABlockOfTheCertificatesLength) {
    HostCertificate certificate({0x30, 0x03, 0x02, 0x01, 0x07});
    CopiedCertificate copy;
    ASSERT_EQ(copyCertificateTwoPass(&certificate.context, &certificate.pointer, copy), kOk);
    EXPECT_EQ(copy.capacity, 5u);
    EXPECT_EQ(copy.length, 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(copy.bytes.get(), copy.bytes.get() + 5), certificate.der);
}

TEST(CertificateCopyTest, ShortCertificatesFitTheFirstBlockAndOnlyLow16BitsCount) {
    HostCertificate one({0x42});
    CopiedCertificate copy;
    ASSERT_EQ(copyCertificateTwoPass(&one.context, &one.pointer, copy), kOk);
    EXPECT_EQ(copy.capacity, 1u);
    EXPECT_EQ(copy.bytes.get()[0], 0x42);

    HostCertificate wide({1, 2, 3});
    wide.record.length = 0x30003;
    ASSERT_EQ(copyCertificateTwoPass(&wide.context, &wide.pointer, copy), kOk);
    EXPECT_EQ(copy.length, 3u);

    std::uint32_t capacity = 1;
    std::uint8_t byte = 0;
    EXPECT_EQ(copyCertificate(&wide.context, &wide.pointer, &byte, &capacity),
              ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(capacity, 3u);
}

TEST(CertificateCopyTest, MissingPiecesAreNullInput) {
    HostCertificate certificate({1, 2, 3});
    CopiedCertificate copy;
    CertificateRecord* none = nullptr;
    EXPECT_EQ(copyCertificateTwoPass(nullptr, &certificate.pointer, copy), ERR_NULL_INPUT);
    EXPECT_EQ(copyCertificateTwoPass(&certificate.context, nullptr, copy), ERR_NULL_INPUT);
    EXPECT_EQ(copyCertificateTwoPass(&certificate.context, &none, copy), ERR_NULL_INPUT);
    EXPECT_FALSE(copy.bytes);
    certificate.record.der = nullptr;  // a length without bytes
    EXPECT_EQ(copyCertificateTwoPass(&certificate.context, &certificate.pointer, copy),
              ERR_NULL_INPUT);
}

// certwallet.dll loaded as the host loads it.
class CertwalletTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugin_.reset(LoadLibraryW(L"certwallet.dll"));
        ASSERT_TRUE(plugin_) << GetLastError();
        registration_ = reinterpret_cast<RegistrationFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(plugin_.get(), "nzmcs")));
        ASSERT_NE(registration_, nullptr);
        ASSERT_EQ(registration_(&record_), kOk);
        table_ = record_.methods;
        ASSERT_NE(table_, nullptr);
    }

    Host host() { return &contextPointer_; }

    support::ModuleHandle plugin_;
    RegistrationFunction registration_ = nullptr;
    RegistrationRecord record_{};
    const WalletMethodTable* table_ = nullptr;
    HostContext context_{};
    HostContext* contextPointer_ = &context_;
};

TEST_F(CertwalletTest, RegistrationFillsOnlyTheTablePointer) {
    EXPECT_EQ(registration_(nullptr), ERR_BAD_ARGUMENT);
    RegistrationRecord record;
    std::memset(&record, 0xAB, sizeof record);
    ASSERT_EQ(registration_(&record), kOk);
    EXPECT_EQ(record.methods, table_);
    for (std::uint8_t byte : record.hostOwned) ASSERT_EQ(byte, 0xAB);
    EXPECT_EQ(table_->GetCertInfo, nullptr);
    EXPECT_EQ(table_->Reserved3(), ERR_UNSUPPORTED);
    EXPECT_EQ(table_->Reserved8(), kOk);
    EXPECT_EQ(table_->Init(nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Init(host()), kOk);
}

TEST_F(CertwalletTest, NullArgumentsAreRefusedBeforeAnythingIsTouched) {
    void* wallet = &wallet;  // never opened: every call below must stop first
    std::uint32_t count = 7;
    EXPECT_EQ(table_->Login(nullptr, 0, nullptr, 0, nullptr, &wallet), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Login(host(), 0, nullptr, 0, nullptr, nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Logout(host(), nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Logout(nullptr, wallet), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->GetKeyPairCount(nullptr, wallet, &count), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->GetTrustpointCount(host(), nullptr, &count), ERR_BAD_ARGUMENT);
    EXPECT_EQ(count, 7u);

    std::uint8_t data[36] = {};
    std::uint8_t output[256] = {};
    std::uint8_t* outputPointer = output;
    std::uint32_t length = sizeof output;
    void* noRecord = nullptr;
    EXPECT_EQ(table_->Sign(nullptr, data, 36, &outputPointer, &length), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Sign(&noRecord, data, 36, &outputPointer, &length), ERR_BAD_ARGUMENT);
    // A key record with no names reaches the default container: only the
    // missing buffer may stop it.
    std::uint32_t zeroedRecord[5] = {};
    void* someRecord = zeroedRecord;
    std::uint8_t* noBuffer = nullptr;
    EXPECT_EQ(table_->Sign(&someRecord, data, 36, &noBuffer, &length), ERR_BAD_ARGUMENT);
    EXPECT_EQ(length, sizeof output);
    EXPECT_EQ(table_->Decrypt(&noRecord, data, 36, output, &length), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Encrypt(nullptr, nullptr, data, 36, output, 256), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Verify(nullptr, nullptr, data, 36, output, 256), ERR_BAD_ARGUMENT);
    ValidationContext validation{};
    CertificateRecord* certificate = nullptr;
    EXPECT_EQ(table_->Validate(nullptr, &validation, &certificate), ERR_BAD_ARGUMENT);
    EXPECT_EQ(table_->Validate(&noRecord, nullptr, &certificate), ERR_BAD_ARGUMENT);
}

TEST_F(CertwalletTest, EncryptRefusesDataLongerThanTheOutput) {
    PeerRecord peer{};
    std::uint8_t data[65] = {};
    std::vector<std::uint8_t> output(64, 0xCC);
    EXPECT_EQ(table_->Encrypt(nullptr, &peer, data, 65, output.data(), 64), ERR_NO_MEMORY);
    EXPECT_EQ(output, std::vector<std::uint8_t>(64, 0xCC));
}

TEST_F(CertwalletTest, LogoutReleasesEverythingLoginTookFromTheHost) {
    ServerFlag server(1);
    const VlxsimMemoryCounters before = hostCounters();
    void* wallet = nullptr;
    ASSERT_EQ(table_->Login(host(), 0, nullptr, 0, nullptr, &wallet), kOk);
    ASSERT_NE(wallet, nullptr);
    EXPECT_GT(hostCounters().allocated, before.allocated);
    EXPECT_EQ(table_->Logout(host(), wallet), kOk);
    const VlxsimMemoryCounters after = hostCounters();
    EXPECT_EQ(after.allocated - before.allocated, after.released - before.released);
    EXPECT_EQ(after.foreign, before.foreign);
}

}  // namespace
}  // namespace wallet
