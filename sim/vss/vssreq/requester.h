#pragma once
// The requester's three commands: list the subscribed writers, run a
// backup into a set, restore from a set.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/vss/model/wire.h"

namespace vsssim {

// Exit codes of vssreq.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitEventFailed = 2;
constexpr int kExitAbortedOnRequest = 3;

struct Selection {
    Text path;  // logical path and name joined by a backslash
    OptionalText options;
    std::vector<Text> subcomponents;
    std::vector<FileSpec> newTargets;
};

struct RequestOptions {
    Text instanceName;  // empty: every instance
    Text writerId;      // empty: every writer
    std::wstring setDirectory;
    std::wstring previousSet;
    std::uint32_t backupType = kFull;
    std::vector<Selection> components;
    std::vector<Text> volumes;
    std::optional<Event> abortAfter;
    bool additionalRestores = false;
    DWORD waitMs = 600000;
};

int listWriters(const RequestOptions& options);
int runBackup(const RequestOptions& options);
int runRestore(const RequestOptions& options);

}  // namespace vsssim
