#include "component_text.h"

#include <cwchar>

namespace snapscribe {

std::wstring joinLogicalPath(std::initializer_list<std::wstring_view> parts) {
    std::wstring joined;
    for (std::wstring_view part : parts) {
        if (part.empty()) continue;
        if (!joined.empty()) joined += L'\\';
        joined += part;
    }
    return joined;
}

bool selectableForBackup(std::wstring_view name) {
    for (std::wstring_view prefix :
         {std::wstring_view(kDatabaseComponent), std::wstring_view(kArchiveDestPrefix),
          std::wstring_view(kRecoveryAreaComponent)}) {
        if (name.starts_with(prefix)) return true;
    }
    return false;
}

FileSpecification splitFileSpecification(std::wstring_view fullPath) {
    const std::size_t last = fullPath.rfind(L'\\');
    if (last == std::wstring_view::npos) return {L"", std::wstring(fullPath)};
    return {std::wstring(fullPath.substr(0, last)), std::wstring(fullPath.substr(last + 1))};
}

std::optional<std::uint64_t> parseBackupStamp(std::wstring_view stamp) {
    const std::wstring text(stamp);
    unsigned long high = 0;
    unsigned long low = 0;
    if (std::swscanf(text.c_str(), L"FILETIME=%lu,%lu;", &high, &low) != 2) return std::nullopt;
    return (std::uint64_t{static_cast<std::uint32_t>(high)} << 32) |
           static_cast<std::uint32_t>(low);
}

}  // namespace snapscribe
