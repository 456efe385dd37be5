#include "conversation.h"

#include <utility>

#include <windows.h>

#include <vswriter.h>

#include "snapscribe/host/trace.h"

namespace snapscribe {
namespace {

SequenceServices services{};

void disconnect(VcwSession*& session) {
    VcwSession* held = std::exchange(session, nullptr);
    if (held != nullptr && services.disconnect != nullptr) services.disconnect(held);
}

}  // namespace

void ComponentRelease::operator()(IVssComponent* component) const noexcept { component->Release(); }

SequenceState& sequenceState() {
    static SequenceState state;
    return state;
}

void installSequenceServices(const SequenceServices& installed) { services = installed; }

void cleanupConversation() {
    SequenceState& state = sequenceState();
    if (state.conversation) {
        if (tracing(TRC_MISC)) traceMsgA("\nconverstation cleaned up");
        if (state.conversation->toolRunning && services.stopRecoveryTool != nullptr) {
            services.stopRecoveryTool();
        }
        state.conversation.reset();
    }
    if (state.conversationSession != nullptr) {
        if (tracing(TRC_MISC)) traceMsgA("\nDisconnect database connection");
        disconnect(state.conversationSession);
    }
}

void disconnectIdentifySession() { disconnect(sequenceState().identifySession); }

void dropConversationSession() { disconnect(sequenceState().conversationSession); }

}  // namespace snapscribe
