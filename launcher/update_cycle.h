#pragma once
// One update cycle for one client program: the version query, the test
// whether the installed copy is current, the download, the installation, the
// version file, the release notes and the program start.

#include <string>

namespace launcher {

class DownloadForm;

// Runs the cycle for `programName` against the window's FTP client and
// database; errors the cycle does not handle itself propagate to the caller,
// which shows them in the error box.
void runUpdateCycle(DownloadForm& form, const std::wstring& programName);

}  // namespace launcher
