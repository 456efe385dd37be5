#include "launcher/program_start.h"

#include <shellapi.h>

#include <vector>

#include "support/unique_handle.h"

namespace launcher {
namespace {

DWORD windowsMajorVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    return version.dwMajorVersion;
}

}  // namespace

void runWithZeroArgument(const std::wstring& programName) {
    std::wstring commandLine = programName + L".exe 0";
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        const support::KernelHandle ownedProcess(process.hProcess);
        const support::KernelHandle ownedThread(process.hThread);
    }
}

void startProgram(const std::wstring& programName) {
    if (windowsMajorVersion() == 5) {
        runWithZeroArgument(programName);
        return;
    }
    const std::wstring file = programName + L".exe";
    ShellExecuteW(nullptr, L"runas", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void openInNotepad(HWND owner, const std::wstring& path) {
    ShellExecuteW(owner, L"open", L"notepad", path.c_str(), L"", SW_SHOWNORMAL);
}

}  // namespace launcher
