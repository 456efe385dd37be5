#pragma once
// The steps that bring a restored instance to the state its recovery needs:
// started, mounted on its restored control files, with the directories of
// its logs in place, and data files moved to where the requestor put them.
// Each looks at the instance's open mode first and does nothing when the
// instance is already far enough.

#include <string>

namespace snapscribe {

struct ComponentEntry;
struct RequestorView;

// Brings a stopped instance to started, not mounted (through "net start VorlixService%s").
void startInstance(const ComponentEntry& entry);

// Restores the control files from entry.cfFile when set, mounts, refreshes the conversation.
void mountDatabase(const ComponentEntry& entry, const RequestorView& requestor);

// Creates the directories of redo log members, change-tracking file and temp files.
void createLogDirectories();

// Renames the database files that match a requestor's new target.
void relocateFiles(const std::wstring& path, const std::wstring& alternateLocation,
                   const std::wstring& specification);

}  // namespace snapscribe
