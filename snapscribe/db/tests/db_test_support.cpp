#include "db_test_support.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"
#include "support/unique_handle.h"

namespace snapscribe::testing {
namespace {

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring fullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH];
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring programDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.find_last_of(L"\\/"));
}

std::wstring uniqueTempFile(const wchar_t* prefix) {
    wchar_t directory[MAX_PATH];
    wchar_t file[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, prefix, 0, file);
    return file;
}

std::wstring vlxsimPath() { return L"\"" + vorlixHome() + L"\\BIN\\vlxsim.exe\" "; }

}  // namespace

std::wstring vorlixHome() {
    static const std::wstring home = [] {
        // Test programs sit two levels below the build's root.
        const std::wstring found = fullPath(programDirectory() + L"\\..\\..\\sim\\vorlix\\home");
        wchar_t path[32767];
        const DWORD length = GetEnvironmentVariableW(L"PATH", path, 32767);
        const std::wstring bin = found + L"\\BIN";
        SetEnvironmentVariableW(L"PATH", (bin + L";" + std::wstring(path, length)).c_str());
        SetEnvironmentVariableW(L"VORLIX_HOME", found.c_str());
        return found;
    }();
    return home;
}

std::uint32_t runCommand(const std::wstring& commandLine, std::string* output) {
    vorlixHome();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    support::KernelHandle readEnd, writeEnd;
    CreatePipe(readEnd.receive(), writeEnd.receive(), &inherit, 0);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = commandLine;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        throw std::runtime_error("cannot start " + std::to_string(GetLastError()));
    }
    support::KernelHandle process(started.hProcess), thread(started.hThread);
    writeEnd.reset();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    if (output != nullptr) *output = text;
    return code;
}

Instance::Instance(const std::string& description) {
    static int made = 0;
    char sid[16];
    std::snprintf(sid, sizeof sid, "W%lu%c", GetCurrentProcessId() % 10000,
                  static_cast<char>('A' + made++ % 26));
    sid_ = sid;
    const std::wstring file = uniqueTempFile(L"vdb");
    std::ofstream(file.c_str(), std::ios::binary) << description;
    const std::uint32_t code =
        runCommand(vlxsimPath() + L"create " + widen(sid_) + L" \"" + file + L"\"");
    DeleteFileW(file.c_str());
    if (code != 0) throw std::runtime_error("vlxsim create " + sid_ + " failed");
}

Instance::~Instance() { vlxsim("drop"); }

std::uint32_t Instance::vlxsim(const std::string& command, const std::string& arguments) const {
    return runCommand(vlxsimPath() + widen(command + " " + sid_ + " " + arguments));
}

void Instance::makeCurrent() const {
    writerSettings().SidNarrow = sid_;
    writerSettings().Sid = widen(sid_);
    SetEnvironmentVariableW(L"VORLIX_SID", widen(sid_).c_str());
}

TraceCapture::TraceCapture(std::uint32_t level) : file_(uniqueTempFile(L"trc")) {
    closeTrace();
    WriterSettings& settings = writerSettings();
    settings.TraceLevel = level;
    settings.TraceFile = std::string(file_.begin(), file_.end());
    // The instance's stored recovery-tool options are read with the trace.
    initTrace(settings.SidNarrow.empty() ? "TRACE" : settings.SidNarrow);
}

TraceCapture::~TraceCapture() {
    closeTrace();
    writerSettings().TraceLevel = 0;
    writerSettings().TraceFile.clear();
    DeleteFileW(file_.c_str());
}

std::string TraceCapture::text() const {
    std::ifstream in(file_.c_str(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    // The trace is a text file: line feeds are written as CR LF.
    std::string text = content.str();
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

}  // namespace snapscribe::testing
