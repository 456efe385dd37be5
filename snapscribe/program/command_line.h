#pragma once
// Reading the writer's command line: the leading machine and program path,
// "/q" with its action, and the options after an instance name. What the
// words ask for is returned; the caller carries it out.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service_names.h"

namespace snapscribe {

using Words = std::vector<std::wstring>;

// Words without the program name.
struct LeadingWords {
    std::wstring machine;      // after "/host"
    std::wstring programPath;  // after "/exepath"
    std::size_t next = 0;      // first word after them
};
LeadingWords readLeadingWords(const Words& words);

// The "/q" action when words[first] is "/q".
std::optional<ServiceQuery> readQuery(const Words& words, std::size_t first);

// The settings the options after an instance name change.
struct RunSettings {
    std::uint32_t traceLevel = 0;
    std::wstring traceFile;
    int failPhase = 0;
    bool hangEnabled = false;
    std::uint32_t hangMillis = 0;
};

enum class InstanceAction { RunWriter, Install, Remove };

// What to tell, in the order the words were read.
enum class NoteKind {
    IgnoredArgument,
    IgnoredParameter,
    CurrentTraceLevel,
    CurrentTraceFile,
    ServiceAccount
};
struct Note {
    NoteKind kind;
    std::wstring text;
    std::int32_t number = 0;
};

struct InstanceOptions {
    InstanceAction action = InstanceAction::RunWriter;
    std::wstring account;
    std::wstring password;
    bool passwordFromInput = false;  // an account without "/password:"
    bool traceLevelGiven = false;
    bool traceFileGiven = false;
    RunSettings settings;
    std::vector<Note> notes;
};

// Reads the options from words[first] on, starting from `current`.
InstanceOptions readInstanceOptions(const Words& words, std::size_t first, bool developerMode,
                                    const RunSettings& current);

// True when `word` is `option`, letters compared without regard to case.
bool isOption(const std::wstring& word, const wchar_t* option);

}  // namespace snapscribe
