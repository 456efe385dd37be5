// Interface of the plug-in host's run-time libraries vlxnl11.dll and vlxgeneric11.dll.
#pragma once
// What kmpwallet reaches of its host beyond the wallet contract: the records
// behind the trace context, read at fixed byte offsets, and the parameter,
// trace and diagnostic services of the host's run-time libraries vlxnl11 and
// vlxgeneric11 (C names, C calling convention).

#include <cstddef>
#include <cstdint>

#ifdef VLXNL11_BUILD
#define VLXNL11_API __declspec(dllexport)
#else
#define VLXNL11_API __declspec(dllimport)
#endif

#ifdef VLXGENERIC11_BUILD
#define VLXGENERIC11_API __declspec(dllexport)
#else
#define VLXGENERIC11_API __declspec(dllimport)
#endif

namespace hostrt {

// Bits of TraceContext::flags.
constexpr std::uint8_t kTraceClassicOn = 0x01;
constexpr std::uint8_t kTraceWantsDiagnostics = 0x08 | 0x10;
constexpr std::uint8_t kTraceThroughDiagnostics = 0x40;

// Bit of DiagnosticSettings::flags that widens the event mask.
constexpr std::uint8_t kSettingsWideMask = 0x04;

struct DiagnosticSettings {
    std::uint8_t flags;
    std::uint8_t hostOwned1[579];
    std::uint8_t level;
};

struct TraceContext {
    std::uint8_t hostOwned0[4];
    std::uint8_t level;
    std::uint8_t flags;
    std::uint8_t hostOwned6[18];
    DiagnosticSettings* settings;
};

constexpr std::uint32_t kEventsArmed = 8;         // EventTable::flags
constexpr std::uint32_t kTraceEventsPresent = 1;  // EventTable::kinds

struct EventTable {
    std::uint32_t flags;
    std::uint32_t hostOwned4;
    std::uint32_t kinds;
};

struct DiagnosticContext {
    std::uint8_t hostOwned0[4];
    EventTable* events;
    std::uint8_t hostOwned8[4];
    std::uint32_t enabled;
};

// The error stack the parameter reader reports to; `depth` counts its entries.
struct ErrorStack {
    std::uint8_t hostOwned0[37];
    std::uint8_t depth;
};

// What the diagnostic writers receive by value ahead of the trace name.
struct DiagnosticWriteHeader {
    DiagnosticContext* context;
    std::uint32_t event;
    std::uint32_t reserved;
    std::uint32_t level;
    std::uint32_t maskLow;
    std::uint32_t maskHigh;
    std::uint32_t one;
};

constexpr std::uint32_t kTraceFacility = 0x1160001;
constexpr std::uint32_t kTraceEvent = 0x8050003;
constexpr std::uint32_t kMaskFiltered = 0x40000000;  // high word: trace filters decide

// nlpagsp's answer for a parameter that is not set.
constexpr int kParameterAbsent = 408;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(DiagnosticSettings, level) == 580);
static_assert(offsetof(TraceContext, level) == 4);
static_assert(offsetof(TraceContext, flags) == 5);
static_assert(offsetof(TraceContext, settings) == 24);
static_assert(offsetof(EventTable, kinds) == 8);
static_assert(offsetof(DiagnosticContext, events) == 4);
static_assert(offsetof(DiagnosticContext, enabled) == 12);
static_assert(offsetof(ErrorStack, depth) == 37);
#endif

}  // namespace hostrt

extern "C" {

// The host's error stack, from its global context.
VLXNL11_API hostrt::ErrorStack* nlepeget(void* hostContext);

// Looks up parameter `name` (`nameLength` bytes) in the host's parameter
// context; `occurrence` 1 asks for the first value. 0 with the value's text
// and length, kParameterAbsent (with an entry left on the error stack) when
// it is not set, another code when the parameters cannot be read.
VLXNL11_API int nlpagsp(hostrt::ErrorStack* errors, void* parameterContext, const char* name,
                        std::uint32_t nameLength, int occurrence, char** value,
                        std::uint32_t* valueLength);

// Classic trace writers: one formatted message, or a titled hex dump.
VLXNL11_API void nldtwrite(hostrt::TraceContext* trace, const char* traceName, const char* format,
                           ...);
VLXNL11_API void nldthdump(hostrt::TraceContext* trace, const char* traceName, const char* title,
                           const void* data, std::uint32_t length);

// Diagnostic trace writers.
VLXNL11_API void nlddwrite(hostrt::DiagnosticWriteHeader header, const char* traceName,
                           const char* format, ...);
VLXNL11_API void nlddpacketdump(hostrt::DiagnosticWriteHeader header, const char* traceName,
                                const char* title, const void* data, std::uint32_t length);

// Creates the diagnostic context of the host and files it under the host's
// diagnostic key; 0 on success.
VLXNL11_API int nldddiagctxinit(void* hostContext, hostrt::DiagnosticSettings* settings);

// Non-zero when `event` of `facility` is armed in `table`; `found` receives it.
VLXGENERIC11_API int dbgdChkEventInt(hostrt::DiagnosticContext* context, hostrt::EventTable* table,
                                     std::uint32_t facility, std::uint32_t event,
                                     std::uint32_t reserved, void** found);

// The event mask an armed event gives a message of `level`.
VLXGENERIC11_API std::uint64_t dbgtCtrl_intEvalCtrlEvent(hostrt::DiagnosticContext* context,
                                                         std::uint32_t event, std::uint32_t level,
                                                         std::uint64_t mask, std::uint32_t reserved,
                                                         void* found);

// Non-zero when the context's trace filters let the message through.
VLXGENERIC11_API int dbgtCtrl_intEvalTraceFilters(hostrt::DiagnosticContext* context,
                                                  std::uint32_t event, std::uint32_t reserved,
                                                  std::uint32_t level, std::uint64_t mask,
                                                  std::uint32_t maskHigh, std::uint32_t one,
                                                  const char* traceName, const char* sourceFile,
                                                  std::uint32_t line);
}
