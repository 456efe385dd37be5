#include "sim/vss/model/wire.h"

#include <algorithm>
#include <cctype>

namespace vsssim {

namespace {

const std::vector<std::string> kEventNames = {
    "Identify", "PrepareBackup",  "PrepareSnapshot", "Freeze",     "Thaw",       "PostSnapshot",
    "Abort",    "BackupComplete", "BackupShutdown",  "PreRestore", "PostRestore"};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<ComponentState> componentsOf(Record& record) {
    std::vector<ComponentState> components;
    for (Record* child : record.childrenTagged("component"))
        components.push_back(componentStateFrom(std::move(*child)));
    return components;
}

template <class Message>
std::string textOfMessage(const Message& message) {
    StringSink sink;
    write(message, sink);
    return std::move(sink.text());
}

}  // namespace

std::string eventName(Event event) { return kEventNames[static_cast<std::size_t>(event)]; }

std::optional<Event> eventFromName(const std::string& name) {
    for (std::size_t i = 0; i < kEventNames.size(); ++i)
        if (lower(kEventNames[i]) == lower(name)) return static_cast<Event>(i);
    return std::nullopt;
}

bool takesDocument(Event event) {
    return documentComesBack(event) || event == Event::BackupComplete;
}

bool restoreMetadataComesBack(Event event) {
    return event == Event::PrepareBackup || event == Event::PostSnapshot;
}

bool documentComesBack(Event event) {
    return event == Event::PrepareBackup || event == Event::PostSnapshot ||
           event == Event::PreRestore || event == Event::PostRestore;
}

void write(const EventRequest& request, TextSink& sink) {
    RecordWriter out(sink);
    out.begin("event-request");
    out.field("event", fromAscii(eventName(request.event)));
    out.number("backup-type", request.backupType);
    out.number("select-components", request.selectComponents ? 1 : 0);
    out.field("snapshot-set-id", request.snapshotSetId);
    for (const Text& volume : request.volumes) out.field("volume", volume);
    for (const ComponentState& component : request.components) write(out, component);
    out.end();
}

std::string writeRequest(const EventRequest& request) { return textOfMessage(request); }

EventRequest readRequest(std::string_view text) {
    Record record = readRecord(text);
    if (record.tag != "event-request") throw FormatError("not an event request");
    std::optional<Event> event = eventFromName(toAscii(record.text("event")));
    if (!event) throw FormatError("unknown event");
    EventRequest request;
    request.event = *event;
    request.backupType = static_cast<std::uint32_t>(record.number("backup-type"));
    request.selectComponents = record.flag("select-components");
    request.snapshotSetId = record.text("snapshot-set-id");
    for (const auto& [key, value] : record.fields)
        if (key == "volume") request.volumes.push_back(value);
    request.components = componentsOf(record);
    return request;
}

void write(const EventAnswer& answer, TextSink& sink) {
    RecordWriter out(sink);
    out.begin("event-answer");
    out.number("succeeded", answer.succeeded ? 1 : 0);
    out.number("writer-failure", answer.writerFailure);
    out.number("exception", answer.exceptionCode);
    if (answer.metadata) write(out, *answer.metadata);
    for (const ComponentState& component : answer.components) write(out, component);
    out.end();
}

std::string writeAnswer(const EventAnswer& answer) { return textOfMessage(answer); }

EventAnswer readAnswer(std::string_view text) {
    Record record = readRecord(text);
    if (record.tag != "event-answer") throw FormatError("not an event answer");
    EventAnswer answer;
    answer.succeeded = record.flag("succeeded");
    answer.writerFailure = static_cast<std::uint32_t>(record.number("writer-failure"));
    answer.exceptionCode = static_cast<std::uint32_t>(record.number("exception"));
    for (Record* metadata : record.childrenTagged("writer-metadata"))
        answer.metadata = writerMetadataFrom(std::move(*metadata));
    answer.components = componentsOf(record);
    return answer;
}

}  // namespace vsssim
