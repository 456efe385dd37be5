#pragma once
// A host for kmpwallet inside the test process: its global context with the
// trace, parameter, key and diagnostic records at the offsets the plug-in
// reads, the trace going to a file of its own that the test reads back.

#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/vlxrt/host_records.h"
#include "support/unique_handle.h"
#include "wallet/common/wallet_contract.h"
#include "wallet/entrust/kmpwallet.h"

class TracedHost {
public:
    TracedHost() {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"kmt", 0, tracePath_);
        GetTempFileNameW(folder, L"kmp", 0, parameters.path);
        sink_.reset(CreateFileW(tracePath_, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_ALWAYS, 0, nullptr));
        trace.sink = sink_.get();
        trace.settings = &settings;
        diagnostics.sink = sink_.get();
        diagnostics.events = &events;
        context.traceContext = &trace;
        context.parameterContext = &parameters;
        context.keyContext = &keyContext_;
        vlxsim::ErrorStack* stack = &errors;
        std::memcpy(reinterpret_cast<char*>(&context) + vlxsim::kErrorStackOffset, &stack,
                    sizeof stack);
        classic(6);
    }
    ~TracedHost() {
        sink_.reset();
        DeleteFileW(tracePath_);
        DeleteFileW(parameters.path);
    }
    TracedHost(const TracedHost&) = delete;
    TracedHost& operator=(const TracedHost&) = delete;

    wallet::Host host() { return &pointer_; }

    // kmpwallet's table, as its registration export hands it to a host.
    static const wallet::WalletMethodTable& methods() {
        static const wallet::WalletMethodTable* table = [] {
            wallet::RegistrationRecord record{};
            nztwveapi(&record);
            return record.methods;
        }();
        return *table;
    }

    void classic(std::uint8_t level) {
        trace.flags = hostrt::kTraceClassicOn;
        trace.level = level;
    }

    // Diagnostic tracing through the context at the host's offset 1372.
    void diagnostic(std::uint8_t settingsLevel) {
        trace.flags = hostrt::kTraceThroughDiagnostics | 0x08;
        settings.level = settingsLevel;
        context.flags = 2;
        context.diagnosticContext = &diagnostics;
        diagnostics.enabled = 1;
    }

    void writeParameters(const std::string& text) {
        std::ofstream(parameters.path, std::ios::binary) << text;
    }

    std::string traceText() const {
        std::ifstream file(tracePath_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Whether some whole line of the trace is `line`.
    bool traced(const std::string& line) const {
        std::string text(1, '\n');
        text += traceText();
        std::string wanted(1, '\n');
        wanted += line;
        wanted += '\n';
        return text.find(wanted) != std::string::npos;
    }

    wallet::HostContext context{};
    vlxsim::TraceContext trace{};
    hostrt::DiagnosticSettings settings{};
    vlxsim::DiagnosticContext diagnostics{};
    vlxsim::EventTable events{};
    vlxsim::ErrorStack errors{};
    vlxsim::ParameterContext parameters{};

private:
    wallet::HostContext* pointer_ = &context;
    int keyContext_ = 0;
    wchar_t tracePath_[MAX_PATH] = L"";
    support::KernelHandle sink_;
};
