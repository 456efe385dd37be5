#pragma once
// The blocks the oversized key-management library hands out.

#include <cstdint>
#include <vector>

namespace oversized {

constexpr std::uint32_t kSignatureLength = 70000;  // 70000 & 0xFFFF = 4464
constexpr std::uint32_t kDecryptedLength = 65536 + 3;

inline std::vector<std::uint8_t> block(std::uint32_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

}  // namespace oversized
