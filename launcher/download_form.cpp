#include "launcher/download_form.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "launcher/control_ids.h"
#include "launcher/database_setup.h"
#include "launcher/update_cycle.h"
#include "launcher/win_text.h"

namespace launcher {
namespace {

constexpr wchar_t kCaption[] = L"Sendaro 관리자 시스템 DownLoad";
constexpr wchar_t kTitleText[] = L"Sendaro 관리자 시스템";
constexpr wchar_t kSubtitleText[] = L"DOWNLOAD System";
constexpr wchar_t kInitialStatus[] = L"프로그램 다운로드 준비중입니다.";
constexpr wchar_t kCloseButtonName[] = L"닫기";
constexpr int kClientWidth = 623;
constexpr int kClientHeight = 134;
constexpr UINT_PTR kCycleTimer = 1;
constexpr UINT kCycleDelayMilliseconds = 1000;

struct ProgramButton {
    int id;
    const wchar_t* caption;
    const wchar_t* programName;
    RECT box;
};

constexpr ProgramButton kProgramButtons[] = {
    {kManagerButtonId, L"매니져", L"VEZerez", {318, 38, 412, 72}},
    {kRdcButtonId, L"R D C ", L"VUVod", {418, 38, 512, 72}},
    {kPartnerButtonId, L"거래처", L"RAZiravuv", {518, 38, 612, 72}},
};

// Faces that carry Hangul on the systems the launcher meets; the first one
// installed is used, so the texts render whatever the system code page is.
constexpr const wchar_t* kHangulFaces[] = {L"맑은 고딕",   L"Malgun Gothic", L"굴림", L"Gulim",
                                           L"NanumGothic", L"돋움",          L"Dotum"};

int CALLBACK noteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

std::wstring hangulFace() {
    HDC screen = GetDC(nullptr);
    std::wstring face;
    for (const wchar_t* candidate : kHangulFaces) {
        LOGFONTW wanted{};
        wanted.lfCharSet = HANGUL_CHARSET;
        wcsncpy(wanted.lfFaceName, candidate, LF_FACESIZE - 1);
        bool found = false;
        EnumFontFamiliesExW(screen, &wanted, noteFontFound, reinterpret_cast<LPARAM>(&found), 0);
        if (found) {
            face = candidate;
            break;
        }
    }
    ReleaseDC(nullptr, screen);
    return face;
}

HFONT hangulFont(const std::wstring& face, int height, int weight) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfCharSet = HANGUL_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

}  // namespace

DownloadForm::DownloadForm(HINSTANCE instance, const Settings& settings)
    : instance_(instance), settings_(settings) {}

// The window proper is gone by now; it was owned by this one.
DownloadForm::~DownloadForm() {
    if (applicationWindow_) DestroyWindow(applicationWindow_);
}

bool DownloadForm::create() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    background_.reset(CreateSolidBrush(RGB(255, 255, 255)));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(background_.get());
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&windowClass)) return false;
    if (!createApplicationWindow()) return false;

    // A caption without a system menu has no title-bar buttons; no sizing frame.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    // Owned by the application window, so the taskbar shows that one's title.
    window_ = CreateWindowExW(0, kWindowClass, kCaption, style, x, y, width, height,
                              applicationWindow_, nullptr, instance_, this);
    if (!window_) return false;
    createControls();
    formCreate();
    return true;
}

// The taskbar button of the launcher: an unowned window of no size whose
// title is the application title. It hands activation and close requests on
// to the window proper.
bool DownloadForm::createApplicationWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = applicationProc;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = kApplicationWindowClass;
    if (!RegisterClassExW(&windowClass)) return false;
    const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
    applicationWindow_ = CreateWindowExW(
        0, kApplicationWindowClass, kApplicationTitle, style, GetSystemMetrics(SM_CXSCREEN) / 2,
        GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, instance_, this);
    return applicationWindow_ != nullptr;
}

