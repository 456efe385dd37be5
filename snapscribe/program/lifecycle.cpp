#include "lifecycle.h"

#include <objbase.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/writer/writer.h"
#include "support/unique_handle.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe {
namespace {

// The writer's identity towards the shadow-copy service; also the COM class
// the service registration names.
constexpr VSS_ID kWriterId = {
    0x26d02976, 0xb909, 0x43ad, {0xaf, 0x7e, 0x62, 0xa4, 0xf6, 0x25, 0xe3, 0x72}};
constexpr std::size_t kWriterNameMaxChars = 256;
constexpr DWORD kFreezeTimeoutMillis = 60000;
constexpr DWORD kSubscriptionFlags = VSS_SM_BACKUP_EVENTS_FLAG | VSS_SM_RESTORE_EVENTS_FLAG;
constexpr DWORD kWriterStartEvent = 0x4FFF100F;
constexpr DWORD kWriterStopEvent = 0x4FFF1010;
constexpr DWORD kConsolePollMillis = 100;
constexpr const char* kWaitingLine = "\nWaiting for VSS events (press Ctrl-C to stop writer)";

struct WriterState {
    std::unique_ptr<CVssWriterVorlix> writer;
    bool subscribed = false;
    bool comInitialized = false;
    const char* failedStep = nullptr;
};

WriterState& writerState() {
    static WriterState state;
    return state;
}

void traceMisc(const char* format, auto... arguments) {
    if (tracing(TRC_MISC)) traceMsgA(format, arguments...);
}

// Remembers which step of the start failed, for the console's last word.
std::int32_t failed(const char* step, std::int32_t result) {
    writerState().failedStep = step;
    return result;
}

std::int32_t systemErrorResult(DWORD error) {
    return static_cast<std::int32_t>(0x80070000 | (error & 0xFFFF));
}

// Answers the thread's last error afterwards: AdjustTokenPrivileges reports
// a privilege the token does not hold only there.
DWORD enableBackupPrivilege() {
    support::KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.receive())) {
        return GetLastError();
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, SE_BACKUP_NAME, &privileges.Privileges[0].Luid)) {
        return GetLastError();
    }
    SetLastError(ERROR_SUCCESS);
    const BOOL adjusted =
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    const DWORD error = GetLastError();
    if (!adjusted || error != ERROR_SUCCESS) {
        traceMisc("AdjustTokenPrivileges for %s failed with 0x%08X", "SeBackupPrivilege", error);
    }
    return error;
}

std::int32_t initializeCom() {
    traceMisc("\nInitializing COM");
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        traceMisc("\nCoInitialize() returned error 0x%08X", hr);
        return hr;
    }
    writerState().comInitialized = true;
    traceMisc("\nInitializing COM security");
    hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                              RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr)) traceMisc("\nCoInitialize() returned error 0x%08X", hr);
    return hr;
}

std::wstring writerName(const std::wstring& sid) {
    std::wstring name = L"Vorlix VSS Writer - " + sid;
    if (name.size() > kWriterNameMaxChars) name.resize(kWriterNameMaxChars);
    return name;
}

// Systems before Windows Server 2003 SP1 register a writer without its
// instance name; the trace tells which kind this one is.
void traceInitializeForm() {
    switch (vssapi::initializeForm()) {
        case vssapi::InitializeForm::WithInstanceName:
            traceMisc("\nInitialize takes the writer instance name");
            break;
        case vssapi::InitializeForm::WithoutInstanceName:
            traceMisc("\nInitialize of this system takes no writer instance name");
            break;
        case vssapi::InitializeForm::Missing:
            traceMisc("\nThe shadow-copy library exports no Initialize");
            break;
    }
}

