#pragma once
// Starting the chosen client program and Notepad. Outcomes are not examined:
// the launcher's job ends with the request.

#include <windows.h>

#include <string>

namespace launcher {

// "<program>.exe 0", shown: how the program starts on the oldest systems and
// whenever the update server could not be reached.
void runWithZeroArgument(const std::wstring& programName);

// On major version 5 as runWithZeroArgument; on every other version the shell
// starts "<program>.exe" with raised rights and no parameters.
void startProgram(const std::wstring& programName);

// Notepad, owned by `owner`, opening the release-notes file.
void openInNotepad(HWND owner, const std::wstring& path);

}  // namespace launcher
