// The texts of an update cycle built from any version-table row: VERSION.INI
// as first written holds exactly its five lines when the row holds no line
// breaks, and the currency test fails only with NumberConversionError.

#include "fuzz/fuzz_input.h"
#include "launcher/extract_number.h"
#include "launcher/release_record.h"

namespace {

using launcher::InstalledCopy;
using launcher::ReleaseRow;

std::size_t lineCount(const std::wstring& text) {
    std::size_t count = 0;
    for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos;
         at = text.find(L"\r\n", at + 2)) {
        ++count;
    }
    return count;
}

bool holdsLineBreak(const std::wstring& text) {
    return text.find_first_of(L"\r\n") != std::wstring::npos;
}

void checkVersionFile(const std::wstring& program, const ReleaseRow& row) {
    const std::wstring text = launcher::newVersionFileText(program, row);
    bool plain = true;
    for (const std::wstring* field :
         {&program, &row.exeFile, &row.version, &row.exeSize, &row.inDate}) {
        plain = plain && !holdsLineBreak(*field);
    }
    if (plain) fuzzing::require(lineCount(text) == 5, "VERSION.INI has five lines");
    fuzzing::require(text.ends_with(L"\r\n"), "VERSION.INI ends its last line");
}

void checkCurrency(const InstalledCopy& installed, const ReleaseRow& row) {
    try {
        const bool current = launcher::isInstalledCopyCurrent(installed, row);
        if (current) {
            fuzzing::require(installed.version == row.version && installed.programFileExists,
                             "a current copy has the row's version and its program");
        }
    } catch (const launcher::NumberConversionError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    InstalledCopy installed;
    installed.versionFileHasContent = input.flag();
    installed.hasSection = input.flag();
    installed.programFileExists = input.flag();
    const std::wstring program = input.line();
    installed.version = input.line();
    installed.exeSize = input.line();
    ReleaseRow row{input.line(), input.line(), input.line(), input.line(), input.restAsWide()};

    checkVersionFile(program, row);
    checkCurrency(installed, row);
    fuzzing::require(launcher::versionQuery(program).find(program) != std::wstring::npos,
                     "the version query names the program");
    fuzzing::require(launcher::packageName(row).ends_with(L".ZIP"), "a package is a ZIP");
    fuzzing::require(launcher::releaseNotesText(row).ends_with(L"\r\n"),
                     "release notes end with a line break");
    return 0;
}
