#pragma once
// The host stand-in's own view of the records behind its trace, parameter and
// diagnostic services: the fields the plug-ins read sit where the plug-ins
// expect them (checked against their view below), the host's own fields fill
// the rest. Shared by wallethost, vlxnl11, vlxgeneric11 and the tests.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "interfaces/vlxrt/host_services.h"

namespace vlxsim {

// Where the host keeps the pointer to its error stack in its global context.
constexpr std::size_t kErrorStackOffset = 48;

struct TraceContext {
    HANDLE sink;  // the trace file, opened for appending
    std::uint8_t level;
    std::uint8_t flags;
    std::uint8_t unused6[18];
    hostrt::DiagnosticSettings* settings;
};

// An armed event: messages up to `level` get `mask` added; others lose 4.
struct Event {
    std::uint32_t facility;
    std::uint32_t id;
    std::uint32_t level;
    std::uint64_t mask;
};

struct EventTable {
    std::uint32_t flags;
    std::uint32_t count;
    std::uint32_t kinds;
    Event events[4];
};

struct DiagnosticContext {
    HANDLE sink;
    EventTable* events;
    std::uint32_t unused8;
    std::uint32_t enabled;
    char sourceFilter[32];  // when set, filtered messages must come from this source file
};

struct ErrorStack {
    std::uint32_t codes[8];
    std::uint8_t unused32[5];
    std::uint8_t depth;
};

struct ParameterContext {
    wchar_t path[MAX_PATH];  // the parameter file; empty when the host has none
    char value[1024];        // the last value handed out
};

constexpr std::uint8_t kMaxErrorDepth = 5;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(TraceContext, level) == offsetof(hostrt::TraceContext, level));
static_assert(offsetof(TraceContext, flags) == offsetof(hostrt::TraceContext, flags));
static_assert(offsetof(TraceContext, settings) == offsetof(hostrt::TraceContext, settings));
static_assert(offsetof(EventTable, kinds) == offsetof(hostrt::EventTable, kinds));
static_assert(offsetof(DiagnosticContext, events) == offsetof(hostrt::DiagnosticContext, events));
static_assert(offsetof(DiagnosticContext, enabled) == offsetof(hostrt::DiagnosticContext, enabled));
static_assert(offsetof(ErrorStack, depth) == offsetof(hostrt::ErrorStack, depth));
#endif

}  // namespace vlxsim
