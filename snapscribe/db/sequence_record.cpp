#include "sequence_record.h"

#include "recovery_tool.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "vcw.h"

namespace snapscribe {

SequenceState& sequenceState() {
    static SequenceState state;
    return state;
}

void cleanupConversation() {
    SequenceState& state = sequenceState();
    if (state.conversation) {
        if (tracing(TRC_MISC)) traceMsgA("\nconverstation cleaned up");
        if (state.conversation->toolRunning) stopRecoveryTool();
        state.conversation.reset();
    }
    if (state.conversationSession != nullptr) {
        if (tracing(TRC_MISC)) traceMsgA("\nDisconnect database connection");
        // Failures raised from now on must not refer to the released session.
        if (currentSession() == state.conversationSession) setCurrentSession(nullptr);
        vcw_dcon(state.conversationSession, false);
    }
}

}  // namespace snapscribe