std::int32_t registerWriter(CVssWriterVorlix& writer) {
    const std::wstring& sid = writerSettings().Sid;
    if (tracing(TRC_MISC)) {
        traceMsg(L"\nInitialising the Vorlix writer %s\n", sid.c_str());
        traceMsgA("\n(WriterType/ProcId)=(%s/0x%04x)\n", "UserData",
                  static_cast<unsigned>(GetCurrentProcessId()));
    }
    traceInitializeForm();
    HRESULT hr = writer.Initialize(kWriterId, writerName(sid).c_str(), VSS_UT_USERDATA,
                                   VSS_ST_TRANSACTEDDB, VSS_APP_FRONT_END, kFreezeTimeoutMillis,
                                   VSS_AWS_NO_ALTERNATE_WRITER, false, sid.c_str());
    if (FAILED(hr)) {
        traceMisc("\nFailed to initialize the writer : 0x%08X", hr);
        return failed("the shadow-copy library refused to initialize the writer", hr);
    }
    // Such a library answers calls it does not implement, and not always by
    // the platform's calling convention: subscribing to it could only fail.
    if (!vssapi::classImplemented()) {
        traceMisc("\nThe shadow-copy library does not implement the writer base class");
        return failed("the shadow-copy library does not implement the writer base class",
                      E_NOTIMPL);
    }
    hr = writer.Subscribe(kSubscriptionFlags);
    if (FAILED(hr)) {
        traceMisc("\nFailed to subscribe to snapshot events : 0x%08X", hr);
        return failed("the shadow-copy library refused the subscription", hr);
    }
    writerState().subscribed = true;
    return hr;
}

std::int32_t bringUpWriter() {
    traceMisc("\nChecking privileges");
    const DWORD privilegeError = enableBackupPrivilege();
    if (static_cast<LONG>(privilegeError) > 0) {
        const std::int32_t result = systemErrorResult(privilegeError);
        traceMisc("\nAssertPrivilege returned error 0x%08X", result);
        return failed("the backup privilege could not be enabled", result);
    }
    const std::int32_t comResult = initializeCom();
    if (comResult < 0) return failed("COM could not be initialized", comResult);

    WriterState& state = writerState();
    state.writer.reset(new (std::nothrow) CVssWriterVorlix);
    if (!state.writer) {
        traceMisc("\nFailed to allocate CVssWriterVorlix : 0x%08X", kOutOfMemoryResult);
        return failed("the writer could not be created", kOutOfMemoryResult);
    }
    return registerWriter(*state.writer);
}

void reportLifecycleEvent(DWORD id) {
    writeToEventLog2(EVENTLOG_INFORMATION_TYPE, kEventCategory, id, kWriterVersionText,
                     writerSettings().Sid.c_str(), 0, nullptr);
}

}  // namespace

std::int32_t initWriter() {
    const std::int32_t result = bringUpWriter();
    reportLifecycleEvent(kWriterStartEvent);
    closeTrace();
    return result;
}

void teardownWriter() {
    WriterState& state = writerState();
    if (state.subscribed) {
        traceMisc("\nUn-Subscribing from snapshot events");
        state.writer->Unsubscribe();
        state.subscribed = false;
    }
    if (state.writer) {
        traceMisc("\nDeconstructing Writer");
        state.writer.reset();
    }
    if (state.comInitialized) {
        traceMisc("\nUnInitialising COM");
        CoUninitialize();
        state.comInitialized = false;
    }
    reportLifecycleEvent(kWriterStopEvent);
}

bool runConsole() {
    WriterSettings& settings = writerSettings();
    SetConsoleCtrlHandler(consoleCtrlHandler, TRUE);
    settings.Running = true;
    const std::int32_t result = initWriter();
    const bool started = result >= 0;
    // A Ctrl-C while the writer came up has already said no.
    if (!started) settings.Running = false;
    std::printf("%s", kWaitingLine);
    if (!started) {
        std::printf("\nThe writer did not start: %s (0x%08X)\n", writerState().failedStep,
                    static_cast<unsigned>(result));
    }
    std::fflush(stdout);
    if (settings.Running) {
        traceMisc("%s", kWaitingLine);
        while (settings.Running) Sleep(kConsolePollMillis);
    }
    teardownWriter();
    return started;
}

BOOL WINAPI consoleCtrlHandler(DWORD) {
    writerSettings().Running = false;
    return TRUE;
}

}  // namespace snapscribe
