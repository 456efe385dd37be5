#pragma once
// Texts a requestor and the writer exchange per component: recognising a
// component by its name, and the commands of its option list. Kept free of
// the platform so they can be tested and fuzzed on their own.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snapscribe/sequence/conversation.h"

namespace snapscribe {

// The longest command a slot stores; a longer one is refused whole, since a
// shortened command would be a different command.
constexpr std::size_t kCommandMaxChars = 511;

// Kind, file class, numbers and selection flag a component's name gives.
struct ComponentRecognition {
    std::uint32_t kind = 0;
    std::uint32_t fileClass = 0;
    std::int32_t tsNum = 0;
    std::int32_t fileNum = 0;
    std::uint32_t flags = 0;
    bool tablespace = false;  // a tablespace: its number comes from the database
};
ComponentRecognition recognizeComponent(std::wstring_view name);

// The tablespace name of a tablespace component: its name up to the first blank.
std::wstring_view tablespaceNameOf(std::wstring_view name);

// The fields of a ";"-separated text; runs of ";" count as one separator.
std::vector<std::wstring_view> splitFields(std::wstring_view text);

// The option keys, in the order a field is compared with them.
enum class OptionKey { PostWriter, PreWriter, PostSql, PreSql, PostTool, PreTool };
const wchar_t* optionKeyText(OptionKey key);

struct OptionCommand {
    OptionKey key;
    std::wstring command;
};
// The commands of an option list in the order of the text; fields without a
// key, and keys without a command, are dropped.
std::vector<OptionCommand> optionCommands(std::wstring_view options);

enum class StoreOutcome { Stored, SlotsFull, TooLong };
// Stores `command` in the first empty slot.
StoreOutcome storeCommand(CommandSlots& slots, const std::wstring& command);

// The conversation flag a post writer command sets, 0 for none.
std::uint32_t writerCommandFlag(std::wstring_view command);

}  // namespace snapscribe
