#pragma once
// The per-instance writer services: listing, starting and stopping all of
// them, installing and removing one with its COM class registration, and
// running the process as a service.

#include <windows.h>

#include <cstdint>
#include <string>

#include "service_names.h"

namespace snapscribe {

// Works on the service control manager of `machine` (this one when empty).
void controlAllServices(ServiceQuery query, const std::wstring& machine);

struct InstallRequest {
    std::wstring sid;
    bool install = true;   // false removes
    std::wstring account;  // empty: the system's default account
    std::wstring password;
    std::wstring machine;      // empty: this machine
    std::wstring programPath;  // empty: this program
};

// 1 on success, 0 after a traced failure.
int installService(const InstallRequest& request);

// 0 once the process has run as a service and the service has stopped,
// otherwise the system error of the attempt (1063: not started as a service).
DWORD runAsService(const std::wstring& sid);

void WINAPI MyServiceMain(DWORD argc, LPWSTR* argv);
void WINAPI serviceCtrlHandler(DWORD control);

}  // namespace snapscribe
