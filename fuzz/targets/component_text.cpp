// The component tree's texts: a backup stamp the writer writes reads back to
// the same file time, a file specification splits into parts that rejoin to
// the full path, and a logical path never holds an empty part.

#include <cwchar>

#include "fuzz/fuzz_input.h"
#include "snapscribe/backup/component_text.h"

namespace {

using namespace snapscribe;

void checkStampRoundTrip(std::uint64_t fileTime) {
    wchar_t stamp[64];
    std::swprintf(stamp, 64, L"FILETIME=%u,%u;", static_cast<unsigned>(fileTime >> 32),
                  static_cast<unsigned>(fileTime & 0xFFFFFFFF));
    fuzzing::require(parseBackupStamp(stamp) == fileTime, "a written stamp reads back");
}

void checkSplit(const std::wstring& fullPath) {
    const FileSpecification parts = splitFileSpecification(fullPath);
    const std::wstring rejoined = fullPath.find(L'\\') == std::wstring::npos
                                      ? parts.fileSpec
                                      : parts.path + L'\\' + parts.fileSpec;
    fuzzing::require(rejoined == fullPath, "a file specification rejoins to its path");
    fuzzing::require(parts.fileSpec.find(L'\\') == std::wstring::npos,
                     "a file specification holds no folder");
}

bool holdsBackslash(const std::wstring& text) { return text.find(L'\\') != std::wstring::npos; }

void checkJoin(const std::wstring& a, const std::wstring& b, const std::wstring& c) {
    if (holdsBackslash(a) || holdsBackslash(b) || holdsBackslash(c)) return;
    const std::wstring joined = joinLogicalPath({a, b, c});
    fuzzing::require(joined.size() == a.size() + b.size() + c.size() + !a.empty() + !b.empty() +
                                          !c.empty() - !joined.empty() &&
                         !joined.starts_with(L'\\') && !joined.ends_with(L'\\') &&
                         joined.find(L"\\\\") == std::wstring::npos,
                     "parts are joined by one backslash, empty ones left out");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    checkStampRoundTrip(input.number<std::uint64_t>());
    const std::wstring first = input.line();
    const std::wstring second = input.line();
    const std::wstring rest = input.restAsWide();
    parseBackupStamp(rest);
    selectableForBackup(rest);
    checkSplit(rest);
    checkJoin(first, second, rest);
    return 0;
}
