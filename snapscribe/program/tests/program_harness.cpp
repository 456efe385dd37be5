#include "program_harness.h"

#include <optional>
#include <thread>
#include <vector>

#include "snapscribe/host/tests/host_test_support.h"

namespace snapscribe::testing {
namespace {

std::wstring testDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.rfind(L'\\') + 1);
}

support::KernelHandle inheritableFile(const std::wstring& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return support::KernelHandle(CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                             write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr));
}

// The test's environment with `added` laid over it, as CreateProcess wants it.
std::vector<wchar_t> environmentBlock(const std::map<std::wstring, std::wstring>& added) {
    std::map<std::wstring, std::wstring> variables;
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::size_t equals = text.find(L'=', 1);
        if (equals != std::wstring::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(own);
    for (const auto& [name, value] : added) variables[name] = value;
    std::vector<wchar_t> block;
    for (const auto& [name, value] : variables) {
        const std::wstring entry = name + L"=" + value;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

std::optional<std::wstring> readDefault(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::wstring(L"<no value>");
    }
    std::vector<wchar_t> value(size / sizeof(wchar_t) + 1);
    RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
    return std::wstring(value.data());
}

// Files of one program's standard streams, named after it.
std::wstring outputStem(const std::wstring& program, std::wstring directory) {
    if (!directory.empty() && directory.back() == L'\\') directory.pop_back();
    return directory + L"\\" + program.substr(program.rfind(L'\\') + 1);
}

BOOL WINAPI ignoreControl(DWORD) { return TRUE; }

}  // namespace

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> split;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        split.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) split.push_back(text.substr(start));
    return split;
}

std::wstring snapscribePath() { return testDirectory() + L"snapscribe.exe"; }

ProgramOptions vorlixClient(const std::map<std::wstring, std::wstring>& settings) {
    ProgramOptions options;
    options.environment = settings;
    std::vector<wchar_t> path(32767);
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), path.size()));
    options.environment[L"PATH"] = std::wstring(path.begin(), path.end()) + L";" + testDirectory() +
                                   L"..\\..\\sim\\vorlix\\home\\BIN";
    options.ownConsole = true;
    return options;
}

ConsoleWriter::ConsoleWriter(const std::wstring& arguments, const std::wstring& scratchDirectory,
                             ProgramOptions options)
    : scratch_(scratchDirectory),
      alone_(std::in_place),
      program_(snapscribePath(), arguments, scratchDirectory,
               (options.ownConsole = true, options)) {
    serving_ = program_.waitForOutput(kWaitingLine);
    alone_.reset();
}

std::string ConsoleWriter::requester(const std::wstring& arguments) {
    Program requester(vssreqPath(), arguments, scratch_);
    requester.finish();
    return requester.output();
}

DWORD ConsoleWriter::stop() {
    program_.interrupt();
    return program_.finish();
}
std::wstring vssreqPath() { return testDirectory() + L"..\\..\\sim\\vss\\vssreq.exe"; }

Program::Program(const std::wstring& program, const std::wstring& arguments,
                 const std::wstring& scratchDirectory, const ProgramOptions& options)
    : outputFile_(outputStem(program, scratchDirectory) + L".out"),
      errorFile_(outputStem(program, scratchDirectory) + L".err") {
    const std::wstring inputFile = outputStem(program, scratchDirectory) + L".in";
    {
        support::KernelHandle input = inheritableFile(inputFile, true);
        DWORD written = 0;
        WriteFile(input.get(), options.input.data(), static_cast<DWORD>(options.input.size()),
                  &written, nullptr);
    }
    support::KernelHandle input = inheritableFile(inputFile, false);
    support::KernelHandle output = inheritableFile(outputFile_, true);
    support::KernelHandle errors = inheritableFile(errorFile_, true);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = errors.get();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    std::vector<wchar_t> environment = environmentBlock(options.environment);
    PROCESS_INFORMATION started{};
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (options.ownConsole ? CREATE_NEW_CONSOLE : 0);
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags,
                       environment.data(), nullptr, &startup, &started)) {
        process_.reset(started.hProcess);
        CloseHandle(started.hThread);
        processId_ = started.dwProcessId;
    }
}

