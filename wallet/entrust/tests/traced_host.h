#pragma once
// A host for kmpwallet inside the test process: the host stand-in's service
// records behind a global context of its own, the trace going to a scratch
// file that the test reads back.

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "sim/vlxrt/host_services.h"
#include "wallet/common/wallet_contract.h"
#include "wallet/entrust/kmpwallet.h"

// Scratch files for the trace and the parameters, removed afterwards.
class ScratchFiles {
public:
    ScratchFiles() {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"kmt", 0, tracePath_);
        GetTempFileNameW(folder, L"kmp", 0, parameterPath_);
    }
    ~ScratchFiles() {
        DeleteFileW(tracePath_);
        DeleteFileW(parameterPath_);
    }
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;

protected:
    wallethost::ServiceOptions options() const {
        wallethost::ServiceOptions options;
        options.traceFile = tracePath_;
        options.parameterFile = parameterPath_;
        return options;
    }

    wchar_t tracePath_[MAX_PATH] = L"";
    wchar_t parameterPath_[MAX_PATH] = L"";
};

class TracedHost : private ScratchFiles, public wallethost::HostServices {
public:
    TracedHost() : HostServices(options()) { attach(context); }

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

    // Diagnostic tracing through the context the host's word 1372 points to.
    void diagnostic(std::uint8_t settingsLevel) {
        trace.flags = hostrt::kTraceThroughDiagnostics | 0x08;
        settings.level = settingsLevel;
        context.flags = 2;
    }

    void writeParameters(const std::string& text) {
        std::ofstream(parameterPath_, std::ios::binary) << text;
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

private:
    wallet::HostContext* pointer_ = &context;
};
