#pragma once
// Helpers shared by the tests of the trace, the event log and the failure
// reports: a scratch directory, whole-file reads, standard output captured
// into a file, and a recorder of reported events.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "snapscribe/host/event_observer.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe::testing {

inline std::string readWholeFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    return bytes;
}

// Text-mode files end their lines with CR LF; tests compare plain line feeds.
inline std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

// Drops the "Time <24 characters> : " part of time-stamped entries.
inline std::string withoutTimeStamps(const std::string& text) {
    static const std::regex stamp(
        "\nTime [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] "
        "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4} : ");
    return std::regex_replace(text, stamp, "\n");
}

// Test messages only: ASCII names and paths.
inline std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

inline std::wstring uniqueName(const wchar_t* stem) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = info->name();
    return stem + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::wstring(test.begin(), test.end());
}

// A fresh, empty directory under the temporary directory for each test
// (Wine reuses process ids, so a name alone is not enough), removed after it.
class ScratchDirectory {
public:
    ScratchDirectory() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + uniqueName(L"host-");
        std::filesystem::remove_all(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::wstring file(const wchar_t* name) const { return path_ + L"\\" + name; }
    std::string narrowFile(const char* name) const {
        return narrow(file(std::wstring(name, name + std::strlen(name)).c_str()));
    }

private:
    std::wstring path_;
};

// Points standard output at a file until destroyed, so tests can read what
// the process printed.
class CapturedStdout {
public:
    explicit CapturedStdout(const std::wstring& file) : file_(file) {
        std::fflush(stdout);
        saved_ = _dup(1);
        const int fd = _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
        _dup2(fd, 1);
        _close(fd);
    }
    ~CapturedStdout() { restore(); }
    std::string text() {
        restore();
        return withoutCarriageReturns(readWholeFile(file_));
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        _dup2(saved_, 1);
        _close(saved_);
        saved_ = -1;
    }
    std::wstring file_;
    int saved_ = -1;
};

// Collects every event the writer reports while it lives.
class EventRecorder {
public:
    EventRecorder() {
        setEventObserver([this](const ReportedEvent& event) { events.push_back(event); });
    }
    ~EventRecorder() { setEventObserver(nullptr); }
    std::vector<ReportedEvent> events;
};

// Every test starts without a trace and with empty trace settings.
class TraceSettingsReset {
public:
    TraceSettingsReset() { clear(); }
    ~TraceSettingsReset() { clear(); }

private:
    static void clear() {
        closeTrace();
        writerSettings().TraceLevel = 0;
        writerSettings().TraceFile.clear();
    }
};

}  // namespace snapscribe::testing
