#include "wallet/entrust/nztwve_trace.h"

#include "interfaces/vlxrt/host_runtime.h"

namespace kmpwallet {

namespace {

constexpr char kEntry[] = "entry\n";
constexpr char kExit[] = "exit\n";

// Bits of the host's flags word that say where the diagnostic context is.
constexpr std::uint32_t kHostKeyedContext = 1;
constexpr std::uint32_t kHostDirectContext = 2;

constexpr std::uint64_t kMaskError = 2;
constexpr std::uint64_t kMaskTrace = 4;
constexpr std::uint64_t kMaskWide = 0x38;

}  // namespace

OperationTrace::OperationTrace(wallet::HostContext* host, const char* traceName,
                               const char* sourceFile, std::source_location where)
    : traceName_(traceName), sourceFile_(sourceFile) {
    if (host == nullptr || host->traceContext == nullptr) return;
    trace_ = static_cast<hostrt::TraceContext*>(host->traceContext);
    if ((trace_->flags & hostrt::kTraceWantsDiagnostics) != 0) {
        diagnostics_ = findDiagnosticContext(*host);
    }
    message(kLevelEntryExit, TraceFormat(kEntry, where));
}

OperationTrace::~OperationTrace() { message(kLevelEntryExit, TraceFormat(kExit)); }

hostrt::DiagnosticContext* OperationTrace::findDiagnosticContext(wallet::HostContext& host) const {
    void* const word = host.diagnosticContext;
    if ((host.flags & kHostDirectContext) != 0 || (host.flags & kHostKeyedContext) == 0) {
        return static_cast<hostrt::DiagnosticContext*>(word);
    }
    if (word == nullptr) return nullptr;
    void* context = nullptr;
    sltskyg(host.keyContext, word, &context);
    if (context == nullptr && nldddiagctxinit(&host, trace_->settings) == 0) {
        sltskyg(host.keyContext, word, &context);
    }
    return static_cast<hostrt::DiagnosticContext*>(context);
}

bool OperationTrace::throughDiagnostics() const {
    return (trace_->flags & hostrt::kTraceThroughDiagnostics) != 0;
}

bool OperationTrace::classicWrites(std::uint32_t level) const {
    return (trace_->flags & hostrt::kTraceClassicOn) != 0 && trace_->level >= level;
}

std::optional<hostrt::DiagnosticWriteHeader> OperationTrace::diagnosticHeader(
    std::uint32_t level, std::uint32_t line) const {
    const hostrt::DiagnosticSettings* settings = trace_->settings;
    std::uint64_t mask = settings != nullptr && settings->level >= level ? kMaskTrace : 0;
    if (level == kLevelError) mask |= kMaskError;
    if (settings != nullptr && (settings->flags & hostrt::kSettingsWideMask) != 0) {
        mask |= kMaskWide;
    }
    hostrt::DiagnosticContext* const context = diagnostics_;
    const auto usable = [&] {
        return context != nullptr && (context->enabled != 0 || (mask & kMaskTrace) != 0);
    };
    if (usable() && context->events != nullptr &&
        (context->events->flags & hostrt::kEventsArmed) != 0 &&
        (context->events->kinds & hostrt::kTraceEventsPresent) != 0) {
        void* event = nullptr;
        if (dbgdChkEventInt(context, context->events, hostrt::kTraceFacility, hostrt::kTraceEvent,
                            0, &event) != 0) {
            mask = dbgtCtrl_intEvalCtrlEvent(context, hostrt::kTraceEvent, level, mask, 0, event);
        }
    }
    if ((mask & (kMaskError | kMaskTrace)) == 0 || !usable()) return std::nullopt;
    const auto low = static_cast<std::uint32_t>(mask);
    const auto high = static_cast<std::uint32_t>(mask >> 32);
    if ((high & hostrt::kMaskFiltered) != 0 &&
        dbgtCtrl_intEvalTraceFilters(context, hostrt::kTraceEvent, 0, level, mask, high, 1,
                                     traceName_, sourceFile_, line) == 0) {
        return std::nullopt;
    }
    return hostrt::DiagnosticWriteHeader{context, hostrt::kTraceEvent, 0, level, low, high, 1};
}

void OperationTrace::dump(std::uint32_t level, const char* title, const void* data,
                          std::uint32_t length, std::source_location where) {
    if (trace_ == nullptr) return;
    if (throughDiagnostics()) {
        if (const auto header = diagnosticHeader(level, where.line())) {
            nlddpacketdump(*header, traceName_, title, data, length);
        }
    } else if (classicWrites(level)) {
        nldthdump(trace_, traceName_, title, data, length);
    }
}

}  // namespace kmpwallet
