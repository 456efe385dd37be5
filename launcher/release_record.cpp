#include "launcher/release_record.h"

#include <algorithm>

#include "launcher/extract_number.h"

namespace launcher {

std::wstring versionQuery(std::wstring_view programName) {
    return L"  SELECT * FROM VERSMP                            \r\n"
           L"   WHERE EXFILE = '" +
           std::wstring(programName) + L".exe'         \r\n";
}

std::wstring packageName(const ReleaseRow& row) { return row.version + L".ZIP"; }

std::wstring releaseNotesFileName(const ReleaseRow& row) { return row.version + L"등록내역.MG"; }

bool isInstalledCopyCurrent(const InstalledCopy& installed, const ReleaseRow& row) {
    return installed.versionFileHasContent && installed.hasSection &&
           installed.version == row.version &&
           extractNumber(installed.exeSize) == extractNumber(row.exeSize) &&
           installed.programFileExists;
}

std::wstring newVersionFileText(std::wstring_view programName, const ReleaseRow& row) {
    return L"[" + std::wstring(programName) + L"]\r\n" + L"EXEFILE=" + row.exeFile + L"\r\n" +
           L"VERSION=" + row.version + L"\r\n" + L"EXESIZE=" + row.exeSize + L"\r\n" + L"INDATE=" +
           row.inDate + L"\r\n";
}

bool hasReleaseNotes(const ReleaseRow& row) {
    return std::any_of(row.notes.begin(), row.notes.end(), [](wchar_t c) { return c > L' '; });
}

std::wstring releaseNotesText(const ReleaseRow& row) { return row.notes + L"\r\n"; }

}  // namespace launcher
