#include "wallet/common/wallet_memory.h"

#include <cstdlib>

#include "interfaces/vlxrt/host_runtime.h"

namespace wallet {

void* allocateBlock(std::size_t size) {
    return sscoreserverflag != 0 ? ss_mem_cal(1, size) : std::calloc(1, size);
}

void releaseBlock(void* block) {
    if (block == nullptr) return;
    if (sscoreserverflag != 0) {
        ss_mem_fre(block);
    } else {
        std::free(block);
    }
}

}  // namespace wallet
