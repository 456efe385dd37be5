#include "backup_metadata.h"

#include <windows.h>

#include <cstring>
#include <optional>
#include <vector>

#include "component_model.h"
#include "metadata_text.h"
#include "option_text.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/db/recovery_tool.h"
#include "snapscribe/db/vcw.h"
#include "snapscribe/host/file_utils.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kTablespaceNameBytes = 48;
constexpr std::uint32_t kTablespaceBindBytes = 50;
constexpr std::uint32_t kCommandBytes = 512;
constexpr std::uint32_t kDbNameChars = 128;

constexpr long kNoConversationLine = 1301;
constexpr long kCheckpointLine = 1302;
constexpr long kSqlCommandLine = 1304;
constexpr long kCfFileLine = 1305;
constexpr long kDirectoryQueryLine = 1306;
constexpr long kDirectoryCloseLine = 1307;
constexpr long kMetadataKindLine = 1308;
constexpr long kInvalidComponentLine = 1309;

constexpr char kCfFileStatement[] =
    "begin   :name := sys.dbms_backup_restore.getParm(              "
    "sys.dbms_backup_restore.SNAPSHOT_NAME); end; ";
constexpr char kTrackingSwitch[] = "begin    sys.dbms_backup_restore.bctswitch; end;";

std::wstring widened(const char* text, std::uint32_t capacity) {
    std::vector<wchar_t> wide(capacity);
    toWide(text, wide.data(), capacity);
    return wide.data();
}

std::string narrowed(const std::wstring& text, std::uint32_t capacity) {
    std::vector<char> narrow(capacity);
    toNarrow(text.c_str(), narrow.data(), capacity, nullptr);
    return narrow.data();
}

// A failed cursor is closed already; one still open is closed here.
bool executeOn(VcwSession* session, const char* statement) {
    VcwCursor* cursor = nullptr;
    if (vcw_opn(session, cursor, statement) != 0 || vcw_exe(session, cursor) != 0) return false;
    vcw_cls(session, cursor);
    return true;
}

std::optional<std::int32_t> tablespaceNumber(const std::wstring& name) {
    char tablespace[kTablespaceNameBytes];
    toNarrow(std::wstring(tablespaceNameOf(name)).c_str(), tablespace, sizeof tablespace, nullptr);
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    std::uint32_t number = 0;
    if (vcw_opn(session, cursor, "SELECT TS# FROM V$TABLESPACE WHERE NAME=:1") != 0 ||
        vcw_bnd(session, cursor, ":1", tablespace, kTablespaceBindBytes, kVcwBindIn, SQLT_STR,
                nullptr) != 0 ||
        vcw_dfn(session, cursor, "TS#", &number, sizeof number, SQLT_UIN, nullptr) != 0 ||
        vcw_efc(session, cursor) != 0) {
        vcw_perr(session);
        return std::nullopt;
    }
    return static_cast<std::int32_t>(number);
}

CommandSlots& slotsFor(ComponentEntry& entry, OptionKey key) {
    switch (key) {
        case OptionKey::PostWriter: return entry.postWriterCmds;
        case OptionKey::PreWriter: return entry.preWriterCmds;
        case OptionKey::PostSql: return entry.postSqlCmds;
        case OptionKey::PreSql: return entry.preSqlCmds;
        case OptionKey::PostTool: return entry.postToolCmds;
        case OptionKey::PreTool: break;
    }
    return entry.preToolCmds;
}

void storeOptions(ComponentEntry& entry, const wchar_t* options) {
    if (options == nullptr) return;
    for (const OptionCommand& option : optionCommands(options)) {
        const StoreOutcome outcome = storeCommand(slotsFor(entry, option.key), option.command);
        if (!tracing(TRC_METADATA)) continue;
        if (outcome == StoreOutcome::TooLong) {
            traceMsg(L"\nRefusing %s command of %u characters (at most %u): %s",
                     optionKeyText(option.key), static_cast<unsigned>(option.command.size()),
                     static_cast<unsigned>(kCommandMaxChars), option.command.c_str());
            continue;
        }
        traceMsg(L"\n%s%s", optionKeyText(option.key), option.command.c_str());
        if (outcome == StoreOutcome::SlotsFull)
            traceMsg(L"\nIgnoring : %s", option.command.c_str());
    }
}

std::wstring readDbName() {
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    char name[kVcwFileNameBytes] = {};
    if (vcw_opn(session, cursor,
                "SELECT value DB_Name FROM V$PARAMETER WHERE lower(name)='db_name'") != 0 ||
        vcw_dfn(session, cursor, "DB_NAME", name, sizeof name, SQLT_STR, nullptr) != 0 ||
        vcw_efc(session, cursor) != 0) {
        // Without a name the field stays empty: a guessed one could send a
        // restore to the wrong database.
        vcw_perr(session);
        return {};
    }
    return widened(name, kDbNameChars);
}

