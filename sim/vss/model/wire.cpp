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

std::vector<ComponentState> componentsOf(const Record& record) {
    std::vector<ComponentState> components;
    for (const Record* child : record.childrenTagged("component"))
        components.push_back(componentStateFrom(*child));
    return components;
}

void addComponents(Record& record, const std::vector<ComponentState>& components) {
    for (const ComponentState& component : components)
        record.children.push_back(toRecord(component));
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

bool documentComesBack(Event event) {
    return event == Event::PrepareBackup || event == Event::PostSnapshot ||
           event == Event::PreRestore || event == Event::PostRestore;
}

std::string writeRequest(const EventRequest& request) {
    Record record{"event-request", {}, {}};
    record.set("event", fromAscii(eventName(request.event)));
    record.setNumber("backup-type", request.backupType);
    record.setFlag("select-components", request.selectComponents);
    record.set("snapshot-set-id", request.snapshotSetId);
    for (const Text& volume : request.volumes) record.set("volume", volume);
    addComponents(record, request.components);
    return writeRecord(record);
}

EventRequest readRequest(const std::string& text) {
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

std::string writeAnswer(const EventAnswer& answer) {
    Record record{"event-answer", {}, {}};
    record.setFlag("succeeded", answer.succeeded);
    record.setNumber("writer-failure", answer.writerFailure);
    record.setNumber("exception", answer.exceptionCode);
    if (answer.metadata) record.children.push_back(toRecord(*answer.metadata));
    addComponents(record, answer.components);
    return writeRecord(record);
}

EventAnswer readAnswer(const std::string& text) {
    Record record = readRecord(text);
    if (record.tag != "event-answer") throw FormatError("not an event answer");
    EventAnswer answer;
    answer.succeeded = record.flag("succeeded");
    answer.writerFailure = static_cast<std::uint32_t>(record.number("writer-failure"));
    answer.exceptionCode = static_cast<std::uint32_t>(record.number("exception"));
    for (const Record* metadata : record.childrenTagged("writer-metadata"))
        answer.metadata = writerMetadataFrom(*metadata);
    answer.components = componentsOf(record);
    return answer;
}

}  // namespace vsssim
