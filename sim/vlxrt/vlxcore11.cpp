// Stand-in for the host run-time's core library: the server flag, the host's
// allocator, the key context lookup and the pause. The allocator is a heap of
// its own so a block released through the wrong allocator is seen, not hidden;
// a test can make one allocation of its choice fail.

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "sim/vlxrt/vlxsim.h"

namespace {

HANDLE hostHeap() {
    static const HANDLE heap = HeapCreate(0, 0, 0);
    return heap;
}

std::atomic<unsigned> allocatedBlocks{0};
std::atomic<unsigned> releasedBlocks{0};
std::atomic<unsigned> foreignBlocks{0};
std::atomic<unsigned> refusedBlocks{0};
std::atomic<unsigned> allocationsUntilRefusal{0};
std::atomic<unsigned> sleeps{0};
std::atomic<unsigned> lastSleep{0};

struct KeyStore {
    std::mutex lock;
    std::map<std::pair<void*, void*>, void*> values;
};

KeyStore& keyStore() {
    static KeyStore store;
    return store;
}

// Counts an allocation down to the one vlxsim_fail_allocation asked to fail.
bool refuseThisAllocation() {
    unsigned left = allocationsUntilRefusal.load();
    while (left != 0 && !allocationsUntilRefusal.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

}  // namespace

extern "C" {

VLXCORE11_API int sscoreserverflag = 0;

VLXCORE11_API void* ss_mem_cal(std::size_t count, std::size_t size) {
    if (size != 0 && count > static_cast<std::size_t>(-1) / size) return nullptr;
    if (refuseThisAllocation()) {
        ++refusedBlocks;
        return nullptr;
    }
    void* block = HeapAlloc(hostHeap(), HEAP_ZERO_MEMORY, count * size);
    if (block != nullptr) ++allocatedBlocks;
    return block;
}

VLXCORE11_API void ss_mem_fre(void* block) {
    if (block == nullptr) return;
    if (!HeapValidate(hostHeap(), 0, block)) {
        ++foreignBlocks;
        return;
    }
    HeapFree(hostHeap(), 0, block);
    ++releasedBlocks;
}

VLXCORE11_API int sltskyg(void* keyContext, void* key, void** value) {
    if (value == nullptr) return -1;
    KeyStore& store = keyStore();
    std::lock_guard<std::mutex> guard(store.lock);
    const auto found = store.values.find({keyContext, key});
    *value = found == store.values.end() ? nullptr : found->second;
    return 0;
}

VLXCORE11_API void sltrusleep(unsigned* status, unsigned microseconds, unsigned) {
    ++sleeps;
    lastSleep = microseconds;
    Sleep((microseconds + 999) / 1000);
    if (status != nullptr) *status = 0;
}

VLXCORE11_API void vlxsim_memory_counters(VlxsimMemoryCounters* counters) {
    counters->allocated = allocatedBlocks;
    counters->released = releasedBlocks;
    counters->foreign = foreignBlocks;
    counters->refused = refusedBlocks;
}

VLXCORE11_API void vlxsim_fail_allocation(unsigned n) { allocationsUntilRefusal = n; }

VLXCORE11_API void vlxsim_set_key(void* keyContext, void* key, void* value) {
    KeyStore& store = keyStore();
    std::lock_guard<std::mutex> guard(store.lock);
    store.values[{keyContext, key}] = value;
}

VLXCORE11_API unsigned vlxsim_sleep_count(unsigned* lastMicroseconds) {
    if (lastMicroseconds != nullptr) *lastMicroseconds = lastSleep;
    return sleeps;
}
}
