#pragma once
// The tracing every kmpwallet operation does through its host: "entry" and
// "exit" at level 6 and the operation's messages at their levels, written by
// the host's classic writer or through its diagnostic framework, as the host's
// trace context chooses. Nothing is written without a host or trace context.

#include <cstdint>
#include <optional>
#include <source_location>

#include "wallet/common/wallet_contract.h"
#include "interfaces/vlxrt/host_services.h"

namespace kmpwallet {

constexpr std::uint32_t kLevelError = 1;
constexpr std::uint32_t kLevelInfo = 4;
constexpr std::uint32_t kLevelEntryExit = 6;
constexpr std::uint32_t kLevelData = 15;

// A format text together with the place that traces it, for the diagnostic
// framework's filters.
struct TraceFormat {
    TraceFormat(const char* text, std::source_location where = std::source_location::current())
        : text(text), line(where.line()) {}
    const char* text;
    std::uint32_t line;
};

class OperationTrace {
public:
    // Finds the diagnostic context when the trace context asks for one, and
    // writes "entry".
    OperationTrace(wallet::HostContext* host, const char* traceName, const char* sourceFile,
                   std::source_location where = std::source_location::current());
    // Writes "exit".
    ~OperationTrace();
    OperationTrace(const OperationTrace&) = delete;
    OperationTrace& operator=(const OperationTrace&) = delete;

    template <typename... Args>
    void message(std::uint32_t level, TraceFormat format, Args... arguments) {
        if (trace_ == nullptr) return;
        if (throughDiagnostics()) {
            if (const auto header = diagnosticHeader(level, format.line)) {
                nlddwrite(*header, traceName_, format.text, arguments...);
            }
        } else if (classicWrites(level)) {
            nldtwrite(trace_, traceName_, format.text, arguments...);
        }
    }

    void dump(std::uint32_t level, const char* title, const void* data, std::uint32_t length,
              std::source_location where = std::source_location::current());

private:
    bool throughDiagnostics() const;
    bool classicWrites(std::uint32_t level) const;
    std::optional<hostrt::DiagnosticWriteHeader> diagnosticHeader(std::uint32_t level,
                                                                  std::uint32_t line) const;
    hostrt::DiagnosticContext* findDiagnosticContext(wallet::HostContext& host) const;

    hostrt::TraceContext* trace_ = nullptr;
    hostrt::DiagnosticContext* diagnostics_ = nullptr;
    const char* traceName_;
    const char* sourceFile_;
};

}  // namespace kmpwallet
