#pragma once
// Where an archive entry may land: every entry is written under its bare file
// name straight into the launcher's directory, so a name must be a plain file
// name there and nothing else. Pure text work: no Windows header.

#include <string>
#include <string_view>

namespace launcher {

// The last component of an entry name ("bin/sub/a.dll" -> "a.dll"); both
// slash kinds separate folders. Empty for a folder entry ("bin/").
std::wstring bareFileName(std::wstring_view entryName);

// True when `name` names a file directly inside a directory: not "." or "..",
// no separators, drive or stream colons, wildcards or control characters, no
// trailing dot or blank (the system would strip it), and no device name such
// as CON or LPT1, which would write to a device instead of a file.
bool isPlainFileName(std::wstring_view name);

}  // namespace launcher
