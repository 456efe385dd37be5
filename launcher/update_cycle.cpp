#include "launcher/update_cycle.h"

#include "launcher/download_form.h"
#include "launcher/package_installer.h"
#include "launcher/program_start.h"
#include "launcher/release_record.h"
#include "launcher/version_file.h"
#include "launcher/win_text.h"

namespace launcher {
namespace {

constexpr wchar_t kNoRowMessage[] = L"해당 실행파일이 없습니다. Dalvessa로 연락하세요.";
constexpr wchar_t kConnectingStatus[] = L"FTP를 접속해 최신버젼을 다운받습니다.";
constexpr wchar_t kFtpFailedStatus[] = L"프로그램 DownLoad 중 FTP통신 오류!!!";
constexpr wchar_t kUnpackingStatus[] = L"다운받을 압축파일을 풉니다.";
constexpr wchar_t kInstallFailedStatus[] =
    L"프로그램 설치 중 오류!!! 설치된 프로그램은 그대로입니다.";
constexpr wchar_t kInstallFailedMessage[] =
    L"새 버젼을 설치하지 못했습니다. 설치된 프로그램은 그대로입니다.";
constexpr wchar_t kDeletingStatus[] = L"백업파일을 삭제하고 있습니다.";
constexpr wchar_t kUpdatingIniStatus[] = L"ini파일을 수정하고 있습니다.";
constexpr wchar_t kCreatingIniStatus[] = L"ini파일을 생성하고 있습니다.";
constexpr wchar_t kDoneStatus[] = L"다운로드가 완료되었습니다.";
constexpr wchar_t kVersionFile[] = L"VERSION.INI";

std::optional<ReleaseRow> queryRelease(DownloadForm& form, const std::wstring& programName) {
    DatabaseEngine* engine = form.engine();
    if (!engine) throw std::runtime_error("qryTmp: the delivery database is not connected");
    return engine->firstReleaseRow(versionQuery(programName));
}

bool download(DownloadForm& form, const std::wstring& package, const std::wstring& target) {
    FtpClient& ftp = form.ftp();
    try {
        ftp.connect();
        ftp.retrieve(package, target, form);
        ftp.disconnect();
        return true;
    } catch (const std::exception&) {
        ftp.disconnect();
        return false;
    }
}

void recordRelease(DownloadForm& form, const std::wstring& directory,
                   const std::wstring& programName, const ReleaseRow& row) {
    const std::wstring path = directory + kVersionFile;
    if (fileExists(path)) {
        form.setStatus(kUpdatingIniStatus);
        updateVersionFile(path, programName, row);
    } else {
        form.setStatus(kCreatingIniStatus);
        createVersionFile(path, programName, row);
    }
}

// False when the notes could not be written; the error box has then said why.
bool showReleaseNotes(DownloadForm& form, const std::wstring& directory, const ReleaseRow& row) {
    if (!hasReleaseNotes(row)) return true;
    try {
        const std::wstring path = directory + releaseNotesFileName(row);
        writeAnsiTextFile(path, releaseNotesText(row));
        openInNotepad(form.handle(), path);
        return true;
    } catch (const std::exception& error) {
        form.enableClose(true);
        form.showError(toWide(error.what()));
        return false;
    }
}

// The package is deleted whatever happened; the installed program stays as
// it was and is not started, so the user sees the failure and may retry.
bool install(DownloadForm& form, const std::wstring& package, const std::wstring& directory) {
    try {
        installPackage(package, directory);
        return true;
    } catch (const InstallError& error) {
        DeleteFileW(package.c_str());
        form.setStatus(kInstallFailedStatus);
        form.enableClose(true);
        form.showError(std::wstring(kInstallFailedMessage) + L"\r\n" + toWide(error.what()));
        return false;
    }
}

}  // namespace

void runUpdateCycle(DownloadForm& form, const std::wstring& programName) {
    const std::optional<ReleaseRow> row = queryRelease(form, programName);
    if (!row) {
        form.showMessage(kNoRowMessage);
        return;
    }
    const std::wstring directory = programDirectory();
    if (isInstalledCopyCurrent(readInstalledCopy(directory, programName), *row)) {
        form.requestClose();
        startProgram(programName);
        return;
    }

    form.enableClose(false);
    form.setStatus(kConnectingStatus);
    const std::wstring package = directory + packageName(*row);
    if (!download(form, packageName(*row), package)) {
        // A transfer that broke off leaves part of a package; nothing can use it.
        DeleteFileW(package.c_str());
        form.setStatus(kFtpFailedStatus);
        runWithZeroArgument(programName);
        form.enableClose(true);
        return;
    }
    form.processPendingMessages();

    form.setStatus(kUnpackingStatus);
    if (!install(form, package, directory)) return;
    form.processPendingMessages();

    form.setStatus(kDeletingStatus);
    DeleteFileW(package.c_str());
    recordRelease(form, directory, programName, *row);
    if (!showReleaseNotes(form, directory, *row)) return;

    form.setStatus(kDoneStatus);
    form.enableClose(true);
    form.requestClose();
    startProgram(programName);
}

}  // namespace launcher
