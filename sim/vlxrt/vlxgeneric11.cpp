// Stand-in for the host run-time's diagnostic framework: armed events and
// the trace filter of a diagnostic context.

#include <algorithm>
#include <cstring>
#include <iterator>

#include "sim/vlxrt/host_records.h"

extern "C" {

VLXGENERIC11_API int dbgdChkEventInt(hostrt::DiagnosticContext*, hostrt::EventTable* table,
                                     std::uint32_t facility, std::uint32_t event, std::uint32_t,
                                     void** found) {
    auto* events = reinterpret_cast<vlxsim::EventTable*>(table);
    if (events == nullptr || found == nullptr || (events->flags & hostrt::kEventsArmed) == 0) {
        return 0;
    }
    const std::uint32_t count = std::min<std::uint32_t>(events->count, std::size(events->events));
    for (std::uint32_t i = 0; i < count; ++i) {
        if (events->events[i].facility == facility && events->events[i].id == event) {
            *found = &events->events[i];
            return 1;
        }
    }
    return 0;
}

VLXGENERIC11_API std::uint64_t dbgtCtrl_intEvalCtrlEvent(hostrt::DiagnosticContext*,
                                                         std::uint32_t event, std::uint32_t level,
                                                         std::uint64_t mask, std::uint32_t,
                                                         void* found) {
    const auto* armed = static_cast<const vlxsim::Event*>(found);
    if (armed == nullptr || armed->id != event) return mask;
    return level <= armed->level ? mask | armed->mask : mask & ~std::uint64_t{4};
}

VLXGENERIC11_API int dbgtCtrl_intEvalTraceFilters(hostrt::DiagnosticContext* context, std::uint32_t,
                                                  std::uint32_t, std::uint32_t, std::uint64_t,
                                                  std::uint32_t, std::uint32_t, const char*,
                                                  const char* sourceFile, std::uint32_t) {
    const auto* diagnostics = reinterpret_cast<const vlxsim::DiagnosticContext*>(context);
    if (diagnostics == nullptr || sourceFile == nullptr) return 0;
    return diagnostics->sourceFilter[0] == '\0' ||
           _stricmp(diagnostics->sourceFilter, sourceFile) == 0;
}
}
