#pragma once
// The launcher's only window, TDownLoadF: a title, the close picture button,
// one flat button per client program, the status line and the progress bar.
// A click arms a one-second timer; its tick runs one update cycle.

#include <windows.h>

#include <memory>
#include <string>

#include "launcher/database_engine.h"
#include "launcher/ftp_client.h"
#include "launcher/progress_text.h"
#include "launcher/settings.h"
#include "support/unique_handle.h"

namespace launcher {

// Caption of the launcher's message boxes and title of its taskbar button.
inline constexpr wchar_t kApplicationTitle[] = L"Sendaro RDC DOWNLOAD";

class DownloadForm : public TransferObserver {
public:
    DownloadForm(HINSTANCE instance, const Settings& settings);
    ~DownloadForm() override;
    DownloadForm(const DownloadForm&) = delete;
    DownloadForm& operator=(const DownloadForm&) = delete;

    // Creates the window and its controls and sets up the database; false
    // only when the window itself could not be made.
    bool create();
    void show(int showCommand);

    // What the update cycle does with the window.
    void setStatus(const std::wstring& text);
    void enableClose(bool enabled);
    void requestClose();
    void processPendingMessages();
    void showMessage(const std::wstring& text);
    void showError(const std::wstring& text);
    HWND handle() const { return window_; }
    FtpClient& ftp() { return ftp_; }
    DatabaseEngine* engine() { return queryAttached_ ? engine_.get() : nullptr; }

    void transferBegins(std::uint64_t expectedBytes) override;
    void transferProgress(std::uint64_t bytesSoFar) override;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK applicationProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    bool createApplicationWindow();
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void createControls();
    HWND addControl(const wchar_t* className, const wchar_t* text, DWORD style, RECT box, int id,
                    HGDIOBJ font);
    void formCreate();
    void formShow();
    void onCommand(int id);
    void onProgramButton(const wchar_t* programName);
    void onTimer();
    void close();
    void drawCloseButton(const DRAWITEMSTRUCT& item);

    HINSTANCE instance_;
    Settings settings_;
    HWND applicationWindow_ = nullptr;
    HWND window_ = nullptr;
    HWND closeButton_ = nullptr;
    HWND statusLine_ = nullptr;
    HWND progressBar_ = nullptr;
    support::GdiObject titleFont_;
    support::GdiObject textFont_;
    support::GdiObject background_;
    std::wstring programName_;
    bool cycleRunning_ = false;
    bool closePending_ = false;
    TransferProgress progress_;
    bool barFollowsTransfer_ = false;
    FtpClient ftp_;
    std::unique_ptr<DatabaseEngine> engine_;
    bool queryAttached_ = false;
};

}  // namespace launcher
