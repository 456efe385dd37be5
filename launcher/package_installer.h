#pragma once
// Installs a release package into the launcher's directory as one step: every
// entry is unpacked and checked into a staging folder first, and only then do
// the new files replace the installed ones. Any failure on the way puts the
// directory back as it was, so a program is never left half-installed.

#include <stdexcept>
#include <string>
#include <vector>

namespace launcher {

// Why a package could not be installed; the installed files are unchanged.
class InstallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Unpacks every file entry of `packagePath` under its bare name into
// `directory` (with a trailing backslash), replacing existing files; a later
// entry of the same name wins. Returns the names installed.
std::vector<std::wstring> installPackage(const std::wstring& packagePath,
                                         const std::wstring& directory);

}  // namespace launcher
