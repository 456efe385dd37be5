#pragma once
// Between the document model's UTF-16 texts and the Win32 wide strings they
// are on this platform, and GUIDs as registry-format text.

#include <windows.h>

#include <string>

#include "sim/vss/model/documents.h"

namespace vsssim {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 here");

inline Text toText(const wchar_t* value) {
    return value ? Text(reinterpret_cast<const char16_t*>(value)) : Text();
}
inline Text toText(const std::wstring& value) {
    return Text(reinterpret_cast<const char16_t*>(value.data()), value.size());
}
inline std::wstring toWide(const Text& value) {
    return std::wstring(reinterpret_cast<const wchar_t*>(value.data()), value.size());
}

Text guidText(const GUID& id);
// False when `text` is not a GUID in braces.
bool parseGuid(const Text& text, GUID& id);

// Console output of wide text in the console's code page, never truncated at
// units the code page lacks.
std::string narrowForConsole(const Text& value);

}  // namespace vsssim