std::vector<std::wstring> readDestinationDirectories() {
    static constexpr char kStatement[] =
        "select distinct     sys.dbms_backup_restore.normalizefilename(                   "
        "replace(value,'location=')) directory from v$parameter where name like '%dest%' and "
        "value like '%\\%'";
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    char directory[kVcwFileNameBytes] = {};
    if (vcw_opn(session, cursor, kStatement) != 0 ||
        vcw_dfn(session, cursor, "DIRECTORY", directory, sizeof directory, SQLT_STR, nullptr) !=
            0 ||
        vcw_exe(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kDirectoryQueryFailure, kDirectoryQueryLine);
    }
    std::vector<std::wstring> directories;
    while (vcw_fet(session, cursor) == 0)
        directories.push_back(widened(directory, kVcwFileNameBytes));
    if (vcw_cls(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kCursorCloseFailure, kDirectoryCloseLine);
    }
    return directories;
}

void runTrackingSwitch() {
    try {
        runSqlCommand(kTrackingSwitch);
    } catch (const WriterFailureError&) {
        // Change tracking is an optimisation of later backups; this one goes on.
    }
}

MetadataFacts factsOf(const ComponentEntry& entry) {
    const Conversation& conversation = currentConversation();
    MetadataFacts facts;
    facts.kind = entry.kind;
    facts.backupType = conversation.backupType;
    facts.dbid = conversation.dbid;
    facts.tsNum = entry.tsNum;
    facts.fuzzyCount = conversation.fuzzyCount;
    facts.mediaRecovery = conversation.mediaRecovery;
    return facts;
}

using CommandList = CommandSlots ComponentEntry::*;

// What a command does once traced; it gets the command in both forms.
using CommandAction = void (*)(const std::wstring& command, const char* narrow);

struct CommandRun {
    CommandList list;
    const wchar_t* trace;
    CommandAction action;
};

void noFurtherAction(const std::wstring&, const char*) {}
void runSql(const std::wstring&, const char* narrow) { runSqlCommand(narrow); }
void runTool(const std::wstring&, const char* narrow) { runToolCommand(narrow); }
void applyWriterCommand(const std::wstring& command, const char*) {
    currentConversation().flags |= writerCommandFlag(command);
}

void runCommandLists(std::initializer_list<CommandRun> runs) {
    const SequenceState& state = sequenceState();
    if (!state.conversation || !state.conversation->componentBased) return;
    for (const auto& entry : state.conversation->entries) {
        for (const CommandRun& run : runs) {
            for (const std::wstring& command : (*entry).*run.list) {
                if (command.empty()) continue;
                if (tracing(TRC_COMPONENT)) traceMsg(run.trace, command.c_str());
                run.action(command, narrowed(command, kCommandBytes).c_str());
            }
        }
    }
}

}  // namespace

Conversation& currentConversation() {
    auto& conversation = sequenceState().conversation;
    if (!conversation)
        raiseWriterFailure(kGeneralFailure, kNoConversationLine, {L"No-Conversation"});
    return *conversation;
}

VcwSession* sequenceSession() {
    SequenceState& state = sequenceState();
    if (state.conversationSession == nullptr) {
        if (tracing(TRC_MISC))
            traceMsgA("\nConnecting again: an earlier failure of this sequence disconnected it");
        reconnectConversationSession();
    }
    return state.conversationSession;
}

std::string& checkpointScn() {
    static std::string scn;
    return scn;
}

void refreshCheckpoint(long line) {
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    char checkpoint[kVcwFileNameBytes] = {};
    if (vcw_opn(session, cursor, "select checkpoint_change# from v$database") != 0 ||
        vcw_dfn(session, cursor, "CHECKPOINT_CHANGE#", checkpoint, sizeof checkpoint, SQLT_STR,
                nullptr) != 0 ||
        vcw_exe(session, cursor) != 0 || vcw_fet(session, cursor) != 0 ||
        vcw_cls(session, cursor) != 0) {
        vcw_cls(session, cursor);
        vcw_perr(session);
        raiseWriterFailure(kCheckpointFailure, line);
    }
    checkpointScn() = checkpoint;
}

void runStatement(const char* statement, std::uint32_t code, long line) {
    VcwSession* session = sequenceSession();
    if (executeOn(session, statement)) return;
    vcw_perr(session);
    raiseWriterFailure(code, line);
}

