#pragma once
// Conversions between wide text and the system code page, in which the
// database keeps its names.

#include <string>

namespace vorlix {

std::wstring widen(const std::string& narrow);
std::string narrow(const std::wstring& wide);

}  // namespace vorlix
