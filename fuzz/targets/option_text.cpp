// A component's option list and name as a requestor sends them: the fields
// rejoin to the text without its empty ones, every command comes from one
// field after its key, and a command is stored whole in the first empty slot
// or not at all.

#include <algorithm>

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

// Into slots of which the first `filled` are taken.
void checkStore(std::size_t filled, const std::wstring& command) {
    CommandSlots slots{};
    std::fill_n(slots.begin(), filled, L"taken");
    const CommandSlots before = slots;
    const StoreOutcome outcome = storeCommand(slots, command);
    if (command.size() > kCommandMaxChars) {
        fuzzing::require(outcome == StoreOutcome::TooLong && slots == before,
                         "an overlong command is refused whole");
    } else if (filled == slots.size()) {
        fuzzing::require(outcome == StoreOutcome::SlotsFull && slots == before,
                         "full slots take no command");
    } else {
        fuzzing::require(outcome == StoreOutcome::Stored && slots[filled] == command,
                         "a command is kept whole in the first empty slot");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const std::size_t filled = input.number<std::uint8_t>() % (kCommandSlots + 1);
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
    checkStore(filled, options);
    writerCommandFlag(options);
    return 0;
}
