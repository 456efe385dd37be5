#pragma once
// Restores through the requester of backup sets the writer made, with what a
// user would check afterwards: the events the writer reported, the commands
// that reached the recovery tool, and whether the database opens with its
// files in agreement.

#include <cstdint>
#include <string>
#include <vector>

#include "snapscribe/backup/tests/backup_harness.h"
#include "snapscribe/host/tests/host_test_support.h"

namespace snapscribe::testing {

// While it lives, the writer polls the recovery tool with short pauses, the
// tool logs its commands (BAKX_COMMAND_LOG) and reported events are kept.
class RestoreHarness : public BackupHarness {
public:
    explicit RestoreHarness(const std::string& description);
    ~RestoreHarness();

    // Identifiers of the events reported since the harness began (or since
    // the last `forgetEvents`), in order.
    std::vector<std::uint32_t> eventIds() const;
    // The insertion strings of the first reported event `id`.
    std::vector<std::wstring> eventStrings(std::uint32_t id) const;
    void forgetEvents();
    // The reported events, one line each: identifier and insertion strings.
    std::string eventsText() const;

    // The commands the recovery tool ran, "<command>; -> ok|failed" each.
    std::vector<std::string> toolCommands() const;
    void forgetToolCommands() const;

    // vlxsim <command> on the harness's instance; its exit code.
    std::uint32_t vlxsim(const std::string& command, const std::string& arguments = "") const;
    // Opens the database (with resetlogs when asked); true when it opened.
    bool open(bool resetLogs) const;
    // "vlxsim verify": empty when every header and block agrees with the state.
    std::string verify() const;
    // A table's rows, one line each, through vlxsql.
    std::string rows(const std::string& table) const;
    std::string logFile() const { return folder() + "\\bakx-commands.log"; }

private:
    EventRecorder events_;
    std::size_t forgotten_ = 0;
};

}  // namespace snapscribe::testing
