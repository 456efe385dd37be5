// Drives and reads a running launcher window the way an accessibility tool
// would, for the process-level tests. One command per run; answers in UTF-8.
//   launcher_probe state                    controls' texts and states, one per line
//   launcher_probe wait-window MS           until the launcher's window is shown
//   launcher_probe wait-status TEXT MS      until the status line reads TEXT
//   launcher_probe click ID                 clicks the control with that id
//   launcher_probe close                    asks the window to close (WM_CLOSE)
//   launcher_probe dialog MS                waits for a message box, prints its
//                                           caption and text, and presses OK
//   launcher_probe lock PATH MS             holds PATH open, shared with nobody
//   launcher_probe map PATH MS              holds PATH mapped as a program image, as
//                                           a running program holds its file
// Exit status 0 on success, 1 on a timeout, 2 on a usage error.

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "support/code_page_text.h"

#include "launcher/control_ids.h"

namespace {

constexpr DWORD kPollMilliseconds = 50;

void print(const std::wstring& text) {
    const std::string bytes = support::toNarrow(text + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

// The text the system keeps for the window: readable even while the
// launcher's thread is busy with a transfer. Line breaks become "\n".
std::wstring windowText(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    std::wstring escaped;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c == L'\n')
            escaped += L"\\n";
        else if (*c != L'\r')
            escaped += *c;
    }
    return escaped;
}

LRESULT askControl(HWND control, UINT message, WPARAM wParam) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(control, message, wParam, 0, SMTO_ABORTIFHUNG, 2000, &answer);
    return static_cast<LRESULT>(answer);
}

HWND launcherWindow() { return FindWindowW(launcher::kWindowClass, nullptr); }

template <typename Condition>
bool waitFor(DWORD timeout, Condition condition) {
    const ULONGLONG end = GetTickCount64() + timeout;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        Sleep(kPollMilliseconds);
    }
    return true;
}

// Windows with a taskbar button: visible, and unowned (not a tool window) or
// marked as application windows.
BOOL CALLBACK noteTaskbarWindow(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<std::pair<DWORD, std::wstring>*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    const LONG extended = GetWindowLongW(window, GWL_EXSTYLE);
    const bool button =
        (GetWindow(window, GW_OWNER) == nullptr && !(extended & WS_EX_TOOLWINDOW)) ||
        (extended & WS_EX_APPWINDOW);
    if (process == found->first && IsWindowVisible(window) && button) {
        found->second += L"\t" + windowText(window);
    }
    return TRUE;
}

std::wstring taskbarTitles(HWND launcher) {
    std::pair<DWORD, std::wstring> found;
    GetWindowThreadProcessId(launcher, &found.first);
    EnumWindows(noteTaskbarWindow, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

void printState() {
    HWND window = launcherWindow();
    if (!window) {
        print(L"window\tnone");
        return;
    }
    print(L"window\t" + windowText(window));
    print(L"taskbar" + taskbarTitles(window));
    RECT client{};
    GetClientRect(window, &client);
    print(L"client\t" + std::to_wstring(client.right) + L"\t" + std::to_wstring(client.bottom));
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    print(L"style\t" + std::wstring(style & WS_SYSMENU ? L"sysmenu" : L"nosysmenu") + L"\t" +
          (style & WS_THICKFRAME ? L"sizable" : L"fixed") + L"\t" +
          (style & WS_CAPTION ? L"caption" : L"nocaption"));
    RECT frame{};
    GetWindowRect(window, &frame);
    print(L"frame\t" + std::to_wstring(frame.left) + L"\t" + std::to_wstring(frame.top) + L"\t" +
          std::to_wstring(frame.right) + L"\t" + std::to_wstring(frame.bottom));
    for (int id : {launcher::kLabel1Id, launcher::kLabel4Id, launcher::kCloseButtonId,
                   launcher::kManagerButtonId, launcher::kRdcButtonId, launcher::kPartnerButtonId,
                   launcher::kStatusLineId}) {
        HWND control = GetDlgItem(window, id);
        print(std::to_wstring(id) + L"\t" + (IsWindowEnabled(control) ? L"enabled" : L"disabled") +
              L"\t" + windowText(control));
    }
    HWND bar = GetDlgItem(window, launcher::kProgressBarId);
    const LRESULT position = askControl(bar, 0x0408 /* PBM_GETPOS */, 0);
    const LRESULT maximum = askControl(bar, 0x0407 /* PBM_GETRANGE */, FALSE);
    print(L"progress\t" + std::to_wstring(position) + L"\t" + std::to_wstring(maximum));
}

struct DialogSearch {
    HWND found = nullptr;
};

BOOL CALLBACK findDialog(HWND window, LPARAM context) {
    wchar_t className[64] = L"";
    GetClassNameW(window, className, 64);
    // Only message boxes: a dialog with the message text control.
    if (std::wstring(className) == L"#32770" && IsWindowVisible(window) &&
        GetDlgItem(window, 0xFFFF) != nullptr) {
        reinterpret_cast<DialogSearch*>(context)->found = window;
        return FALSE;
    }
    return TRUE;
}

// A message box's text is its static control 0xFFFF; OK is IDOK, or IDCANCEL
// when the box only has one button.
int answerDialog(DWORD timeout) {
    DialogSearch search;
    if (!waitFor(timeout, [&] {
            EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        })) {
        print(L"no dialog");
        return 1;
    }
    print(L"caption\t" + windowText(search.found));
    print(L"text\t" + windowText(GetDlgItem(search.found, 0xFFFF)));
    HWND ok = GetDlgItem(search.found, IDOK);
    if (!ok) ok = GetDlgItem(search.found, IDCANCEL);
    PostMessageW(ok, BM_CLICK, 0, 0);
    waitFor(timeout, [&] { return !IsWindow(search.found); });
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const DWORD timeout = argc > 2 ? static_cast<DWORD>(_wtoi(argv[argc - 1])) : 0;
    if (command == L"state") {
        printState();
        return 0;
    }
    if (command == L"wait-window") {
        return waitFor(timeout, [] { return IsWindowVisible(launcherWindow()) != FALSE; }) ? 0 : 1;
    }
    if (command == L"wait-status" && argc == 4) {
        const std::wstring wanted = argv[2];
        const bool seen = waitFor(timeout, [&] {
            return windowText(GetDlgItem(launcherWindow(), launcher::kStatusLineId)) == wanted;
        });
        if (!seen) printState();
        return seen ? 0 : 1;
    }
    if (command == L"click" && argc == 3) {
        HWND control = GetDlgItem(launcherWindow(), _wtoi(argv[2]));
        if (!control) return 1;
        PostMessageW(control, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"close") return PostMessageW(launcherWindow(), WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"dialog") return answerDialog(timeout);
    if (command == L"lock" && argc == 4) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        print(L"locked");
        Sleep(timeout);
        CloseHandle(file);
        return 0;
    }
    if (command == L"map" && argc == 4) {
        HMODULE image = LoadLibraryExW(argv[2], nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!image) return 1;
        print(L"mapped");
        Sleep(timeout);
        FreeLibrary(image);
        return 0;
    }
    std::fputs(
        "usage: launcher_probe state|wait-window MS|wait-status TEXT MS|click ID|close|dialog MS|"
        "lock PATH MS|map PATH MS\n",
        stderr);
    return 2;
}
