#pragma once
// Identifiers of the launcher window's controls, so tests and accessibility
// tools can find each one with GetDlgItem.

namespace launcher {

inline constexpr wchar_t kWindowClass[] = L"TDownLoadF";
// The window behind the launcher's taskbar button.
inline constexpr wchar_t kApplicationWindowClass[] = L"KdLauncherApplication";

enum ControlId : int {
    kLabel1Id = 1001,
    kLabel4Id = 1002,
    kCloseButtonId = 1010,
    kManagerButtonId = 1011,
    kRdcButtonId = 1012,
    kPartnerButtonId = 1013,
    kStatusLineId = 1020,
    kProgressBarId = 1021,
};

}  // namespace launcher
