#include "services.h"

#include <cstdio>
#include <vector>

#include "snapscribe/host/code_page.h"
#include "snapscribe/host/event_log.h"
#include "lifecycle.h"
#include "service_names.h"
#include "snapscribe/host/settings.h"
#include "support/unique_handle.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe {
namespace {

using support::KernelHandle;
using support::RegistryKey;
using support::ServiceHandle;

constexpr const wchar_t* kClassKey = L"CLSID\\{26D02976-B909-43ad-AF7E-62A4F625E372}";
constexpr DWORD kEnumerationSlack = 36;
constexpr std::size_t kSettingsSidMaxBytes = 20;
constexpr DWORD kServiceType = SERVICE_WIN32_OWN_PROCESS;
constexpr const wchar_t* kDefaultAccount = L"LocalSystem";

// Failures of install and remove: traced with their context, then 0.
int failed(const wchar_t* context) {
    traceLastError(context);
    return 0;
}

void traceMiscWide(const wchar_t* format, const std::wstring& value) {
    if (tracing(TRC_MISC)) traceMsg(format, value.c_str());
}

void runAndWait(const std::wstring& command) { runProgram(command); }

// HKEY_CLASSES_ROOT of the target machine. Closing a predefined key is
// harmless, so both kinds of root share one owner.
bool openClassesRoot(const std::wstring& machine, RegistryKey& root) {
    if (machine.empty()) {
        root.reset(HKEY_CLASSES_ROOT);
        return true;
    }
    const LSTATUS status =
        RegConnectRegistryW(machinePrefix(machine).c_str(), HKEY_CLASSES_ROOT, root.receive());
    SetLastError(status);
    return status == ERROR_SUCCESS;
}

bool setDefaultValue(HKEY key, const wchar_t* subkey, const std::wstring& value) {
    const LSTATUS status = RegSetValueW(key, subkey, REG_SZ, value.c_str(),
                                        static_cast<DWORD>(value.size() * sizeof(wchar_t)));
    SetLastError(status);
    return status == ERROR_SUCCESS;
}

bool setStringValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    const LSTATUS status =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    SetLastError(status);
    return status == ERROR_SUCCESS;
}

bool openKey(HKEY parent, const wchar_t* name, RegistryKey& key) {
    const LSTATUS status = RegOpenKeyExW(parent, name, 0, KEY_ALL_ACCESS, key.receive());
    SetLastError(status);
    return status == ERROR_SUCCESS;
}

std::wstring runningProgramPath() {
    std::vector<wchar_t> path(MAX_PATH + 1);
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), path.size())) >= path.size()) {
        path.resize(path.size() * 2);
    }
    return std::wstring(path.data(), length);
}

