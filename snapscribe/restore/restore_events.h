#pragma once
// The bodies of the restore events, each run inside the event frame.

#include <windows.h>

#include <vswriter.h>

#include <cstdint>

namespace snapscribe {

struct RequestorView;

constexpr std::uint32_t kNoRestoreConversationFailure = 0xCFFF0037;
constexpr std::uint32_t kNewTargetRefusedFailure = 0xCFFF0038;
constexpr std::uint32_t kIncarnationFailure = 0xCFFF001A;
constexpr std::uint32_t kNoRestoreSessionFailure = 0xCFFF0041;
constexpr wchar_t kUncataloguableLog[] = L"Uncataloguable-archived-log-name";

constexpr std::uint32_t kCompleteRecoveryEvent = 0x4FFF1003;
constexpr std::uint32_t kUntilSnapshotRecoveryEvent = 0x4FFF1004;
constexpr std::uint32_t kNoRecoveryEvent = 0x4FFF1005;
constexpr std::uint32_t kDatafileRecoveryEvent = 0x4FFF100C;
constexpr std::uint32_t kTablespaceRecoveryEvent = 0x4FFF100D;
constexpr std::uint32_t kMoreRestoresEvent = 0x4FFF100E;

// Opens the restore conversation, records the selected components and
// sub-components with their options and backup metadata, refuses a
// selection the instance's state does not allow, and runs the pre-commands.
void preRestore(const RequestorView& requestor, IVssWriterComponents* components);

// Raises the refusal the selection meets in the instance's recorded state.
void validateRestoreSelection();

// Applies new targets, re-creates the logs the restore metadata carries,
// brings the instance to the state the selection needs, recovers it as the
// selection and the writer commands ask, and ends the conversation.
void postRestore(const RequestorView& requestor, IVssWriterComponents* components);

// Recovers the whole database, completely or up to the backup's highest
// change, as the conversation's recovery flags ask.
void recoverWholeDatabase();

// Catalogues every re-created archived log in the recovery tool; a log
// whose name cannot be quoted in the command is refused.
void catalogExtractedLogs();

// Reports information event `id` with the writer's version.
void writeInformationEvent(std::uint32_t id);

}  // namespace snapscribe
