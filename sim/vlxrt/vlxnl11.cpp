// Stand-in for the host run-time's network library: the error stack, the
// parameter reader over the host's parameter file, and the classic and
// diagnostic trace writers, which append lines to the host's trace file.

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <list>
#include <mutex>
#include <string>

#include "sim/vlxrt/host_records.h"
#include "sim/vlxrt/trace_text.h"
#include "sim/vlxrt/vlxsim.h"
#include "support/unique_handle.h"
#include "wallet/common/wallet_contract.h"

namespace {

constexpr int kParameterBadArgument = 405;
constexpr int kParameterFileUnreadable = 406;

// One WriteFile per line: the file is opened for appending, so lines of
// several writers never interleave.
void writeLine(HANDLE sink, const std::string& line) {
    if (sink == nullptr || sink == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(sink, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void pushError(hostrt::ErrorStack* errors, int code) {
    auto* stack = reinterpret_cast<vlxsim::ErrorStack*>(errors);
    if (stack == nullptr) return;
    if (stack->depth < vlxsim::kMaxErrorDepth) ++stack->depth;
    stack->codes[stack->depth - 1] = static_cast<std::uint32_t>(code);
}

bool readText(const wchar_t* path, std::string& text) {
    support::KernelHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    text.assign(GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    return ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) &&
           read == text.size();
}

HANDLE diagnosticSink(const hostrt::DiagnosticWriteHeader& header) {
    const auto* context = reinterpret_cast<const vlxsim::DiagnosticContext*>(header.context);
    return context == nullptr ? nullptr : context->sink;
}

std::uint64_t maskOf(const hostrt::DiagnosticWriteHeader& header) {
    return (static_cast<std::uint64_t>(header.maskHigh) << 32) | header.maskLow;
}

// Diagnostic contexts made on request live as long as the process.
struct MadeContext {
    vlxsim::EventTable events{};
    vlxsim::DiagnosticContext context{};
};

struct MadeContexts {
    std::mutex lock;
    std::list<MadeContext> contexts;
};

MadeContexts& madeContexts() {
    static MadeContexts made;
    return made;
}

}  // namespace

extern "C" {

VLXNL11_API hostrt::ErrorStack* nlepeget(void* hostContext) {
    if (hostContext == nullptr) return nullptr;
    hostrt::ErrorStack* errors = nullptr;
    std::memcpy(&errors, static_cast<char*>(hostContext) + vlxsim::kErrorStackOffset,
                sizeof errors);
    return errors;
}

VLXNL11_API int nlpagsp(hostrt::ErrorStack* errors, void* parameterContext, const char* name,
                        std::uint32_t nameLength, int occurrence, char** value,
                        std::uint32_t* valueLength) {
    auto* parameters = static_cast<vlxsim::ParameterContext*>(parameterContext);
    if (parameters == nullptr || name == nullptr || value == nullptr || valueLength == nullptr) {
        pushError(errors, kParameterBadArgument);
        return kParameterBadArgument;
    }
    // A host without a parameter file has no parameters set.
    std::string text;
    if (parameters->path[0] != L'\0' && !readText(parameters->path, text)) {
        pushError(errors, kParameterFileUnreadable);
        return kParameterFileUnreadable;
    }
    const auto found = vlxsim::parameterValue(text, std::string_view(name, nameLength), occurrence);
    if (!found) {
        pushError(errors, hostrt::kParameterAbsent);
        return hostrt::kParameterAbsent;
    }
    const std::size_t length = std::min(found->size(), sizeof parameters->value - 1);
    std::memcpy(parameters->value, found->data(), length);
    parameters->value[length] = '\0';
    *value = parameters->value;
    *valueLength = static_cast<std::uint32_t>(length);
    return 0;
}

VLXNL11_API void nldtwrite(hostrt::TraceContext* trace, const char* traceName, const char* format,
                           ...) {
    const auto* context = reinterpret_cast<const vlxsim::TraceContext*>(trace);
    if (context == nullptr) return;
    va_list arguments;
    va_start(arguments, format);
    const std::string message = vlxsim::formatText(format, arguments);
    va_end(arguments);
    writeLine(context->sink, vlxsim::classicLine(traceName, message));
}

VLXNL11_API void nldthdump(hostrt::TraceContext* trace, const char* traceName, const char* title,
                           const void* data, std::uint32_t length) {
    const auto* context = reinterpret_cast<const vlxsim::TraceContext*>(trace);
    if (context == nullptr) return;
    vlxsim::hexDump(title, static_cast<const std::uint8_t*>(data), length,
                    [&](const std::string& line) {
                        writeLine(context->sink, vlxsim::classicLine(traceName, line));
                    });
}

VLXNL11_API void nlddwrite(hostrt::DiagnosticWriteHeader header, const char* traceName,
                           const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string message = vlxsim::formatText(format, arguments);
    va_end(arguments);
    writeLine(diagnosticSink(header),
              vlxsim::diagnosticLine(header.level, maskOf(header), traceName, message));
}

VLXNL11_API void nlddpacketdump(hostrt::DiagnosticWriteHeader header, const char* traceName,
                                const char* title, const void* data, std::uint32_t length) {
    vlxsim::hexDump(
        title, static_cast<const std::uint8_t*>(data), length, [&](const std::string& line) {
            writeLine(diagnosticSink(header),
                      vlxsim::diagnosticLine(header.level, maskOf(header), traceName, line));
        });
}

// The new context writes where the host's classic trace goes, and arms the
// trace event up to the settings' level.
VLXNL11_API int nldddiagctxinit(void* hostContext, hostrt::DiagnosticSettings* settings) {
    auto* host = static_cast<wallet::HostContext*>(hostContext);
    if (host == nullptr || host->diagnosticContext == nullptr || host->traceContext == nullptr) {
        return 1;
    }
    MadeContexts& made = madeContexts();
    std::lock_guard<std::mutex> guard(made.lock);
    MadeContext& fresh = made.contexts.emplace_back();
    fresh.events.flags = hostrt::kEventsArmed;
    fresh.events.kinds = hostrt::kTraceEventsPresent;
    fresh.events.count = 1;
    fresh.events.events[0] = {hostrt::kTraceFacility, hostrt::kTraceEvent,
                              settings != nullptr ? settings->level : 0u, 4};
    fresh.context.sink = static_cast<vlxsim::TraceContext*>(host->traceContext)->sink;
    fresh.context.events = &fresh.events;
    fresh.context.enabled = 1;
    vlxsim_set_key(host->keyContext, host->diagnosticContext, &fresh.context);
    return 0;
}
}