void runSqlCommand(const char* statement) {
    std::vector<wchar_t> wide(std::strlen(statement) + 1);
    toWide(statement, wide.data(), static_cast<std::uint32_t>(wide.size()));
    if (tracing(TRC_MISC)) traceMsg(L"\nExecuting SQL command : [%s]", wide.data());
    VcwSession* session = sequenceSession();
    if (executeOn(session, statement)) return;
    vcw_perr(session);
    raiseWriterFailure(kSqlCommandFailure, kSqlCommandLine, {wide.data()});
}

std::wstring readSnapshotControlFileName(const char* statement, long line) {
    VcwSession* session = sequenceSession();
    VcwCursor* cursor = nullptr;
    char name[kVcwFileNameBytes] = {};
    if (vcw_opn(session, cursor, statement) != 0 ||
        vcw_bnd(session, cursor, ":name", name, sizeof name, kVcwBindOut, SQLT_STR, nullptr) != 0 ||
        vcw_exe(session, cursor) != 0) {
        vcw_perr(session);
        raiseWriterFailure(kSnapshotNameFailure, line);
    }
    vcw_cls(session, cursor);
    return widened(name, kVcwFileNameBytes);
}

bool selectComponent(const std::wstring& name, ComponentEntry& entry, const wchar_t* options) {
    entry.name = name;
    const ComponentRecognition recognised = recognizeComponent(name);
    entry.kind = recognised.kind;
    entry.fileClass = recognised.fileClass;
    entry.tsNum = recognised.tsNum;
    entry.fileNum = recognised.fileNum;
    currentConversation().flags |= recognised.flags;
    if (recognised.kind == 6 && tracing(TRC_COMPONENT)) {
        traceMsg(L"\nMy top level component %s Selected", name.c_str());
    }
    if (recognised.tablespace) {
        const std::optional<std::int32_t> number = tablespaceNumber(name);
        if (!number) return false;
        entry.tsNum = *number;
    }
    storeOptions(entry, options);
    return true;
}

void composeBackupMetadata(ComponentEntry& entry) {
    MetadataFacts facts = factsOf(entry);
    if (entry.kind < 1 || entry.kind > 9) {
        raiseWriterFailure(kMetadataKindFailure, kMetadataKindLine);
    }
    const MetadataNeeds needs = metadataNeeds(entry.kind, facts.backupType, facts.mediaRecovery);
    if (needs.trackingSwitch) runTrackingSwitch();
    if (needs.checkpoint) {
        refreshCheckpoint(kCheckpointLine);
        facts.checkpoint = widened(checkpointScn().c_str(), kVcwFileNameBytes);
    }
    if (needs.dbName) facts.dbName = readDbName();
    if (needs.snapshotControlFile) {
        facts.snapshotControlFile = readSnapshotControlFileName(kCfFileStatement, kCfFileLine);
    }
    if (needs.directories) facts.directories = readDestinationDirectories();
    entry.metadata = composeMetadataText(facts).value_or(std::wstring());
}

void parseBackupMetadata(ComponentEntry& entry, const wchar_t* metadata) {
    if (metadata == nullptr) return;
    const ParsedMetadata parsed = parseMetadataText(metadata);
    if (parsed.fieldCount == 0) return;
    if (parsed.dbid) entry.dbid = *parsed.dbid;
    if (parsed.cfFile) entry.cfFile = *parsed.cfFile;
    if (parsed.noRecover) entry.noRecover = *parsed.noRecover;
    for (const std::wstring& directory : parsed.directories) createDirectoryPath(directory.c_str());
    if (parsed.nonFullBackup) currentConversation().flags |= NON_FULL_BACKUP;
    if (tracing(TRC_METADATA)) {
        for (const std::wstring& line : parsed.traceLines) traceMsg(L"\n%s", line.c_str());
    }
    if (entry.kind < 1 || entry.kind > 9) {
        raiseWriterFailure(kGeneralFailure, kInvalidComponentLine, {L"Invalid-Component"});
    }
}

void runPreCommands() {
    runCommandLists(
        {{&ComponentEntry::preWriterCmds, L"\nProcessing pre writer command=%s\n", noFurtherAction},
         {&ComponentEntry::preSqlCmds, L"\nProcessing pre SQL command=%s\n", runSql},
         {&ComponentEntry::preToolCmds, L"\nProcessing pre BAKX command=%s\n", runTool}});
}

void runPostCommands() {
    runCommandLists(
        {{&ComponentEntry::postWriterCmds, L"\nProcessing post writer command=%s\n",
          applyWriterCommand},
         {&ComponentEntry::postSqlCmds, L"\nProcessing post SQL command=%s\n", runSql},
         {&ComponentEntry::postToolCmds, L"\nProcessing post BAKX command=%s\n", runTool}});
}

}  // namespace snapscribe
