#include "relocation_text.h"

#include <algorithm>

namespace snapscribe {

FileNameParts splitFileName(const std::string& fileName) {
    const std::size_t cut = fileName.find_last_of("\\/:");
    const std::size_t nameStart = cut == std::string::npos ? 0 : cut + 1;
    const std::string name = fileName.substr(nameStart);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {fileName.substr(0, nameStart), name, ""};
    return {fileName.substr(0, nameStart), name.substr(0, dot), name.substr(dot)};
}

std::vector<std::string> controlFileNames(const std::string& value) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at <= value.size()) {
        const std::size_t comma = std::min(value.find(',', at), value.size());
        const std::size_t start = value.find_first_not_of(" \t", at);
        if (start != std::string::npos && start < comma) {
            names.push_back(value.substr(start, comma - start));
        }
        at = comma + 1;
    }
    return names;
}

bool liesDirectlyIn(const std::string& fileName, const std::string& path) {
    const std::string directory = splitFileName(fileName).directory;
    if (directory.empty()) return false;
    const std::size_t length = directory.size() - 1;
    return path.compare(0, length, directory, 0, length) == 0;
}

}  // namespace snapscribe
