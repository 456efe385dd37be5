#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "sim/vlxrt/vlxsim.h"

namespace {

VlxsimMemoryCounters counters() {
    VlxsimMemoryCounters now{};
    vlxsim_memory_counters(&now);
    return now;
}

TEST(Vlxcore11Test, AllocatorHandsOutZeroedBlocksAndCountsThem) {
    const VlxsimMemoryCounters before = counters();
    auto* block = static_cast<std::uint8_t*>(ss_mem_cal(4, 25));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0) << i;
    ss_mem_fre(block);
    ss_mem_fre(nullptr);
    const VlxsimMemoryCounters after = counters();
    EXPECT_EQ(after.allocated - before.allocated, 1u);
    EXPECT_EQ(after.released - before.released, 1u);
    EXPECT_EQ(after.foreign, before.foreign);
}

TEST(Vlxcore11Test, RefusesOverflowingRequestsAndSeesForeignBlocks) {
    EXPECT_EQ(ss_mem_cal(0x10000, 0x10001), nullptr);

    const VlxsimMemoryCounters before = counters();
    void* foreign = std::calloc(1, 16);
    ss_mem_fre(foreign);  // not the host's: counted and left alone
    std::free(foreign);
    const VlxsimMemoryCounters after = counters();
    EXPECT_EQ(after.foreign - before.foreign, 1u);
    EXPECT_EQ(after.released, before.released);
}

TEST(Vlxcore11Test, FailsTheChosenAllocationOnce) {
    const VlxsimMemoryCounters before = counters();
    vlxsim_fail_allocation(2);
    void* first = ss_mem_cal(1, 8);
    void* second = ss_mem_cal(1, 8);
    void* third = ss_mem_cal(1, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    ss_mem_fre(first);
    ss_mem_fre(third);
    vlxsim_fail_allocation(1);
    vlxsim_fail_allocation(0);
    void* kept = ss_mem_cal(1, 8);
    EXPECT_NE(kept, nullptr);
    ss_mem_fre(kept);
    const VlxsimMemoryCounters after = counters();
    EXPECT_EQ(after.refused - before.refused, 1u);
    EXPECT_EQ(after.allocated - before.allocated, 3u);
}

TEST(Vlxcore11Test, KeyContextFindsWhatWasStoredUnderBothKeys) {
    int contextA = 0, contextB = 0, key = 0, value = 0;
    vlxsim_set_key(&contextA, &key, &value);
    void* found = &found;
    EXPECT_EQ(sltskyg(&contextA, &key, &found), 0);
    EXPECT_EQ(found, &value);
    EXPECT_EQ(sltskyg(&contextB, &key, &found), 0);
    EXPECT_EQ(found, nullptr);
    EXPECT_NE(sltskyg(&contextA, &key, nullptr), 0);
}

TEST(Vlxcore11Test, PauseClearsTheStatusAndIsCounted) {
    unsigned last = 0;
    const unsigned before = vlxsim_sleep_count(nullptr);
    unsigned status = 77;
    sltrusleep(&status, 10000, 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(vlxsim_sleep_count(&last), before + 1);
    EXPECT_EQ(last, 10000u);
}

}  // namespace
