#include "service_names.h"

#include <iterator>

namespace snapscribe {
namespace {

std::wstring serviceCommand(const wchar_t* verb, const std::wstring& prefix,
                            const std::wstring& service) {
    return L"vlxdim -ex service " + prefix + L" " + verb + L" " + service;
}

}  // namespace

std::wstring writerServiceName(const std::wstring& sid) { return kWriterServicePrefix + sid; }

std::wstring writerDisplayName(const std::wstring& sid) {
    return L"Vorlix " + sid + L" VSS Writer Service";
}

std::wstring machinePrefix(const std::wstring& machine) {
    return machine.empty() ? std::wstring() : L"\\\\" + machine;
}

std::wstring serviceStartCommand(const std::wstring& prefix, const std::wstring& service) {
    return serviceCommand(L"start", prefix, service);
}

std::wstring serviceStopCommand(const std::wstring& prefix, const std::wstring& service) {
    return serviceCommand(L"stop", prefix, service);
}

std::wstring commandLineProgram(const std::wstring& path) {
    const bool quoted = !path.empty() && path.front() == L'"';
    if (quoted || path.find(L' ') == std::wstring::npos) return path;
    return L"\"" + path + L"\"";
}

bool isWriterService(const std::wstring& name) { return name.starts_with(kWriterServicePrefix); }

const char* serviceStateText(std::uint32_t state) {
    static constexpr const char* kTexts[] = {
        "The service is not running.",      "The service is starting.",
        "The service is stopping.",         "The service is running.",
        "The service continue is pending.", "The service pause is pending.",
        "The service is paused.",
    };
    if (state < 1 || state > std::size(kTexts)) return "Unknown status";
    return kTexts[state - 1];
}

}  // namespace snapscribe
