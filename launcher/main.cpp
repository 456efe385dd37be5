// kdlauncher: refuses to run twice, then opens the download window.

#include <windows.h>

#include <optional>

#include "launcher/download_form.h"
#include "launcher/win_text.h"

namespace {

constexpr wchar_t kInstanceMarker[] = L"kdlauncher";
constexpr wchar_t kAlreadyRunningText[] = L"프로그램이 이미 실행중입니다!";
constexpr wchar_t kAlreadyRunningCaption[] = L"DownLoad";

// The marker is never closed: it lives exactly as long as this process.
bool anotherInstanceRuns() {
    HANDLE marker =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1024, kInstanceMarker);
    return marker != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

std::optional<std::wstring> environmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

// A malformed update server setting is shown, and the default server stands
// in for it: the window still opens and the installed programs still start.
launcher::Settings startSettings() {
    const std::optional<std::wstring> netService = environmentValue(launcher::kNetServiceVariable);
    try {
        return launcher::makeSettings(environmentValue(launcher::kUpdateServerVariable),
                                      netService);
    } catch (const std::exception& error) {
        MessageBoxW(nullptr, launcher::toWide(error.what()).c_str(), launcher::kApplicationTitle,
                    MB_OK | MB_ICONERROR);
        return launcher::makeSettings(std::nullopt, netService);
    }
}

int runMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    if (anotherInstanceRuns()) {
        MessageBoxW(nullptr, kAlreadyRunningText, kAlreadyRunningCaption, MB_OK);
        return 0;
    }
    launcher::DownloadForm form(instance, startSettings());
    if (!form.create()) return 1;
    form.show(showCommand);
    return runMessageLoop();
}
