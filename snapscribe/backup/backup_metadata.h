#pragma once
// A selected component's entry, its backup metadata and option commands, and
// the statements the backup events run on the sequence's session.

#include <cstdint>
#include <string>

#include "snapscribe/sequence/conversation.h"

namespace snapscribe {

constexpr std::uint32_t kDirectoryQueryFailure = 0xCFFF0019;
constexpr std::uint32_t kMetadataKindFailure = 0xCFFF002A;
constexpr std::uint32_t kCheckpointFailure = 0xCFFF002F;
constexpr std::uint32_t kSqlCommandFailure = 0xCFFF0043;
constexpr std::uint32_t kGeneralFailure = 0xCFFF1000;

// The conversation of the running sequence; a writer failure without one.
Conversation& currentConversation();

// The sequence's session. When a handled failure of this sequence took it,
// it is connected again (and traced), so the sequence can still be ended.
VcwSession* sequenceSession();

// The database's checkpoint change number as decimal text.
std::string& checkpointScn();
void refreshCheckpoint(long line);

// Runs one statement (system code page) on the sequence's session; a
// failure is reported and raised as `code` from `line`.
void runStatement(const char* statement, std::uint32_t code, long line);

// Runs one statement of an option command or of the writer itself; a failure
// raises kSqlCommandFailure carrying the statement.
void runSqlCommand(const char* statement);

// The snapshot control file's name, read with `statement`.
std::wstring readSnapshotControlFileName(const char* statement, long line);

// Recognises the component, fills its entry and stores its option commands;
// false only when a tablespace's number cannot be found.
bool selectComponent(const std::wstring& name, ComponentEntry& entry, const wchar_t* options);

void composeBackupMetadata(ComponentEntry& entry);
void parseBackupMetadata(ComponentEntry& entry, const wchar_t* metadata);

// The option commands of every entry, before and after the shadow copy.
void runPreCommands();
void runPostCommands();

}  // namespace snapscribe
