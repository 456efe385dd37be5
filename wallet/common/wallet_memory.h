#pragma once
// The memory rule of the plug-ins: every block is zero-filled and comes from
// the host's allocator when the host runs as a server, else from the C
// run-time. A block is released by the same test, made at release time, so
// blocks handed to the host can be released by the host with the same rule.

#include <cstddef>
#include <memory>

namespace wallet {

void* allocateBlock(std::size_t size);
void releaseBlock(void* block);

template <typename T>
T* allocateRecord() {
    return static_cast<T*>(allocateBlock(sizeof(T)));
}

struct BlockReleaser {
    void operator()(void* block) const noexcept { releaseBlock(block); }
};

// A block owned until it is handed on with release().
template <typename T>
using OwnedBlock = std::unique_ptr<T, BlockReleaser>;

}  // namespace wallet
