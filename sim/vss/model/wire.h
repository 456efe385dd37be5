#pragma once
// The messages of one event between the requester and a writer process:
// the request names the event and carries the backup context and the
// writer's part of the document; the answer carries the event's result, the
// writer's failure code and whatever the writer wrote into the documents.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/vss/model/documents.h"

namespace vsssim {

enum class Event {
    Identify,
    PrepareBackup,
    PrepareSnapshot,
    Freeze,
    Thaw,
    PostSnapshot,
    Abort,
    BackupComplete,
    BackupShutdown,
    PreRestore,
    PostRestore,
};

std::string eventName(Event event);
// Accepts the names eventName gives, without case; nullopt otherwise.
std::optional<Event> eventFromName(const std::string& name);
// Events that hand the writer the backup components document.
bool takesDocument(Event event);
// Events whose document the writer may change and the requester keeps.
bool documentComesBack(Event event);
// Of those, the events whose restore metadata the writer may change. The
// answers of the others leave it out (it can be hundreds of MiB), and the
// requester keeps its own.
bool restoreMetadataComesBack(Event event);

struct EventRequest {
    Event event = Event::Identify;
    std::uint32_t backupType = kUndefined;
    bool selectComponents = true;
    Text snapshotSetId;
    std::vector<Text> volumes;
    std::vector<ComponentState> components;
};

struct EventAnswer {
    bool succeeded = false;
    std::uint32_t writerFailure = 0;  // HRESULT the writer set, 0 when none
    std::uint32_t exceptionCode = 0;  // structured exception that left the event, 0 when none
    std::optional<WriterMetadata> metadata;
    std::vector<ComponentState> components;
};

// Streamed into `sink` (a pipe frame), or whole as a string.
void write(const EventRequest& request, TextSink& sink);
std::string writeRequest(const EventRequest& request);
EventRequest readRequest(std::string_view text);
void write(const EventAnswer& answer, TextSink& sink);
std::string writeAnswer(const EventAnswer& answer);
EventAnswer readAnswer(std::string_view text);

}  // namespace vsssim
