// kmpwallet over a key-management library that hands out blocks longer than
// 65535 bytes, and the lengths it gives IKMPLoadCertificate.

#include <gtest/gtest.h>

#include <vector>

#include "wallet/entrust/kmpwallet.h"
#include "wallet/entrust/tests/oversized_blocks.h"
#include "wallet/entrust/tests/traced_host.h"

extern "C" __declspec(dllimport) uint32_t oversized_last_load_length();

namespace {

using kmpwallet::LoginRecord;

const wallet::WalletMethodTable& methods() { return TracedHost::methods(); }

TEST(OversizedBlocks, SignCopiesAllAndReportsTheLow16BitsOfTheLength) {
    LoginRecord login{1, nullptr};
    std::vector<std::uint8_t> output(oversized::kSignatureLength, 0);
    std::uint16_t length = 0;
    const std::uint8_t digest[36] = {};
    ASSERT_EQ(nztwveSign(&login, digest, 36, output.data(), &length), wallet::kOk);
    EXPECT_EQ(length, oversized::kSignatureLength & 0xFFFF);
    EXPECT_EQ(output, oversized::block(oversized::kSignatureLength));
}

TEST(OversizedBlocks, DecryptCopiesAllAndReportsTheLow16BitsOfTheLength) {
    LoginRecord login{1, nullptr};
    void* key = &login;
    std::vector<std::uint8_t> output(oversized::kDecryptedLength, 0);
    std::uint32_t length = 0xFFFF0000;
    const std::uint8_t encrypted[256] = {};
    ASSERT_EQ(methods().Decrypt(&key, encrypted, 256, output.data(), &length), wallet::kOk);
    EXPECT_EQ(length, 0xFFFF0003u);  // only the 16-bit length is written
    EXPECT_EQ(output, oversized::block(oversized::kDecryptedLength));
}

TEST(OversizedBlocks, CertificatesOfLengthZeroAndOneLoadWithTheFirstBlocksCapacity) {
    LoginRecord login{1, nullptr};
    void* key = &login;
    const std::uint8_t der[2] = {0x30, 0x00};
    wallet::ValidationContext context{};
    for (std::uint32_t length : {0u, 1u, 2u}) {
        wallet::CertificateRecord record{};
        record.length = length;
        record.der = der;
        wallet::CertificateRecord* pointer = &record;
        ASSERT_EQ(methods().Validate(&key, &context, &pointer), wallet::kOk);
        EXPECT_EQ(oversized_last_load_length(), length < 2 ? 1u : length);
    }
}

}  // namespace
