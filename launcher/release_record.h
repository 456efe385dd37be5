#pragma once
// The texts of one update cycle: the version query, the package and
// release-notes names, VERSION.INI as first written, and the test whether the
// installed copy is current. Pure text work: no Windows header.

#include <string>
#include <string_view>

namespace launcher {

// One row of the version table, every column read as text.
struct ReleaseRow {
    std::wstring exeFile;  // EXFILE
    std::wstring version;  // VERSON
    std::wstring exeSize;  // EXSIZE
    std::wstring inDate;   // INDATE
    std::wstring notes;    // UPTEXT
};

// What VERSION.INI and the directory say about the installed copy.
struct InstalledCopy {
    bool versionFileHasContent = false;  // VERSION.INI exists and is not 0 bytes
    bool hasSection = false;             // a section named like the program (any case)
    std::wstring version;                // VERSION of that section, empty if missing
    std::wstring exeSize;                // EXESIZE of that section, empty if missing
    bool programFileExists = false;
};

// The version query's two lines, each with its line break.
std::wstring versionQuery(std::wstring_view programName);

std::wstring packageName(const ReleaseRow& row);
std::wstring releaseNotesFileName(const ReleaseRow& row);

// Tests in the order the checks are defined, so a size text that is no number
// only raises NumberConversionError when everything before it matched.
bool isInstalledCopyCurrent(const InstalledCopy& installed, const ReleaseRow& row);

// VERSION.INI when the launcher creates it: five lines, each ended by CR LF.
std::wstring newVersionFileText(std::wstring_view programName, const ReleaseRow& row);

// Release notes are shown only when they hold more than blanks and line breaks.
bool hasReleaseNotes(const ReleaseRow& row);
std::wstring releaseNotesText(const ReleaseRow& row);

}  // namespace launcher
