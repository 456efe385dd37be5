#include "restore_harness.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "snapscribe/db/recovery_tool.h"
#include "snapscribe/host/event_log.h"

namespace snapscribe::testing {
namespace {

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The recovery tool answers within milliseconds here; the writer's own
// pauses between polls would make every restore take seconds per command.
constexpr ToolWaits kShortToolWaits{50, 100, 100, 5 * 60 * 1000};

}  // namespace

RestoreHarness::RestoreHarness(const std::string& description) : BackupHarness(description) {
    initEventLog(widen(instance().sid()).c_str());
    setToolWaitsForTesting(kShortToolWaits);
    // The recovery tool the writer starts inherits this setting.
    SetEnvironmentVariableW(L"BAKX_COMMAND_LOG", widen(logFile()).c_str());
}

RestoreHarness::~RestoreHarness() {
    SetEnvironmentVariableW(L"BAKX_COMMAND_LOG", nullptr);
    setToolWaitsForTesting({});
    closeEventLog();
}

std::vector<std::uint32_t> RestoreHarness::eventIds() const {
    std::vector<std::uint32_t> ids;
    for (std::size_t at = forgotten_; at < events_.events.size(); ++at) {
        ids.push_back(events_.events[at].id);
    }
    return ids;
}

std::vector<std::wstring> RestoreHarness::eventStrings(std::uint32_t id) const {
    for (std::size_t at = forgotten_; at < events_.events.size(); ++at) {
        if (events_.events[at].id == id) return events_.events[at].strings;
    }
    return {};
}

std::string RestoreHarness::eventsText() const {
    std::string text;
    for (std::size_t at = forgotten_; at < events_.events.size(); ++at) {
        char id[16];
        std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(events_.events[at].id));
        text += id;
        for (const std::wstring& insertion : events_.events[at].strings) {
            text += " [" + narrow(insertion) + "]";
        }
        text += "\n";
    }
    return text;
}

void RestoreHarness::forgetEvents() { forgotten_ = events_.events.size(); }

std::vector<std::string> RestoreHarness::toolCommands() const {
    std::ifstream in(logFile().c_str());
    std::vector<std::string> commands;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        commands.push_back(line);
    }
    return commands;
}

void RestoreHarness::forgetToolCommands() const { DeleteFileA(logFile().c_str()); }

std::uint32_t RestoreHarness::vlxsim(const std::string& command,
                                     const std::string& arguments) const {
    return instance().vlxsim(command, arguments);
}

bool RestoreHarness::open(bool resetLogs) const {
    const std::wstring statement =
        resetLogs ? L"alter database open resetlogs" : L"alter database open";
    return runCommand(L"\"" + vorlixHome() + L"\\BIN\\vlxsql.exe\" " + widen(instance().sid()) +
                      L" -- \"" + statement + L"\"") == 0;
}

std::string RestoreHarness::verify() const {
    std::string problems;
    runCommand(L"\"" + vorlixHome() + L"\\BIN\\vlxsim.exe\" verify " + widen(instance().sid()),
               &problems);
    return withoutCarriageReturns(problems);
}

std::string RestoreHarness::rows(const std::string& table) const {
    return query("select * from " + table);
}

}  // namespace snapscribe::testing
