#pragma once
// The database keeps its names in the system code page.

#include <string>

#include "support/code_page_text.h"

namespace vorlix {

inline std::wstring widen(std::string_view narrow) { return support::toWide(narrow, CP_ACP); }
inline std::string narrow(std::wstring_view wide) { return support::toNarrow(wide, CP_ACP); }

}  // namespace vorlix
