// A component's option list and name as a requestor sends them: the fields
// rejoin to the text without its empty ones, every command comes from one
// field after its key, and a stored command is never a shortened one.

#include "fuzz/fuzz_input.h"
#include "snapscribe/backup/option_text.h"

namespace {

using namespace snapscribe;

void checkFields(std::wstring_view text) {
    std::wstring rejoined;
    for (std::wstring_view field : splitFields(text)) {
        fuzzing::require(!field.empty() && field.find(L';') == std::wstring_view::npos,
                         "a field is not empty and holds no separator");
        if (!rejoined.empty()) rejoined += L';';
        rejoined += field;
    }
    std::wstring collapsed;
    for (wchar_t c : text) {
        if (c == L';' && (collapsed.empty() || collapsed.back() == L';')) continue;
        collapsed += c;
    }
    if (collapsed.ends_with(L';')) collapsed.pop_back();
    fuzzing::require(rejoined == collapsed, "the fields are the text without empty ones");
}

void checkCommands(std::wstring_view options) {
    for (const OptionCommand& command : optionCommands(options)) {
        fuzzing::require(
            !command.command.empty() && command.command.find(L';') == std::wstring::npos,
            "a command is one field's rest");
        const std::wstring field = optionKeyText(command.key) + command.command;
        fuzzing::require(options.find(field) != std::wstring_view::npos,
                         "a command follows its key in the options");
    }
}

void checkStore(const std::wstring& command) {
    CommandSlots slots{};
    const StoreOutcome outcome = storeCommand(slots, command);
    if (outcome == StoreOutcome::Stored) {
        fuzzing::require(slots.front() == command, "a stored command is kept whole");
    } else {
        fuzzing::require(outcome == StoreOutcome::TooLong && command.size() > kCommandMaxChars,
                         "only an overlong command is refused from empty slots");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const std::wstring name = input.line();
    const ComponentRecognition recognised = recognizeComponent(name);
    if (recognised.tablespace) {
        const std::wstring_view tablespace = tablespaceNameOf(name);
        fuzzing::require(
            name.starts_with(tablespace) && tablespace.find(L' ') == std::wstring_view::npos,
            "a tablespace's name is its component name up to a blank");
    }
    const std::wstring options = input.restAsWide();
    checkFields(options);
    checkCommands(options);
    checkStore(options);
    writerCommandFlag(options);
    return 0;
}