Program::~Program() {
    if (finish(0) == STILL_ACTIVE) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), INFINITE);
    }
}

DWORD Program::finish(DWORD timeoutMs) {
    if (!process_) return static_cast<DWORD>(-2);
    WaitForSingleObject(process_.get(), timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void Program::interrupt() {
    // A handler of our own rather than ignoring Ctrl-C outright: processes
    // started later would inherit the ignoring and never see their Ctrl-C.
    SetConsoleCtrlHandler(ignoreControl, TRUE);
    FreeConsole();
    if (AttachConsole(processId_)) {
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        FreeConsole();
    }
}

bool Program::waitForOutput(const std::string& text, DWORD timeoutMs) const {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        if (output().find(text) != std::string::npos) return true;
        Sleep(100);
    }
    return false;
}

std::string Program::output() const { return withoutCarriageReturns(readWholeFile(outputFile_)); }
std::string Program::errors() const { return withoutCarriageReturns(readWholeFile(errorFile_)); }

Finished runSnapscribe(const std::wstring& arguments, const std::wstring& scratchDirectory,
                       const ProgramOptions& options) {
    Program program(snapscribePath(), arguments, scratchDirectory, options);
    const DWORD code = program.finish();
    return {code, program.output(), program.errors()};
}

ServiceConfig serviceConfig(const std::wstring& name) {
    support::ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    support::ServiceHandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
    if (!service) return {};
    DWORD needed = 0;
    QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<BYTE> block(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(block.data());
    if (!QueryServiceConfigW(service.get(), config, needed, &needed)) return {};
    return {true, config->dwStartType, config->lpBinaryPathName, config->lpDisplayName,
            config->lpServiceStartName != nullptr ? config->lpServiceStartName : L""};
}

namespace {

DWORD waitForServiceState(SC_HANDLE service, DWORD wanted) {
    SERVICE_STATUS status{};
    for (int tries = 0; tries < 600; ++tries) {
        if (!QueryServiceStatus(service, &status) || status.dwCurrentState == wanted) break;
        Sleep(100);
    }
    return status.dwCurrentState;
}

support::ServiceHandle openService(const std::wstring& name) {
    static support::ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    return support::ServiceHandle(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
}

}  // namespace

DWORD startService(const std::wstring& name) {
    support::ServiceHandle service = openService(name);
    vorlix::ServiceStartLock alone;
    StartServiceW(service.get(), 0, nullptr);
    return waitForServiceState(service.get(), SERVICE_RUNNING);
}

DWORD stopService(const std::wstring& name) {
    support::ServiceHandle service = openService(name);
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    return waitForServiceState(service.get(), SERVICE_STOPPED);
}

void deleteService(const std::wstring& name) {
    support::ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    support::ServiceHandle service(OpenServiceW(manager.get(), name.c_str(), DELETE));
    if (service) DeleteService(service.get());
}

void createService(const std::wstring& name, const std::wstring& binaryPath) {
    support::ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    support::ServiceHandle service(
        CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

std::optional<std::wstring> classesRootValue(const std::wstring& key, const wchar_t* name) {
    support::RegistryKey opened;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, opened.receive()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return readDefault(opened.get(), name);
}

namespace {

constexpr const wchar_t* kSettingsKey = L"SOFTWARE\\Vorlix";

support::RegistryKey settingsKey() {
    support::RegistryKey key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, key.receive(), nullptr);
    return key;
}

}  // namespace

std::optional<std::wstring> storedSetting(const std::wstring& name) {
    support::RegistryKey key = settingsKey();
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return readDefault(key.get(), name.c_str());
}

void storeSetting(const std::wstring& name, const std::wstring& value) {
    RegSetValueExW(settingsKey().get(), name.c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void removeSetting(const std::wstring& name) { RegDeleteValueW(settingsKey().get(), name.c_str()); }

std::optional<std::wstring> classesRootDefault(const std::wstring& key) {
    return classesRootValue(key, nullptr);
}

}  // namespace snapscribe::testing
