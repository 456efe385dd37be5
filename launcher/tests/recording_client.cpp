// Stand-in for a client program (and for Notepad): appends one line to
// "started.log" beside itself saying which file ran, with which command line,
// in which working directory, then ends. Tests copy it under the names the
// launcher starts.

#include <windows.h>

#include <string>

#include "support/code_page_text.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self);
    const std::wstring directory = path.substr(0, path.find_last_of(L'\\') + 1);
    wchar_t workingDirectory[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, workingDirectory);
    const std::string line = support::toNarrow(path.substr(directory.size())) + "\t" +
                             support::toNarrow(GetCommandLineW()) + "\t" +
                             support::toNarrow(workingDirectory) + "\r\n";
    // Appends are atomic, so programs started close together keep whole lines.
    HANDLE log = CreateFileW((directory + L"started.log").c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
    return 0;
}
