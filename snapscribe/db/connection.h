#pragma once
// The writer's connection to its own instance: the local descriptor, the
// sequence's session, the instance's open mode and its start-up.

#include <cstdint>
#include <functional>

#include "vcw.h"

namespace snapscribe {

// Open-mode codes of vcw_openmode.
enum OpenMode : int {
    OpenModeNotMounted = 1,
    OpenModeNotAvailable = 2,
    OpenModeStartingOrStopping = 3,
    OpenModeConnectionLost = 4,
    OpenModeMounted = 5,
    OpenModeReadWrite = 6,
    OpenModeReadOnly = 7,
    OpenModeOther = 8,
    OpenModeNoServer = 9,
};

constexpr std::uint32_t kEmptyInstanceNameFailure = 0xCFFF000D;
constexpr std::uint32_t kBackupRefusedFailure = 0xCFFF0016;
constexpr std::uint32_t kRestoreRefusedFailure = 0xCFFF0017;
constexpr std::uint32_t kBackupTimeFailure = 0xCFFF0018;

// Writes the local descriptor for the instance SidNarrow into `buffer`.
// Returns its length; 0 when `size` is too small; the name's length, leaving
// the buffer untouched, when the name is too long. An empty name raises
// kEmptyInstanceNameFailure.
std::uint32_t makeLocalConnectString(char* buffer, std::uint32_t size);

// Whether `makeLocalConnectString` formed a descriptor in `buffer`: false
// for a name the descriptor cannot hold, of any length, and for a buffer too
// small. An empty name raises kEmptyInstanceNameFailure.
bool formLocalDescriptor(char* buffer, std::uint32_t size);

// The writer's client environment; none until the first is made.
VcwEnvironment* writerEnvironment();
// A new client environment for the writer (each identify event makes one).
// Earlier ones stay until their last session is gone.
VcwEnvironment* renewWriterEnvironment();

// Connects the sequence's session and begins a new conversation; `fill`
// gives it the database's state. Refused instance states raise
// kBackupRefusedFailure or, with `restoreSide`, kRestoreRefusedFailure.
using ConversationFiller = std::function<void()>;
void connectInstance(bool restoreSide, const ConversationFiller& fill);

// Connects the sequence's session again for the conversation that lost it
// to a handled failure; refused instance states raise kBackupRefusedFailure.
void reconnectConversationSession();

}  // namespace snapscribe

// Classifies the instance from its open mode, or from the session's last
// database error when the query cannot run; kept in the session too.
int vcw_openmode(VcwSession* session);

// Starts the instance, with the parameter file of the setting VLX_<sid>_PFILE
// when there is one, through a preliminary session.
int vcw_startup(VcwSession* session, std::uint32_t mode, const char* sid);
