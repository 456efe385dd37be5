#pragma once
// The conversation with the database's recovery tool: the writer starts it in
// its pipe mode and talks to it through two database pipes on the sequence's
// session, one procedural block to send a command, another to drain and
// classify its output.

#include <cstdint>

namespace snapscribe {

constexpr std::uint32_t kToolStartFailure = 0xCFFF0024;
constexpr std::uint32_t kToolSendFailure = 0xCFFF0025;
constexpr std::uint32_t kToolAnswerFailure = 0xCFFF0026;

// How long the conversation waits, in milliseconds. `limit` bounds the wait
// for the tool's output pipe and for each answer, well beyond the tool's own
// command timeout, so a wedged database cannot hold an event forever.
struct ToolWaits {
    std::uint32_t pipeCheck = 2000;
    std::uint32_t firstReceive = 4000;
    std::uint32_t receivePoll = 10000;
    std::uint32_t limit = 15 * 60 * 1000;
};

// Only tests change the waits.
void setToolWaitsForTesting(const ToolWaits& waits);

// Makes sure a tool process of this conversation runs and listens; true on failure.
bool startRecoveryTool();

// Waits for the tool's first complete answer after its start; true on failure.
bool pollToolOutput(char* buffer, std::uint32_t size);

// Sends one command (system code page) and waits for its answer; raises
// kToolStartFailure, kToolSendFailure or kToolAnswerFailure.
void runToolCommand(const char* command);

// Ends the tool with "exit;" and forgets its process.
void stopRecoveryTool();

}  // namespace snapscribe
