#pragma once
// The records behind the host's trace, parameter, key and diagnostic
// services, as wallethost sets them up for a plug-in from its options.

#include "sim/vlxrt/host_records.h"
#include "sim/vlxrt/host_script.h"
#include "support/unique_handle.h"
#include "wallet/common/wallet_contract.h"

namespace wallethost {

// The records are open to the host (and to tests acting as one), which may
// change them between operations.
class HostServices {
public:
    explicit HostServices(const ServiceOptions& options);
    HostServices(const HostServices&) = delete;
    HostServices& operator=(const HostServices&) = delete;

    // Points the host's global context at these records.
    void attach(wallet::HostContext& context);

    vlxsim::TraceContext trace{};
    hostrt::DiagnosticSettings settings{};
    vlxsim::EventTable events{};
    vlxsim::DiagnosticContext diagnostics{};
    vlxsim::ErrorStack errors{};
    vlxsim::ParameterContext parameters{};

private:
    // Bits of the host's flags word: the diagnostic context is found under a
    // key when only the keyed bit is set.
    static constexpr std::uint32_t kKeyedContext = 1;
    static constexpr std::uint32_t kDirectContext = 2;

    std::uint32_t hostFlags_;
    support::KernelHandle sink_;
    int keyContext_ = 0;
    int diagnosticKey_ = 0;
};

}  // namespace wallethost
