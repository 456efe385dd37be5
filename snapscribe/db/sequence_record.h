#pragma once
// The part of the sequence state the database routines need until the
// writer's conversation record joins them: the current conversation, with
// the time it began and whether it started the recovery tool, and the
// sequence's database session.

#include <cstdint>
#include <memory>

struct VcwSession;

namespace snapscribe {

struct Conversation {
    bool toolRunning = false;
    std::uint64_t backupTime = 0;  // file time, UTC
};

struct SequenceState {
    std::unique_ptr<Conversation> conversation;
    VcwSession* conversationSession = nullptr;
};

SequenceState& sequenceState();

// Ends the recovery tool of the conversation, releases the conversation and
// disconnects the sequence's session.
void cleanupConversation();

}  // namespace snapscribe
