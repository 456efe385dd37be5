#include "sim/vss/model/paths.h"

namespace vsssim {

namespace {

char16_t folded(char16_t unit) {
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

bool sameUnit(char16_t a, char16_t b) {
    if (a == u'/') a = u'\\';
    if (b == u'/') b = u'\\';
    return folded(a) == folded(b);
}

bool matchFrom(const Text& name, std::size_t n, const Text& fileSpec, std::size_t s) {
    while (s < fileSpec.size()) {
        if (fileSpec[s] == u'*') {
            while (s < fileSpec.size() && fileSpec[s] == u'*') ++s;
            if (s == fileSpec.size()) return true;
            for (std::size_t k = n; k <= name.size(); ++k)
                if (matchFrom(name, k, fileSpec, s)) return true;
            return false;
        }
        if (n == name.size()) return false;
        if (fileSpec[s] != u'?' && !sameUnit(fileSpec[s], name[n])) return false;
        ++n;
        ++s;
    }
    return n == name.size();
}

}  // namespace

bool matchesFilespec(const Text& fileName, const Text& fileSpec) {
    // "*.*" names every file, with or without an extension.
    if (fileSpec == u"*.*") return true;
    return matchFrom(fileName, 0, fileSpec, 0);
}

Text withoutTrailingBackslash(const Text& path) {
    Text trimmed = path;
    while (!trimmed.empty() && (trimmed.back() == u'\\' || trimmed.back() == u'/'))
        trimmed.pop_back();
    return trimmed;
}

bool isPathUnder(const Text& path, const Text& directory) {
    Text root = withoutTrailingBackslash(directory);
    if (path.size() < root.size()) return false;
    for (std::size_t i = 0; i < root.size(); ++i)
        if (!sameUnit(path[i], root[i])) return false;
    return path.size() == root.size() || path[root.size()] == u'\\' || path[root.size()] == u'/';
}

bool isDirectoryCovered(const Text& directory, const Text& specPath, bool recursive) {
    if (recursive) return isPathUnder(directory, specPath);
    return withoutTrailingBackslash(directory).size() ==
               withoutTrailingBackslash(specPath).size() &&
           isPathUnder(directory, specPath);
}

bool isNamedBy(const Text& file, const Text& specPath, const Text& filespec, bool recursive) {
    Text directory, name;
    splitPath(file, directory, name);
    return isDirectoryCovered(directory, specPath, recursive) && matchesFilespec(name, filespec);
}

bool isRequiredFor(std::uint32_t typeMask, std::uint32_t backupType) {
    switch (backupType) {
        case kFull:
        case kCopy: return (typeMask & 0x1) != 0;
        case kDifferential: return (typeMask & 0x2) != 0;
        case kIncremental: return (typeMask & 0x4) != 0;
        case kLog: return (typeMask & 0x8) != 0;
        default: return true;
    }
}

Text storedPathFor(const Text& original) {
    Text stored = u"files\\";
    for (char16_t unit : original) {
        if (unit == u':') continue;
        stored += unit == u'/' ? u'\\' : unit;
    }
    return stored;
}

bool isComponentAtOrBelow(const Text& logicalPath, const Text& name, const Text& selectedPath) {
    if (fullPath(logicalPath, name) == selectedPath) return true;
    return logicalPath.compare(0, selectedPath.size(), selectedPath) == 0 &&
           (logicalPath.size() == selectedPath.size() || logicalPath[selectedPath.size()] == u'\\');
}

void splitPath(const Text& fullName, Text& directory, Text& fileName) {
    std::size_t slash = fullName.find_last_of(u"\\/");
    if (slash == Text::npos) {
        directory.clear();
        fileName = fullName;
        return;
    }
    directory = fullName.substr(0, slash);
    fileName = fullName.substr(slash + 1);
}

}  // namespace vsssim