LRESULT CALLBACK DownloadForm::applicationProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* form = reinterpret_cast<DownloadForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form && form->window_) {
        switch (message) {
            case WM_SETFOCUS:
                if (IsWindowEnabled(form->window_)) SetFocus(form->window_);
                return 0;
            case WM_CLOSE: PostMessageW(form->window_, WM_CLOSE, 0, 0); return 0;
            default: break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void DownloadForm::show(int showCommand) {
    formShow();
    ShowWindow(applicationWindow_, SW_SHOWNOACTIVATE);
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

HWND DownloadForm::addControl(const wchar_t* className, const wchar_t* text, DWORD style, RECT box,
                              int id, HGDIOBJ font) {
    HWND control =
        CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, box.left, box.top,
                        box.right - box.left, box.bottom - box.top, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void DownloadForm::createControls() {
    const std::wstring face = hangulFace();
    titleFont_.reset(hangulFont(face, -22, FW_BOLD));
    textFont_.reset(hangulFont(face, -12, FW_NORMAL));
    addControl(L"STATIC", kTitleText, SS_LEFT, {14, 8, 300, 36}, kLabel1Id, titleFont_.get());
    addControl(L"STATIC", kSubtitleText, SS_LEFT, {16, 40, 300, 58}, kLabel4Id, textFont_.get());
    closeButton_ = addControl(L"BUTTON", kCloseButtonName, BS_OWNERDRAW, {591, 6, 615, 30},
                              kCloseButtonId, textFont_.get());
    for (const ProgramButton& button : kProgramButtons) {
        addControl(L"BUTTON", button.caption, BS_PUSHBUTTON | BS_FLAT | WS_TABSTOP, button.box,
                   button.id, textFont_.get());
    }
    statusLine_ = addControl(L"STATIC", kInitialStatus, SS_LEFT | SS_NOPREFIX, {14, 84, 612, 102},
                             kStatusLineId, textFont_.get());
    progressBar_ = addControl(PROGRESS_CLASSW, L"", PBS_SMOOTH, {14, 108, 612, 124}, kProgressBarId,
                              textFont_.get());
    SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
    SendMessageW(progressBar_, PBM_SETPOS, 0, 0);
}

// The engine's settings, the alias and the connection, in this order; the
// first failure is shown and skips the rest, and the window opens all the same.
void DownloadForm::formCreate() {
    try {
        writeEngineSettings();
        engine_ = std::make_unique<DatabaseEngine>();
        ensureDeliveryAlias(*engine_, settings_);
        connectDeliveryDatabase(*engine_, settings_);
        queryAttached_ = true;
    } catch (const std::exception& error) {
        showError(toWide(error.what()));
    }
}

void DownloadForm::formShow() { ftp_.configure(settings_.ftp); }

void DownloadForm::setStatus(const std::wstring& text) {
    SetWindowTextW(statusLine_, text.c_str());
    // The transfer holds the thread; paint now rather than when messages run.
    UpdateWindow(statusLine_);
}

void DownloadForm::enableClose(bool enabled) { EnableWindow(closeButton_, enabled); }

// Takes effect once the running cycle has returned.
void DownloadForm::requestClose() { closePending_ = true; }

void DownloadForm::processPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void DownloadForm::showMessage(const std::wstring& text) {
    MessageBoxW(window_, text.c_str(), kApplicationTitle, MB_OK);
}

void DownloadForm::showError(const std::wstring& text) {
    MessageBoxW(window_, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

// Without a stated total the bar stays empty; the status line still shows the speed.
void DownloadForm::transferBegins(std::uint64_t expectedBytes) {
    progress_.begin(expectedBytes, GetTickCount64());
    barFollowsTransfer_ = expectedBytes > 0;
    const auto maximum = static_cast<LPARAM>(
        barFollowsTransfer_ ? std::min<std::uint64_t>(expectedBytes, INT_MAX) : 100);
    SendMessageW(progressBar_, PBM_SETRANGE32, 0, maximum);
    SendMessageW(progressBar_, PBM_SETPOS, 0, 0);
}

void DownloadForm::transferProgress(std::uint64_t bytesSoFar) {
    setStatus(progress_.update(TransferDirection::Receiving, bytesSoFar, GetTickCount64()));
    if (barFollowsTransfer_) {
        SendMessageW(progressBar_, PBM_SETPOS,
                     static_cast<WPARAM>(std::min<std::uint64_t>(bytesSoFar, INT_MAX)), 0);
        UpdateWindow(progressBar_);
    }
    // Answers what other programs (accessibility tools) ask the window, while
    // clicks and other input wait in the queue until the transfer is over.
    MSG pending;
    PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void DownloadForm::onProgramButton(const wchar_t* programName) {
    // The window runs messages inside a cycle; a click then must not start another.
    if (cycleRunning_) return;
    programName_ = programName;
    SetTimer(window_, kCycleTimer, kCycleDelayMilliseconds, nullptr);
}

void DownloadForm::onTimer() {
    KillTimer(window_, kCycleTimer);
    if (cycleRunning_) return;
    cycleRunning_ = true;
    const std::wstring programName = programName_;
    try {
        runUpdateCycle(*this, programName);
    } catch (const std::exception& error) {
        enableClose(true);
        showError(toWide(error.what()));
    }
    cycleRunning_ = false;
    if (closePending_) close();
}

// The window runs messages inside a cycle (and so may the shell while it
// starts a program): a close asked for then is kept until the cycle returns.
void DownloadForm::close() {
    if (cycleRunning_) {
        closePending_ = true;
        return;
    }
    if (ftp_.connected()) ftp_.disconnect();
    DestroyWindow(window_);
}

void DownloadForm::onCommand(int id) {
    if (id == kCloseButtonId) {
        close();
        return;
    }
    for (const ProgramButton& button : kProgramButtons) {
        if (button.id == id) onProgramButton(button.programName);
    }
}

void DownloadForm::drawCloseButton(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(background_.get()));
    const bool disabled = item.itemState & ODS_DISABLED;
    const bool pressed = item.itemState & ODS_SELECTED;
    support::GdiObject pen(CreatePen(PS_SOLID, 2, disabled ? RGB(190, 190, 190) : RGB(64, 64, 64)));
    HGDIOBJ previous = SelectObject(item.hDC, pen.get());
    const int inset = pressed ? 8 : 7;
    const RECT& r = item.rcItem;
    MoveToEx(item.hDC, r.left + inset, r.top + inset, nullptr);
    LineTo(item.hDC, r.right - inset, r.bottom - inset);
    MoveToEx(item.hDC, r.right - inset, r.top + inset, nullptr);
    LineTo(item.hDC, r.left + inset, r.bottom - inset);
    SelectObject(item.hDC, previous);
}

LRESULT DownloadForm::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) onCommand(LOWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kCycleTimer) onTimer();
            return 0;
        case WM_CTLCOLORSTATIC:
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(background_.get());
        case WM_DRAWITEM:
            drawCloseButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CLOSE: close(); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(window_, message, wParam, lParam);
    }
}

LRESULT CALLBACK DownloadForm::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form =
            static_cast<DownloadForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<DownloadForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return form ? form->onMessage(message, wParam, lParam)
                : DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace launcher
