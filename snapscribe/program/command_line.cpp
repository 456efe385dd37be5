#include "command_line.h"

#include <cwchar>
#include <cwctype>

#include "snapscribe/host/writer_settings.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kMillisPerSecond = 1000;

bool startsWithOption(const std::wstring& word, const std::wstring& prefix) {
    return word.size() >= prefix.size() && isOption(word.substr(0, prefix.size()), prefix.c_str());
}

class OptionReader {
public:
    OptionReader(const Words& words, std::size_t first, bool developerMode,
                 const RunSettings& current)
        : words_(words), at_(first), developerMode_(developerMode) {
        options_.settings = current;
    }

    InstanceOptions read() {
        while (at_ < words_.size()) {
            const std::wstring& word = words_[at_++];
            if (isOption(word, L"/i")) return install();
            if (isOption(word, L"/d")) {
                options_.action = InstanceAction::Remove;
                return options_;
            }
            if (!readValueOption(word)) note(NoteKind::IgnoredArgument, word);
        }
        return options_;
    }

private:
    bool hasValue() const { return at_ < words_.size(); }
    const std::wstring& value() { return words_[at_++]; }
    void note(NoteKind kind, const std::wstring& text, std::int32_t number = 0) {
        options_.notes.push_back({kind, text, number});
    }

    // False when `word` is no option taking a value here, or its value is missing.
    bool readValueOption(const std::wstring& word) {
        if (!hasValue()) return false;
        if (isOption(word, L"/tl")) return traceLevel(value());
        if (isOption(word, L"/tf")) return traceFile(value());
        if (!developerMode_) return false;
        if (isOption(word, L"/h")) return hang(value());
        if (isOption(word, L"/fp")) return failPhase(value());
        return false;
    }

    bool traceLevel(const std::wstring& word) {
        RunSettings& settings = options_.settings;
        if (settings.traceLevel != 0 && settings.traceLevel != kTraceLevelAll) {
            note(NoteKind::CurrentTraceLevel, L"", static_cast<std::int32_t>(settings.traceLevel));
        }
        int level = 0;
        if (std::swscanf(word.c_str(), L"%d", &level) == 1) {
            settings.traceLevel = static_cast<std::uint32_t>(level);
        }
        options_.traceLevelGiven = true;
        return true;
    }

    bool traceFile(const std::wstring& word) {
        if (!options_.settings.traceFile.empty()) {
            note(NoteKind::CurrentTraceFile, options_.settings.traceFile);
        }
        options_.settings.traceFile = word;
        options_.traceFileGiven = true;
        return true;
    }

    bool hang(const std::wstring& word) {
        RunSettings& settings = options_.settings;
        settings.hangEnabled = true;
        unsigned long seconds = 0;
        if (std::swscanf(word.c_str(), L"%lu", &seconds) == 1) {
            settings.hangMillis = static_cast<std::uint32_t>(seconds);
        }
        settings.hangMillis *= kMillisPerSecond;
        return true;
    }

    bool failPhase(const std::wstring& word) {
        const Phase phase = word.empty() ? PhaseNone : phaseFromLetter(word[0]);
        if (phase == PhaseNone) {
            note(NoteKind::IgnoredParameter, word);
        } else {
            options_.settings.failPhase = phase;
        }
        return true;
    }

    InstanceOptions install() {
        options_.action = InstanceAction::Install;
        if (!hasValue() || !startsWithOption(words_[at_], L"/user:")) return options_;
        options_.account = value().substr(std::wcslen(L"/user:"));
        if (hasValue() && startsWithOption(words_[at_], L"/password:")) {
            options_.password = value().substr(std::wcslen(L"/password:"));
            note(NoteKind::ServiceAccount, options_.account);
        } else {
            options_.passwordFromInput = true;
        }
        return options_;
    }

    const Words& words_;
    std::size_t at_;
    bool developerMode_;
    InstanceOptions options_;
};

}  // namespace

bool isOption(const std::wstring& word, const wchar_t* option) {
    const std::size_t length = std::wcslen(option);
    if (word.size() != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (std::towlower(word[i]) != std::towlower(option[i])) return false;
    }
    return true;
}

LeadingWords readLeadingWords(const Words& words) {
    LeadingWords leading;
    const auto pairAt = [&](const wchar_t* option) {
        return leading.next + 1 < words.size() && isOption(words[leading.next], option);
    };
    if (pairAt(L"/host")) {
        leading.machine = words[leading.next + 1];
        leading.next += 2;
    }
    if (pairAt(L"/exepath")) {
        leading.programPath = words[leading.next + 1];
        leading.next += 2;
    }
    return leading;
}

std::optional<ServiceQuery> readQuery(const Words& words, std::size_t first) {
    if (first >= words.size() || !isOption(words[first], L"/q")) return std::nullopt;
    if (first + 1 >= words.size()) return ServiceQuery::List;
    const std::wstring& action = words[first + 1];
    if (isOption(action, L"/status")) return ServiceQuery::Status;
    if (isOption(action, L"/start")) return ServiceQuery::Start;
    if (isOption(action, L"/stop")) return ServiceQuery::Stop;
    return ServiceQuery::List;
}

InstanceOptions readInstanceOptions(const Words& words, std::size_t first, bool developerMode,
                                    const RunSettings& current) {
    return OptionReader(words, first, developerMode, current).read();
}

}  // namespace snapscribe
