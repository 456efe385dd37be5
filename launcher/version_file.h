#pragma once
// VERSION.INI and the release-notes file on disk. Both are text in the
// system's ANSI code page, as the client programs read them.

#include <string>

#include "launcher/release_record.h"

namespace launcher {

InstalledCopy readInstalledCopy(const std::wstring& directory, const std::wstring& programName);

// A new VERSION.INI of exactly five lines. Throws Win32Error.
void createVersionFile(const std::wstring& path, const std::wstring& programName,
                       const ReleaseRow& row);

// The four keys written into the program's section as INI files are updated:
// other sections and keys stay. Throws Win32Error.
void updateVersionFile(const std::wstring& path, const std::wstring& programName,
                       const ReleaseRow& row);

// Writes `text` in the ANSI code page, replacing any file at `path`. Throws Win32Error.
void writeAnsiTextFile(const std::wstring& path, const std::wstring& text);

}  // namespace launcher
