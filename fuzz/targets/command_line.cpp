// The writer's command line, one word per line of the input: the leading
// words never reach past the end, and everything the options report comes
// from the words given.

#include <algorithm>

#include "fuzz/fuzz_input.h"
#include "snapscribe/program/command_line.h"

namespace {

using namespace snapscribe;

bool isOneOf(const Words& words, const std::wstring& text) {
    return std::find(words.begin(), words.end(), text) != words.end();
}

void checkOptions(const Words& words, const InstanceOptions& options, const RunSettings& current) {
    if (options.traceFileGiven) {
        fuzzing::require(isOneOf(words, options.settings.traceFile),
                         "the trace file is a word given");
    } else {
        fuzzing::require(options.settings.traceFile == current.traceFile,
                         "the trace file stays unless given");
    }
    if (options.action != InstanceAction::Install) {
        fuzzing::require(
            options.account.empty() && options.password.empty() && !options.passwordFromInput,
            "only installing takes an account");
    }
    for (const Note& note : options.notes) {
        if (note.kind == NoteKind::IgnoredArgument) {
            fuzzing::require(isOneOf(words, note.text), "an ignored argument is a word given");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const bool developerMode = input.flag();
    RunSettings current;
    current.traceLevel = input.number<std::uint32_t>();
    current.traceFile = input.line();
    const Words words = input.lines();

    const LeadingWords leading = readLeadingWords(words);
    fuzzing::require(leading.next <= words.size(), "the leading words lie inside the line");
    readQuery(words, leading.next);
    const std::size_t first = std::min(leading.next + 1, words.size());
    checkOptions(words, readInstanceOptions(words, first, developerMode, current), current);
    return 0;
}
