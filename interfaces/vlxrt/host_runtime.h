// Interface of the plug-in host's run-time library vlxcore11.dll.
#pragma once
// Services of the host's run-time library vlxcore11 that the plug-ins import.
// The host's library exports them with C names and the C calling convention.

#include <cstddef>

#ifdef VLXCORE11_BUILD
#define VLXCORE11_API __declspec(dllexport)
#else
#define VLXCORE11_API __declspec(dllimport)
#endif

extern "C" {

// Non-zero when the host runs as a server: blocks then come from its allocator.
VLXCORE11_API extern int sscoreserverflag;

// Zero-filled block of count * size bytes from the host's allocator; null on failure.
VLXCORE11_API void* ss_mem_cal(std::size_t count, std::size_t size);
VLXCORE11_API void ss_mem_fre(void* block);

// The value stored under `key` in the host's key context; 0 when found.
VLXCORE11_API int sltskyg(void* keyContext, void* key, void** value);

// Pauses the calling thread for `microseconds`; writes 0 to `status`.
VLXCORE11_API void sltrusleep(unsigned* status, unsigned microseconds, unsigned reserved);
}
