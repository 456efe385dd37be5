#include "sim/vlxrt/host_services.h"

#include <cstring>

namespace wallethost {

HostServices::HostServices(const ServiceOptions& options) : hostFlags_(options.hostFlags) {
    if (!options.traceFile.empty()) {
        sink_.reset(CreateFileW(options.traceFile.c_str(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                                nullptr));
    }
    trace.sink = sink_.get();
    trace.flags = static_cast<std::uint8_t>(options.traceFlags);
    trace.level = static_cast<std::uint8_t>(options.traceLevel);
    trace.settings = &settings;
    settings.flags = static_cast<std::uint8_t>(options.settingsFlags);
    settings.level = static_cast<std::uint8_t>(options.diagnosticLevel);
    diagnostics.sink = sink_.get();
    diagnostics.events = &events;
    diagnostics.enabled = 1;
    options.parameterFile.copy(parameters.path, MAX_PATH - 1);
}

void HostServices::attach(wallet::HostContext& context) {
    context.traceContext = sink_ ? &trace : nullptr;
    context.parameterContext = &parameters;
    context.keyContext = &keyContext_;
    context.flags = hostFlags_;
    const bool keyed = (hostFlags_ & kKeyedContext) != 0 && (hostFlags_ & kDirectContext) == 0;
    context.diagnosticContext = keyed ? static_cast<void*>(&diagnosticKey_) : &diagnostics;
    vlxsim::ErrorStack* stack = &errors;
    std::memcpy(reinterpret_cast<char*>(&context) + vlxsim::kErrorStackOffset, &stack,
                sizeof stack);
}

}  // namespace wallethost
