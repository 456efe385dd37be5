#pragma once
// Text conversions and Win32 error texts for the launcher. Exception texts are
// UTF-8 throughout; they become wide text only when a box shows them.

#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "support/code_page_text.h"

namespace launcher {

using support::toNarrow;
using support::toWide;

// A failed Win32 call: "<what>: <the system's text for the code>".
class Win32Error : public std::runtime_error {
public:
    Win32Error(const std::string& what, DWORD code);
    DWORD code() const { return code_; }

private:
    DWORD code_;
};

// Throws Win32Error with GetLastError() when `succeeded` is false.
void check(bool succeeded, const std::string& what);

// The directory of this program's file, with a trailing backslash.
std::wstring programDirectory();

bool fileExists(const std::wstring& path);

}  // namespace launcher
