#include "sim/vss/tests/process_harness.h"

#include <fstream>
#include <sstream>

namespace vsssim::testing {

namespace {

void removeTree(const std::wstring& directory) {
    WIN32_FIND_DATAW data;
    support::FindHandle find(FindFirstFileW((directory + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = directory + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find.get(), &data));
    }
    RemoveDirectoryW(directory.c_str());
}

}  // namespace

std::wstring uniqueName(const std::wstring& stem) {
    static LONG counter = 0;
    return stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter));
}

ScratchDirectory::ScratchDirectory() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + uniqueName(L"vsssim");
    // Wine reuses process ids: a run that crashed may have left this name behind.
    removeTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDirectory::~ScratchDirectory() { removeTree(path_); }

std::wstring programPath(const std::wstring& name) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

void writeFile(const std::wstring& path, const std::string& content) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments,
                           const std::wstring& outputFile)
    : outputFile_(outputFile) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    support::KernelHandle output(CreateFileW(outputFile.c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &info)) {
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
    }
}

ChildProcess::~ChildProcess() {
    if (process_ && finish(30000) < 0) kill();
}

long ChildProcess::finish(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return static_cast<long>(code);
}

std::string ChildProcess::output() const {
    std::string text = readFile(outputFile_);
    std::string lines;
    for (char c : text)
        if (c != '\r') lines += c;
    return lines;
}

void ChildProcess::kill() {
    if (!process_) return;
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), INFINITE);
}

SampleWriterProcess::SampleWriterProcess(const ScratchDirectory& scratch,
                                         const std::wstring& instance,
                                         const std::wstring& extraArguments)
    : stopEventName_(uniqueName(L"sample-writer-stop")),
      stopEvent_(CreateEventW(nullptr, TRUE, FALSE, stopEventName_.c_str())),
      logFile_(scratch / (instance + L".log")),
      child_(programPath(L"sample_writer.exe"),
             L"--instance \"" + instance + L"\" --data \"" + (scratch / L"data") + L"\" --log \"" +
                 logFile_ + L"\" --stop-event " + stopEventName_ + L" " + extraArguments,
             scratch / (instance + L".out")) {
    for (int waited = 0; waited < 3000 && child_.started(); ++waited) {
        std::string said = child_.output();
        if (said.find("subscribe 0x00000000") != std::string::npos) {
            subscribed_ = true;
            return;
        }
        if (said.find("subscribe") != std::string::npos || child_.finish(0) >= 0) return;
        Sleep(10);
    }
}

SampleWriterProcess::~SampleWriterProcess() { stop(); }

long SampleWriterProcess::stop() {
    SetEvent(stopEvent_.get());
    return child_.finish();
}

VssreqResult runVssreq(const ScratchDirectory& scratch, const std::wstring& arguments) {
    ChildProcess child(programPath(L"vssreq.exe"), arguments, scratch / uniqueName(L"vssreq"));
    long code = child.finish();
    return {code, child.output()};
}

}  // namespace vsssim::testing
