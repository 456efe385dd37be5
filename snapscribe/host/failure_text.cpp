#include "failure_text.h"

#include <cwchar>
#include <iterator>
#include <vector>

namespace snapscribe {
namespace {

constexpr std::size_t kFailureMessageMaxChars = 500;

struct LanguageSuffix {
    std::uint16_t language;
    const wchar_t* suffix;
};

// Chinese and Brazilian Portuguese are told apart by their sublanguage.
constexpr LanguageSuffix kFullLanguageSuffixes[] = {
    {0x404, L"ZHT"}, {0xC04, L"ZHT"},  {0x1404, L"ZHT"},
    {0x804, L"ZHS"}, {0x1004, L"ZHS"}, {0x416, L"PTB"},
};

constexpr LanguageSuffix kPrimaryLanguageSuffixes[] = {
    {1, L"AR"},  {4, L"ZHS"}, {5, L"CS"},  {6, L"DK"},  {7, L"D"},   {8, L"EL"},
    {10, L"E"},  {11, L"SF"}, {12, L"F"},  {13, L"IW"}, {14, L"HU"}, {16, L"I"},
    {17, L"JA"}, {18, L"KO"}, {19, L"NL"}, {20, L"N"},  {21, L"PL"}, {22, L"PT"},
    {24, L"RO"}, {25, L"RU"}, {27, L"SK"}, {29, L"S"},  {30, L"TH"}, {31, L"TR"},
};

template <std::size_t N>
const wchar_t* findSuffix(const LanguageSuffix (&table)[N], std::uint16_t language) {
    for (const LanguageSuffix& entry : table) {
        if (entry.language == language) return entry.suffix;
    }
    return nullptr;
}

}  // namespace

const wchar_t* phaseName(int phase) {
    static constexpr const wchar_t* kNames[] = {
        L"Identify",
        L"PrepareForBackup",
        L"PrepareForSnapshot",
        L"Freeze",
        L"Thaw",
        L"PostSnapsot",
        L"Abort",
        L"BackupComplete",
        L"BackupShutdown",
        L"PreRestore",
        L"PostRestore",
    };
    if (phase < 1 || phase > static_cast<int>(std::size(kNames))) return L"UNDEFINED";
    return kNames[phase - 1];
}

const wchar_t* failureName(std::uint32_t code) {
    switch (code) {
        case 0: return L"";
        case 0x800423F0: return L"InconsistentSnapshot";
        case 0x800423F1: return L"OutOfResources";
        case 0x800423F2: return L"Timeout";
        case 0x800423F3: return L"Retryable";
        case 0x800423F4: return L"Non-Retryable";
        default: return L"UNDEFINED";
    }
}

std::wstring failureMessage(const std::wstring& banner, long line, int phase) {
    static constexpr const wchar_t* kFormat =
        L"%ls\n%ls\nError at line : %ld\nFailure on %ls event\n";
    const wchar_t* name = phaseName(phase);
    std::vector<wchar_t> text(banner.size() + std::wcslen(kWriterVersionText) + std::wcslen(name) +
                              64);
    const int length = std::swprintf(text.data(), text.size(), kFormat, banner.c_str(),
                                     kWriterVersionText, line, name);
    std::wstring message(text.data(), length < 0 ? 0 : static_cast<std::size_t>(length));
    if (message.size() > kFailureMessageMaxChars) message.resize(kFailureMessageMaxChars);
    return message;
}

const wchar_t* messageSuffix(std::uint16_t language) {
    if (const wchar_t* suffix = findSuffix(kFullLanguageSuffixes, language)) return suffix;
    const wchar_t* suffix = findSuffix(kPrimaryLanguageSuffixes, language & 0x3FF);
    return suffix != nullptr ? suffix : L"US";
}

}  // namespace snapscribe
