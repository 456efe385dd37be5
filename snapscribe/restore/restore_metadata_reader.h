#pragma once
// The restore side of a component's restore metadata: every archived log it
// carries is re-created as a file and queued for cataloguing, and the
// highest next change number becomes the target of an incomplete recovery.

#include <windows.h>

#include <vswriter.h>

#include <cstdint>
#include <string>

#include "snapscribe/sequence/conversation.h"

namespace snapscribe {

constexpr std::uint32_t kTemporaryLogEvent = 0x4FFF1006;
constexpr std::uint32_t kNoRestoreMetadataEvent = 0x4FFF1011;
constexpr std::uint32_t kLogRecreateFailure = 0xCFFF0042;

// An archived log re-created from restore metadata, named in the system
// code page, to be catalogued before recovery.
struct ExtractedLog {
    std::string fileName;
};

// Re-creates the logs of one component's metadata text into `conversation`.
// A log already at its recorded place is left as it is and not queued.
void restoreArchivedLogs(const wchar_t* text, Conversation& conversation);

// Reads the component's metadata and restores its logs into `conversation`.
// Returns the result of the platform call.
HRESULT readRestoreMetadata(IVssComponent* component, const std::wstring& componentName,
                            Conversation& conversation);

}  // namespace snapscribe
