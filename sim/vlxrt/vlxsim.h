#pragma once
// Exports of the vlxcore11 stand-in that exist for the host stand-in and the
// tests only: they set up and inspect what the plug-ins reach through the
// run-time's real services (host_runtime.h).

#include "interfaces/vlxrt/host_runtime.h"

extern "C" {

struct VlxsimMemoryCounters {
    unsigned allocated;  // blocks ss_mem_cal handed out
    unsigned released;   // blocks ss_mem_fre took back
    unsigned foreign;    // ss_mem_fre calls with a block the host never handed out
    unsigned refused;    // ss_mem_cal calls made to fail by vlxsim_fail_allocation
};

VLXCORE11_API void vlxsim_memory_counters(VlxsimMemoryCounters* counters);

// Makes the n-th ss_mem_cal call from now fail, once; 0 takes that back.
VLXCORE11_API void vlxsim_fail_allocation(unsigned n);

// Stores `value` under `key` in `keyContext`, for sltskyg to find.
VLXCORE11_API void vlxsim_set_key(void* keyContext, void* key, void* value);

// How many times sltrusleep ran, and the last pause it was asked for.
VLXCORE11_API unsigned vlxsim_sleep_count(unsigned* lastMicroseconds);
}
