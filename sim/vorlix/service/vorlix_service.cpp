// VorlixService<SID>: the Windows service an instance lives in. Started as
// "VorlixService.exe <SID> <home>" by the service control manager. The
// instance cannot outlive its service, nor be up before it: starting and
// stopping the service both leave the instance down.

#include <windows.h>

#include <string>

#include "sim/vorlix/instance/instance_store.h"
#include "sim/vorlix/instance/text.h"
#include "support/unique_handle.h"

namespace {

std::wstring gSid;
std::wstring gHome;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
support::KernelHandle gStopEvent;

void report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWaitHint = 5000;
    SetServiceStatus(gStatusHandle, &status);
}

void takeInstanceDown() {
    try {
        vorlix::InstanceStore store(
            vorlix::instanceDirectory(vorlix::narrow(gHome), vorlix::narrow(gSid)),
            vorlix::narrow(gSid));
        if (!store.exists()) return;
        store.update([](vorlix::InstanceState& state) {
            if (state.status == vorlix::InstanceStatus::Down) return;
            state.status = vorlix::InstanceStatus::Down;
            state.readOnly = false;
            state.pipes.clear();
            ++state.startupCount;
        });
    } catch (const std::exception&) {
        // A damaged state file is the next client's to report.
    }
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        report(SERVICE_STOP_PENDING);
        SetEvent(gStopEvent.get());
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    std::wstring name = L"VorlixService" + gSid;
    // Wine's StartService returns at the service's first status report, and
    // its "net start" does not wait on for the running state as Windows'
    // does: so the first report is "running", made once the instance is
    // settled, and whoever ran "net start" can connect when it returns.
    takeInstanceDown();
    gStatusHandle = RegisterServiceCtrlHandlerExW(name.c_str(), handler, nullptr);
    if (!gStatusHandle) return;
    report(SERVICE_RUNNING);
    WaitForSingleObject(gStopEvent.get(), INFINITE);
    takeInstanceDown();
    report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    gSid = argv[1];
    gHome = argv[2];
    SetEnvironmentVariableW(L"VORLIX_HOME", gHome.c_str());
    gStopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::wstring name = L"VorlixService" + gSid;
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : int(GetLastError());
}
