#include "option_text.h"

#include <algorithm>
#include <cwchar>

#include "component_text.h"

namespace snapscribe {
namespace {

struct NamedComponent {
    const wchar_t* prefix;
    std::uint32_t kind;
    std::uint32_t fileClass;
    std::uint32_t flags;
    bool numbered;  // a decimal number follows the prefix
};

constexpr NamedComponent kNamedComponents[] = {
    {kAllTablespacesComponent, 2, 2, SEL_DATA_FILES, false},
    {kDatafilePrefix, 1, 1, SEL_DATA_FILES, true},
    {kControlFileComponent, 3, 3, SEL_CONTROL_FILE, false},
    {kSpfileComponent, 4, 5, SEL_SPFILE, false},
    {kDatabaseComponent, 6, 0, SEL_DATABASE, false},
    {kArchiveDestPrefix, 5, 6, 0, true},
    {kRecoveryAreaComponent, 7, 6, 0, false},
    {kArchivedLogsComponent, 8, 6, 0, false},
    {kBackupFilesComponent, 9, 6, 0, false},
};

constexpr const wchar_t* kOptionKeys[] = {L"POST_WTRCMD=", L"PRE_WTRCMD=",   L"POST_SQLCMD=",
                                          L"PRE_SQLCMD=",  L"POST_BAKXCMD=", L"PRE_BAKXCMD="};

std::int32_t numberAfter(std::wstring_view name, std::size_t prefixLength) {
    const std::wstring rest(name.substr(prefixLength));
    int number = 0;
    return std::swscanf(rest.c_str(), L"%d", &number) == 1 ? number : -1;
}

}  // namespace

ComponentRecognition recognizeComponent(std::wstring_view name) {
    for (const NamedComponent& named : kNamedComponents) {
        const std::wstring_view prefix(named.prefix);
        if (!name.starts_with(prefix)) continue;
        ComponentRecognition recognised{named.kind, named.fileClass, 0, 0, named.flags, false};
        if (named.kind == 2) recognised.tsNum = -1;
        if (named.numbered) recognised.fileNum = numberAfter(name, prefix.size());
        return recognised;
    }
    return ComponentRecognition{2, 2, 0, 0, 0, true};
}

std::wstring_view tablespaceNameOf(std::wstring_view name) {
    return name.substr(0, name.find(L' '));
}

std::vector<std::wstring_view> splitFields(std::wstring_view text) {
    std::vector<std::wstring_view> fields;
    std::size_t start = 0;
    while ((start = text.find_first_not_of(L';', start)) != std::wstring_view::npos) {
        const std::size_t end = std::min(text.find(L';', start), text.size());
        fields.push_back(text.substr(start, end - start));
        start = end;
    }
    return fields;
}

const wchar_t* optionKeyText(OptionKey key) { return kOptionKeys[static_cast<int>(key)]; }

std::vector<OptionCommand> optionCommands(std::wstring_view options) {
    std::vector<OptionCommand> commands;
    for (std::wstring_view field : splitFields(options)) {
        for (int k = 0; k < static_cast<int>(std::size(kOptionKeys)); ++k) {
            const std::wstring_view key(kOptionKeys[k]);
            if (!field.starts_with(key)) continue;
            if (field.size() > key.size()) {
                commands.push_back(
                    {static_cast<OptionKey>(k), std::wstring(field.substr(key.size()))});
            }
            break;
        }
    }
    return commands;
}

StoreOutcome storeCommand(CommandSlots& slots, const std::wstring& command) {
    if (command.size() > kCommandMaxChars) return StoreOutcome::TooLong;
    for (std::wstring& slot : slots) {
        if (!slot.empty()) continue;
        slot = command;
        return StoreOutcome::Stored;
    }
    return StoreOutcome::SlotsFull;
}

std::uint32_t writerCommandFlag(std::wstring_view command) {
    if (command.starts_with(L"NORECOVER")) return NO_RECOVER;
    if (command.starts_with(L"UNTIL_SNAPSHOT")) return RECOVER_UNTIL_SNAPSHOT;
    if (command.starts_with(L"COMPLETE_RECOVER")) return RECOVER_COMPLETE;
    return 0;
}

}  // namespace snapscribe
