#include "sim/vorlix/instance/service_control.h"

#include <windows.h>

#include "sim/vorlix/instance/instance_store.h"
#include "sim/vorlix/instance/text.h"
#include "support/unique_handle.h"

namespace vorlix {

namespace {

constexpr DWORD kWaitMillis = 30000;
constexpr DWORD kPollMillis = 100;

std::wstring describe(const wchar_t* what, DWORD code) {
    return std::wstring(what) + L" failed with error " + std::to_wstring(code);
}

support::ServiceHandle openManager(std::wstring& error, const std::wstring& machine = {}) {
    support::ServiceHandle manager(OpenSCManagerW(machine.empty() ? nullptr : machine.c_str(),
                                                  nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) error = describe(L"OpenSCManager", GetLastError());
    return manager;
}

bool waitForState(SC_HANDLE service, DWORD wanted, std::wstring& error) {
    SERVICE_STATUS status{};
    for (DWORD waited = 0; waited <= kWaitMillis; waited += kPollMillis) {
        if (!QueryServiceStatus(service, &status)) {
            error = describe(L"QueryServiceStatus", GetLastError());
            return false;
        }
        if (status.dwCurrentState == wanted) return true;
        if (wanted == SERVICE_RUNNING && status.dwCurrentState == SERVICE_STOPPED && waited > 0)
            break;
        Sleep(kPollMillis);
    }
    error = L"the service did not reach the wanted state (now " +
            std::to_wstring(status.dwCurrentState) + L")";
    return false;
}

}  // namespace

bool installInstanceService(const std::string& sid, const std::wstring& program,
                            const std::string& home, std::wstring& error) {
    auto manager = openManager(error);
    if (!manager) return false;
    std::wstring name = serviceNameOf(sid);
    std::wstring command =
        L"\"" + program + L"\" " + widen(upper(sid)) + L" \"" + widen(home) + L"\"";
    support::ServiceHandle service(
        CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (service) return true;
    if (GetLastError() != ERROR_SERVICE_EXISTS) {
        error = describe(L"CreateService", GetLastError());
        return false;
    }
    service.reset(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service || !ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_DEMAND_START,
                                          SERVICE_NO_CHANGE, command.c_str(), nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr)) {
        error = describe(L"ChangeServiceConfig", GetLastError());
        return false;
    }
    return true;
}

bool removeService(const std::wstring& name, std::wstring& error) {
    auto manager = openManager(error);
    if (!manager) return false;
    support::ServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service || !DeleteService(service.get())) {
        error = describe(L"DeleteService", GetLastError());
        return false;
    }
    return true;
}

bool startService(const std::wstring& name, std::wstring& error, const std::wstring& machine) {
    auto manager = openManager(error, machine);
    if (!manager) return false;
    support::ServiceHandle service(
        OpenServiceW(manager.get(), name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
    if (!service) {
        error = describe(L"OpenService", GetLastError());
        return false;
    }
    // With several service starts at once the control manager sometimes gives
    // up on a new service process at once (1053); the service is stopped then
    // and a later try works.
    ServiceStartLock alone;
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 5; ++attempt) {
        code = StartServiceW(service.get(), 0, nullptr) ? ERROR_SUCCESS : GetLastError();
        if (code != ERROR_SERVICE_REQUEST_TIMEOUT) break;
        Sleep(kPollMillis * (attempt + 1));
    }
    if (code != ERROR_SUCCESS && code != ERROR_SERVICE_ALREADY_RUNNING) {
        error = describe(L"StartService", code);
        return false;
    }
    return waitForState(service.get(), SERVICE_RUNNING, error);
}

bool stopService(const std::wstring& name, std::wstring& error, const std::wstring& machine) {
    auto manager = openManager(error, machine);
    if (!manager) return false;
    support::ServiceHandle service(
        OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        error = describe(L"OpenService", GetLastError());
        return false;
    }
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        error = describe(L"ControlService", GetLastError());
        return false;
    }
    return waitForState(service.get(), SERVICE_STOPPED, error);
}

}  // namespace vorlix