const wchar_t* optional(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// The class registration that lets the shadow-copy service reach the
// writer as a local server.
int registerWriterClass(HKEY root, const std::wstring& displayName, const std::wstring& program,
                        const std::wstring& serviceName) {
    RegistryKey classKey;
    if (!setDefaultValue(root, kClassKey, displayName) || !openKey(root, kClassKey, classKey)) {
        return failed(L"szCLSIDEntryServer-exists");
    }
    if (!setDefaultValue(classKey.get(), L"LocalServer32", program) ||
        !setDefaultValue(classKey.get(), L"AllowRemoteActivation", L"")) {
        return failed(L"Registry Manipulation");
    }
    classKey.reset();

    if (!setDefaultValue(root, kClassKey, displayName) || !openKey(root, kClassKey, classKey)) {
        return failed(L"szCLSIDEntryService-exists");
    }
    RegistryKey serviceKey;
    if (!setDefaultValue(classKey.get(), L"LocalService", serviceName) ||
        !openKey(classKey.get(), L"LocalService", serviceKey) ||
        !setStringValue(serviceKey.get(), L"ServiceParameters", L"-Service")) {
        return failed(L"Registry Manipulation");
    }
    return 1;
}

int createOrChangeService(SC_HANDLE manager, const InstallRequest& request,
                          const std::wstring& serviceName, const std::wstring& displayName,
                          const std::wstring& serviceProgram) {
    ServiceHandle service(OpenServiceW(manager, serviceName.c_str(), SERVICE_ALL_ACCESS));
    if (service) {
        // No account asked for is the system's default account here too, not
        // whatever account the service ran under before.
        const bool defaultAccount = request.account.empty();
        if (!ChangeServiceConfigW(
                service.get(), kServiceType, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                serviceProgram.c_str(), nullptr, nullptr, nullptr,
                defaultAccount ? kDefaultAccount : request.account.c_str(),
                defaultAccount ? L"" : optional(request.password), displayName.c_str())) {
            return failed(serviceProgram.c_str());
        }
        traceMiscWide(L"\nChanged service attributes for %s\n", serviceName);
        return 1;
    }
    service.reset(CreateServiceW(manager, serviceName.c_str(), displayName.c_str(),
                                 SERVICE_ALL_ACCESS, kServiceType, SERVICE_AUTO_START,
                                 SERVICE_ERROR_NORMAL, serviceProgram.c_str(), nullptr, nullptr,
                                 nullptr, optional(request.account), optional(request.password)));
    if (!service) return failed(L"CreateService");
    traceMiscWide(L"\nCreated Service %s\n", serviceName);
    std::string sid = systemNarrow(request.sid);
    if (sid.size() > kSettingsSidMaxBytes) sid.resize(kSettingsSidMaxBytes);
    saveTraceSettings(sid);
    return 1;
}

int install(const InstallRequest& request) {
    const std::wstring serviceName = writerServiceName(request.sid);
    const std::wstring displayName = writerDisplayName(request.sid);
    RegistryKey root;
    if (!openClassesRoot(request.machine, root)) return failed(L"RegConnectRegistry");
    const std::wstring program = commandLineProgram(
        request.programPath.empty() ? runningProgramPath() : request.programPath);
    if (!registerWriterClass(root.get(), displayName, program, serviceName)) return 0;

    ServiceHandle manager(
        OpenSCManagerW(optional(request.machine), nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return failed(L"OpenSCManager");
    const std::wstring serviceProgram = program + L" " + request.sid;
    if (!createOrChangeService(manager.get(), request, serviceName, displayName, serviceProgram)) {
        return 0;
    }
    manager.reset();
    runAndWait(serviceStartCommand(machinePrefix(request.machine), serviceName));
    return 1;
}

int removeWriterClass(const std::wstring& machine) {
    RegistryKey root;
    if (!openClassesRoot(machine, root)) return failed(L"RegConnectRegistry");
    const LSTATUS status = RegDeleteTreeW(root.get(), kClassKey);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return 1;
    SetLastError(status);
    return failed(L"Registry Manipulation");
}

int remove(const InstallRequest& request) {
    const std::wstring serviceName = writerServiceName(request.sid);
    ServiceHandle manager(
        OpenSCManagerW(optional(request.machine), nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return failed(L"OpenSCManager");
    ServiceHandle service(OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_ALL_ACCESS));
    if (service) {
        runAndWait(serviceStopCommand(machinePrefix(request.machine), serviceName));
        if (!DeleteService(service.get())) return failed(L"DeleteService");
        traceMiscWide(L"\nDeleted Service %s\n", serviceName);
    }
    return removeWriterClass(request.machine);
}

struct ServiceEntry {
    std::wstring name;
    DWORD state;
};

std::vector<ServiceEntry> enumerateServices(SC_HANDLE manager) {
    DWORD needed = 0;
    DWORD count = 0;
    DWORD resume = 0;
    if (EnumServicesStatusW(manager, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count,
                            &resume) ||
        GetLastError() != ERROR_MORE_DATA) {
        return {};
    }
    // The records point at texts that follow them in the same block.
    std::vector<BYTE> block(needed + kEnumerationSlack);
    auto* records = reinterpret_cast<ENUM_SERVICE_STATUSW*>(block.data());
    resume = 0;
    if (!EnumServicesStatusW(manager, SERVICE_WIN32, SERVICE_STATE_ALL, records,
                             static_cast<DWORD>(block.size()), &needed, &count, &resume)) {
        return {};
    }
    std::vector<ServiceEntry> services;
    for (DWORD i = 0; i < count; ++i) {
        services.push_back({records[i].lpServiceName, records[i].ServiceStatus.dwCurrentState});
    }
    return services;
}

void printWide(const char* format, const std::wstring& first, const char* second = "") {
    std::printf(format, systemNarrow(first).c_str(), second);
}

// State of the service control manager's answer, for the service handler
// and the service main routine.
struct ServiceState {
    SERVICE_STATUS status{};
    SERVICE_STATUS_HANDLE handle = nullptr;
    KernelHandle stopEvent;
    std::wstring name;
};

ServiceState& serviceState() {
    static ServiceState state;
    return state;
}

void reportStatus(DWORD state, DWORD exitCode, const wchar_t* failureContext) {
    ServiceState& service = serviceState();
    service.status.dwCurrentState = state;
    service.status.dwWin32ExitCode = exitCode;
    service.status.dwServiceSpecificExitCode = exitCode;
    if (!SetServiceStatus(service.handle, &service.status)) traceLastError(failureContext);
}

}  // namespace

void controlAllServices(ServiceQuery query, const std::wstring& machine) {
    ServiceHandle manager(OpenSCManagerW(optional(machine), nullptr, SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) return;
    const std::wstring prefix = machinePrefix(machine);
    for (const ServiceEntry& service : enumerateServices(manager.get())) {
        const std::wstring& name = service.name;
        if (!isWriterService(name)) continue;
        switch (query) {
            case ServiceQuery::Status:
                printWide("%s - %s\n", name, serviceStateText(service.state));
                break;
            case ServiceQuery::Start: runAndWait(serviceStartCommand(prefix, name)); break;
            case ServiceQuery::Stop: runAndWait(serviceStopCommand(prefix, name)); break;
            case ServiceQuery::List: printWide("%s\n", name); break;
        }
    }
    std::fflush(stdout);
}

int installService(const InstallRequest& request) {
    return request.install ? install(request) : remove(request);
}

DWORD runAsService(const std::wstring& sid) {
    if (tracing(TRC_MISC)) traceMsgA("\nChecking if can run as Service");
    ServiceState& service = serviceState();
    service.name = writerServiceName(sid);
    service.stopEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!service.stopEvent) return traceLastError(L"CreateEvent failed");

    SERVICE_TABLE_ENTRYW table[] = {{service.name.data(), MyServiceMain}, {nullptr, nullptr}};
    const BOOL dispatched = StartServiceCtrlDispatcherW(table);
    const DWORD error = GetLastError();
    // The handler may be called until the dispatcher returns, even after the
    // service main routine ended: the stop event lives until then.
    service.stopEvent.reset();
    if (!dispatched) {
        SetLastError(error);
        traceLastError(L"Could not run as Service");
        return error;
    }
    if (tracing(TRC_MISC)) traceMsgA("Running as a Service\n");
    return 0;
}

void WINAPI MyServiceMain(DWORD, LPWSTR*) {
    if (tracing(TRC_MISC)) traceMsgA("MyServiceMain entered\n");
    ServiceState& service = serviceState();
    service.status =
        SERVICE_STATUS{kServiceType, SERVICE_START_PENDING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
    service.handle = RegisterServiceCtrlHandlerW(service.name.c_str(), serviceCtrlHandler);
    if (service.handle == nullptr) {
        if (tracing(TRC_MISC)) traceMsgA("MyServiceMain: Failed RegisterServiceCtlHandler\n");
        return;
    }
    const std::int32_t result = initWriter();
    if (result < 0) {
        if (tracing(TRC_MISC)) traceMsgA("LErrExit hit\n");
        teardownWriter();
        reportStatus(SERVICE_STOPPED, static_cast<DWORD>(result), L"SetServiceStatus");
        return;
    }
    reportStatus(SERVICE_RUNNING, 0, L"SetServiceStatus(SERVICE_RUNNING)");
    if (tracing(TRC_MISC)) traceMsgA("WaitForSingleObject\n");
    WaitForSingleObject(service.stopEvent.get(), INFINITE);
    if (tracing(TRC_MISC)) traceMsgA("WaitForSingleObject: returned\n");
    teardownWriter();
    reportStatus(SERVICE_STOPPED, 0, L"SetServiceStatus(SERVICE_STOPPED)");
}

void WINAPI serviceCtrlHandler(DWORD control) {
    ServiceState& service = serviceState();
    if (control == SERVICE_CONTROL_STOP) {
        reportStatus(SERVICE_STOP_PENDING, 0, L"SetServiceStatus");
        SetEvent(service.stopEvent.get());
        return;
    }
    if (!SetServiceStatus(service.handle, &service.status)) traceLastError(L"SetServiceStatus");
}

}  // namespace snapscribe
