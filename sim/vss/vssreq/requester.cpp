#include "sim/vss/vssreq/requester.h"

#include <objbase.h>

#include <cstdarg>
#include <cstdio>
#include <set>

#include "sim/vss/common/wide.h"
#include "sim/vss/model/paths.h"
#include "sim/vss/vssreq/backup_set.h"
#include "sim/vss/vssreq/writer_link.h"

namespace vsssim {

namespace {

struct Participant {
    WriterLink link;
    WriterMetadata metadata;
    WriterSection* section = nullptr;
    bool gone = false;
};

std::string out(const Text& text) { return narrowForConsole(text); }

const char* writerFailureName(std::uint32_t code) {
    switch (code) {
        case 0x800423F0: return "VSS_E_WRITERERROR_INCONSISTENTSNAPSHOT";
        case 0x800423F1: return "VSS_E_WRITERERROR_OUTOFRESOURCES";
        case 0x800423F2: return "VSS_E_WRITERERROR_TIMEOUT";
        case 0x800423F3: return "VSS_E_WRITERERROR_RETRYABLE";
        case 0x800423F4: return "VSS_E_WRITERERROR_NONRETRYABLE";
        case 0x800423F5: return "VSS_E_WRITERERROR_RECOVERY_FAILED";
        default: return "";
    }
}

void printOutcome(Event event, const Participant& participant, const Outcome& outcome,
                  DWORD timeoutMs) {
    std::printf("%-16s %s [%s]: ", eventName(event).c_str(),
                out(participant.metadata.writerName).c_str(),
                out(participant.metadata.instanceName).c_str());
    if (outcome.delivery == Delivery::TimedOut) {
        std::printf("timed out after %lu ms\n", static_cast<unsigned long>(timeoutMs));
        return;
    }
    if (outcome.delivery == Delivery::WriterGone) {
        std::printf("failed; the writer process is gone\n");
        return;
    }
    const EventAnswer& answer = outcome.answer;
    std::printf("%s; writer failure 0x%08lX", outcome.succeeded() ? "succeeded" : "failed",
                static_cast<unsigned long>(answer.writerFailure));
    if (*writerFailureName(answer.writerFailure))
        std::printf(" %s", writerFailureName(answer.writerFailure));
    if (answer.exceptionCode)
        std::printf("; exception 0x%08lX left the event",
                    static_cast<unsigned long>(answer.exceptionCode));
    std::printf("\n");
}

// Formats onto the end of `text`.
void appendf(std::string& text, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (length > 0) {
        const std::size_t start = text.size();
        text.resize(start + std::size_t(length) + 1);
        std::vsnprintf(text.data() + start, std::size_t(length) + 1, format, again);
        text.resize(start + std::size_t(length));
    }
    va_end(again);
}

void listFileSpec(std::string& listing, const char* label, const FileSpec& fileSpec) {
    appendf(listing, "      %s %s\\%s%s mask 0x%08lX", label,
            out(withoutTrailingBackslash(fileSpec.path)).c_str(), out(fileSpec.filespec).c_str(),
            fileSpec.recursive ? " (recursive)" : "",
            static_cast<unsigned long>(fileSpec.typeMask));
    if (!fileSpec.alternateLocation.empty())
        appendf(listing, " alternate %s", out(fileSpec.alternateLocation).c_str());
    appendf(listing, "\n");
}

// Printed in one write: stdout is unbuffered, and a writer lists thousands of files.
void printMetadata(const Subscription& subscription, const WriterMetadata& metadata) {
    std::string listing;
    appendf(listing, "Writer %s\n", out(metadata.writerName).c_str());
    appendf(listing, "  id %s, instance %s, process %lu\n", out(metadata.writerId).c_str(),
            out(metadata.instanceName).c_str(), static_cast<unsigned long>(subscription.processId));
    appendf(listing, "  usage %lu, source %lu, level %lu, freeze timeout %lu ms\n",
            static_cast<unsigned long>(metadata.usageType),
            static_cast<unsigned long>(metadata.sourceType),
            static_cast<unsigned long>(metadata.level),
            static_cast<unsigned long>(metadata.freezeTimeoutMs));
    appendf(listing, "  backup schema 0x%08lX\n",
            static_cast<unsigned long>(metadata.backupSchema));
    const RestoreMethod& method = metadata.restoreMethod;
    if (method.set)
        appendf(listing,
                "  restore method %lu, service \"%s\", user procedure \"%s\", writer restore %lu, "
                "reboot %s\n",
                static_cast<unsigned long>(method.method), out(method.service).c_str(),
                out(method.userProcedure).c_str(), static_cast<unsigned long>(method.writerRestore),
                method.rebootRequired ? "required" : "not required");
    else
        appendf(listing, "  restore method not set\n");
    for (const ComponentInfo& info : metadata.components) {
        appendf(listing, "  component %s\n", out(fullPath(info.logicalPath, info.name)).c_str());
        appendf(listing, "    name \"%s\", type %s, logical path \"%s\", caption \"%s\"\n",
                out(info.name).c_str(),
                info.type == kFileGroupComponent ? "file group" : "database",
                out(info.logicalPath).c_str(), out(info.caption).c_str());
        appendf(listing,
                "    selectable %s, selectable for restore %s, restore metadata %s, "
                "notify on backup complete %s, flags 0x%lX\n",
                info.selectable ? "yes" : "no", info.selectableForRestore ? "yes" : "no",
                info.restoreMetadata ? "yes" : "no", info.notifyOnBackupComplete ? "yes" : "no",
                static_cast<unsigned long>(info.flags));
        for (const FileSpec& fileSpec : info.databaseFiles)
            listFileSpec(listing, "database file", fileSpec);
        for (const FileSpec& fileSpec : info.logFiles) listFileSpec(listing, "log file", fileSpec);
        for (const FileSpec& fileSpec : info.groupFiles)
            listFileSpec(listing, "file group file", fileSpec);
    }
    for (const FileSpec& fileSpec : metadata.excludeFiles) {
        appendf(listing, "  excluded %s\\%s%s\n",
                out(withoutTrailingBackslash(fileSpec.path)).c_str(),
                out(fileSpec.filespec).c_str(), fileSpec.recursive ? " (recursive)" : "");
    }
    std::fputs(listing.c_str(), stdout);
}

bool isChosen(const RequestOptions& options, const Text& writerId, const Text& instanceName) {
    return (options.instanceName.empty() || options.instanceName == instanceName) &&
           (options.writerId.empty() || options.writerId == writerId);
}

// Connects to every chosen writer and gathers its metadata. False when a
// chosen writer cannot answer.
bool identifyWriters(const RequestOptions& options, std::vector<Participant>& participants,
                     bool printDocuments) {
    bool allAnswered = true;
    for (const Subscription& subscription : listSubscriptions()) {
        if (!isChosen(options, subscription.writerId, subscription.instanceName)) continue;
        Participant participant{WriterLink(subscription), {}, nullptr, false};
        participant.metadata.writerName = subscription.writerName;
        participant.metadata.instanceName = subscription.instanceName;
        if (!participant.link.connect() && isStale(subscription)) {
            // A writer process that ended without unsubscribing left its entry behind.
            removeSubscription(subscription.key);
            continue;
        }
        Outcome outcome = participant.link.exchange(EventRequest(), options.waitMs);
        printOutcome(Event::Identify, participant, outcome, options.waitMs);
        if (!outcome.succeeded() || !outcome.answer.metadata) {
            allAnswered = false;
            continue;
        }
        participant.metadata = *outcome.answer.metadata;
        if (printDocuments) printMetadata(subscription, participant.metadata);
        participants.push_back(std::move(participant));
    }
    return allAnswered;
}

Text newGuid() {
    GUID id;
    CoCreateGuid(&id);
    return guidText(id);
}

const ComponentInfo* findComponentInfo(const WriterMetadata& metadata, const Text& path) {
    for (const ComponentInfo& info : metadata.components)
        if (fullPath(info.logicalPath, info.name) == path) return &info;
    return nullptr;
}

ComponentState* findComponentState(WriterSection& section, const Text& path) {
    for (ComponentState& state : section.components)
        if (fullPath(state.logicalPath, state.name) == path) return &state;
    return nullptr;
}

Text driveRoot(const Text& file) {
    std::size_t colon = file.find(u':');
    return colon == Text::npos ? file.substr(0, 2) : file.substr(0, colon + 1) + u"\\";
}

// The components a writer answered with, with the restore metadata it could
// not change (and did not send) taken over from those it was given.
std::vector<ComponentState> keptRestoreMetadata(Event event, std::vector<ComponentState> answered,
                                                std::vector<ComponentState>& given) {
    if (restoreMetadataComesBack(event) || answered.size() != given.size()) return answered;
    for (std::size_t i = 0; i < answered.size(); ++i)
        answered[i].restoreMetadata = std::move(given[i].restoreMetadata);
    return answered;
}

// One backup or restore in progress: the document and the writers taking part.
class Sequence {
public:
    Sequence(const RequestOptions& options, std::vector<Participant>& participants,
             BackupDocument& document)
        : options_(options), participants_(participants), document_(document) {}

    // Delivers the event to every writer taking part; false if any failed.
    bool deliver(Event event) {
        bool allSucceeded = true;
        for (Participant& participant : participants_)
            allSucceeded &= deliverTo(participant, event, options_.waitMs);
        return allSucceeded;
    }

    // Freeze, each writer bound by its own freeze timeout.
    bool freeze() {
        frozenAt_ = GetTickCount64();
        bool allSucceeded = true;
        for (Participant& participant : participants_)
            allSucceeded &= deliverTo(participant, Event::Freeze, freezeTimeoutOf(participant));
        return allSucceeded;
    }

    // Thaw, unless a writer's freeze timeout passed while the snapshot was taken.
    bool thaw() {
        ULONGLONG frozenFor = GetTickCount64() - frozenAt_;
        for (Participant& participant : participants_) {
            if (frozenFor <= freezeTimeoutOf(participant)) continue;
            std::printf("%-16s %s [%s]: not delivered; the freeze timeout of %lu ms passed\n",
                        "Thaw", out(participant.metadata.writerName).c_str(),
                        out(participant.metadata.instanceName).c_str(),
                        static_cast<unsigned long>(freezeTimeoutOf(participant)));
            return false;
        }
        return deliver(Event::Thaw);
    }

    // Abort, then the shutdown that ends every backup.
    void abandon() {
        deliver(Event::Abort);
        deliver(Event::BackupShutdown);
    }

private:
    DWORD freezeTimeoutOf(const Participant& participant) const {
        DWORD timeout = participant.metadata.freezeTimeoutMs;
        return timeout ? timeout : options_.waitMs;
    }

    bool deliverTo(Participant& participant, Event event, DWORD timeoutMs) {
        if (participant.gone) return false;
        EventRequest request;
        request.event = event;
        request.backupType = document_.backupType;
        request.selectComponents = document_.selectComponents;
        request.snapshotSetId = document_.snapshotSetId;
        request.volumes = document_.volumes;
        // The components are lent to the request, not copied: restore
        // metadata can be hundreds of MiB.
        std::vector<ComponentState>& components = participant.section->components;
        if (takesDocument(event)) request.components = std::move(components);
        Outcome outcome = participant.link.exchange(request, timeoutMs);
        if (takesDocument(event)) components = std::move(request.components);
        printOutcome(event, participant, outcome, timeoutMs);
        if (outcome.delivery == Delivery::WriterGone) participant.gone = true;
        if (outcome.delivery == Delivery::Answered && documentComesBack(event))
            components =
                keptRestoreMetadata(event, std::move(outcome.answer.components), components);
        return outcome.succeeded();
    }

    const RequestOptions& options_;
    std::vector<Participant>& participants_;
    BackupDocument& document_;
    ULONGLONG frozenAt_ = 0;
};

OptionalText previousStamp(const std::optional<BackupDocument>& previous,
                           const WriterMetadata& metadata, const Text& path) {
    if (!previous) return std::nullopt;
    for (const WriterSection& section : previous->writers) {
        if (section.metadata.writerId != metadata.writerId ||
            section.metadata.instanceName != metadata.instanceName)
            continue;
        for (const ComponentState& state : section.components)
            if (fullPath(state.logicalPath, state.name) == path) return state.backupStamp;
    }
    return std::nullopt;
}

// Puts the selected components (component-based) or the files on the
// volumes (volume-based) into the document. False on a selection that
// names no component.
bool selectForBackup(const RequestOptions& options, std::vector<Participant>& participants,
                     BackupDocument& document) {
    std::optional<BackupDocument> previous;
    if (!options.previousSet.empty()) previous = loadDocument(options.previousSet);
    document.writers.reserve(participants.size());
    for (Participant& participant : participants) {
        document.writers.push_back({participant.metadata, {}, {}});
        participant.section = &document.writers.back();
    }
    std::set<Text> volumes(options.volumes.begin(), options.volumes.end());
    for (const Selection& selection : options.components) {
        Participant* owner = nullptr;
        const ComponentInfo* info = nullptr;
        for (Participant& participant : participants)
            if ((info = findComponentInfo(participant.metadata, selection.path))) {
                owner = &participant;
                break;
            }
        if (!owner) {
            std::fprintf(stderr, "vssreq: no writer has the component %s\n",
                         out(selection.path).c_str());
            return false;
        }
        ComponentState state;
        state.logicalPath = info->logicalPath;
        state.name = info->name;
        state.type = info->type;
        state.backupOptions = selection.options;
        state.previousBackupStamp = previousStamp(previous, owner->metadata, selection.path);
        for (const ComponentInfo& member : owner->metadata.components) {
            if (!isComponentAtOrBelow(member.logicalPath, member.name, selection.path)) continue;
            for (StoredFile& file :
                 filesOfComponent(member, document.backupType, owner->metadata.excludeFiles)) {
                volumes.insert(driveRoot(file.original));
                state.files.push_back(file);
            }
        }
        owner->section->components.push_back(state);
    }
    for (Participant& participant : participants) {
        if (!options.volumes.empty()) {
            for (const ComponentInfo& info : participant.metadata.components)
                for (StoredFile& file :
                     filesOfComponent(info, document.backupType, participant.metadata.excludeFiles))
                    for (const Text& volume : options.volumes)
                        if (isPathUnder(file.original, volume)) {
                            participant.section->volumeFiles.push_back(file);
                            break;
                        }
        }
    }
    document.volumes.assign(volumes.begin(), volumes.end());
    return true;
}

// Writers without a selected component take no part in a component-based
// backup, and have no place in its document.
void dropBystanders(std::vector<Participant>& participants, BackupDocument& document) {
    if (!document.selectComponents) return;
    std::vector<Participant> taking;
    std::vector<WriterSection> sections;
    for (Participant& participant : participants) {
        if (participant.section->components.empty()) continue;
        sections.push_back(std::move(*participant.section));
        taking.push_back(std::move(participant));
    }
    document.writers = std::move(sections);
    for (std::size_t i = 0; i < taking.size(); ++i) taking[i].section = &document.writers[i];
    participants = std::move(taking);
}

bool takeSnapshot(const std::wstring& setDirectory, std::vector<Participant>& participants) {
    for (Participant& participant : participants) {
        std::vector<StoredFile> files = participant.section->volumeFiles;
        for (const ComponentState& state : participant.section->components)
            files.insert(files.end(), state.files.begin(), state.files.end());
        Text failure;
        if (!copyIntoSet(setDirectory, files, failure)) {
            std::printf("%-16s cannot copy %s\n", "Snapshot", out(failure).c_str());
            return false;
        }
        std::printf("%-16s %s [%s]: %u files copied\n", "Snapshot",
                    out(participant.metadata.writerName).c_str(),
                    out(participant.metadata.instanceName).c_str(),
                    static_cast<unsigned>(files.size()));
    }
    return true;
}

void keepOnlyChangedFiles(const std::wstring& setDirectory,
                          std::vector<Participant>& participants) {
    for (Participant& participant : participants)
        for (ComponentState& state : participant.section->components)
            for (const Text& dropped : pruneUnchanged(setDirectory, state))
                std::printf("%-16s unchanged since the previous backup: %s\n", "Differenced",
                            out(dropped).c_str());
}

void markBackedUp(std::vector<Participant>& participants) {
    for (Participant& participant : participants)
        for (ComponentState& state : participant.section->components) state.backupSucceeded = true;
}

int abandonBackup(Sequence& sequence, bool requested) {
    sequence.abandon();
    std::printf("Backup aborted%s; no document saved\n", requested ? " on request" : "");
    return requested ? kExitAbortedOnRequest : kExitEventFailed;
}

bool prepareRestoreSelection(const RequestOptions& options, BackupDocument& document) {
    for (const Selection& selection : options.components) {
        ComponentState* state = nullptr;
        for (WriterSection& section : document.writers)
            if (isChosen(options, section.metadata.writerId, section.metadata.instanceName) &&
                (state = findComponentState(section, selection.path)))
                break;
        if (!state) {
            std::fprintf(stderr, "vssreq: the set holds no component %s\n",
                         out(selection.path).c_str());
            return false;
        }
        state->selectedForRestore = true;
        state->restoreOptions = selection.options;
        state->newTargets = selection.newTargets;
        for (const Text& sub : selection.subcomponents) {
            Subcomponent subcomponent;
            splitPath(sub, subcomponent.logicalPath, subcomponent.name);
            state->subcomponents.push_back(subcomponent);
        }
    }
    for (WriterSection& section : document.writers)
        for (ComponentState& state : section.components)
            state.additionalRestores = options.additionalRestores;
    return true;
}

bool isInRestoredPart(const ComponentState& state, const StoredFile& file) {
    if (state.subcomponents.empty()) return true;
    for (const Subcomponent& sub : state.subcomponents)
        if (isComponentAtOrBelow(file.ownerLogicalPath, file.ownerName,
                                 fullPath(sub.logicalPath, sub.name)))
            return true;
    return false;
}

bool copyBack(const std::wstring& setDirectory, std::vector<Participant>& participants) {
    bool allCopied = true;
    for (Participant& participant : participants)
        for (const ComponentState& state : participant.section->components) {
            if (!state.selectedForRestore) continue;
            for (const StoredFile& file : state.files) {
                if (!isInRestoredPart(state, file)) continue;
                Text destination = restoreDestination(file, state.newTargets);
                bool copied = copyOutOfSet(setDirectory, file, destination);
                allCopied &= copied;
                std::printf("%-16s %s %s\n", "Restore", copied ? "copied" : "CANNOT COPY",
                            out(destination).c_str());
            }
        }
    return allCopied;
}

// Finds the writers the set's components belong to, among those subscribed now.
bool attachRestoreWriters(BackupDocument& document, std::vector<Participant>& running,
                          std::vector<Participant>& taking) {
    for (WriterSection& section : document.writers) {
        bool selected = false;
        for (const ComponentState& state : section.components) selected |= state.selectedForRestore;
        if (!selected) continue;
        bool found = false;
        for (Participant& participant : running)
            if (!found && participant.metadata.writerId == section.metadata.writerId &&
                participant.metadata.instanceName == section.metadata.instanceName) {
                participant.section = &section;
                taking.push_back(std::move(participant));
                found = true;
            }
        if (!found) {
            std::printf("Restore          writer %s [%s] is not subscribed\n",
                        out(section.metadata.writerName).c_str(),
                        out(section.metadata.instanceName).c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int listWriters(const RequestOptions& options) {
    std::vector<Participant> participants;
    bool allAnswered = identifyWriters(options, participants, true);
    if (participants.empty() && allAnswered) std::printf("No subscribed writer\n");
    return allAnswered ? kExitOk : kExitEventFailed;
}

int runBackup(const RequestOptions& options) {
    std::vector<Participant> participants;
    if (!identifyWriters(options, participants, false)) return kExitEventFailed;
    BackupDocument document;
    document.backupType = options.backupType;
    document.selectComponents = options.volumes.empty();
    document.snapshotSetId = newGuid();
    if (!selectForBackup(options, participants, document)) return kExitUsage;
    dropBystanders(participants, document);
    createDirectories(options.setDirectory);

    Sequence sequence(options, participants, document);
    auto stopsAfter = [&](Event event) { return options.abortAfter == event; };
    for (Event event : {Event::PrepareBackup, Event::PrepareSnapshot}) {
        if (!sequence.deliver(event)) return abandonBackup(sequence, false);
        if (stopsAfter(event)) return abandonBackup(sequence, true);
    }
    if (!sequence.freeze()) return abandonBackup(sequence, false);
    if (stopsAfter(Event::Freeze)) return abandonBackup(sequence, true);
    if (!takeSnapshot(options.setDirectory, participants) || !sequence.thaw())
        return abandonBackup(sequence, false);
    if (stopsAfter(Event::Thaw)) return abandonBackup(sequence, true);
    if (!sequence.deliver(Event::PostSnapshot)) return abandonBackup(sequence, false);
    if (document.backupType == kIncremental || document.backupType == kDifferential)
        keepOnlyChangedFiles(options.setDirectory, participants);
    if (stopsAfter(Event::PostSnapshot)) return abandonBackup(sequence, true);

    markBackedUp(participants);
    bool completed = sequence.deliver(Event::BackupComplete);
    bool saved = saveDocument(options.setDirectory, document);
    std::printf("%s %s\n", saved ? "Backup document saved to" : "CANNOT SAVE the backup document",
                out(toText(documentPathOf(options.setDirectory))).c_str());
    bool shutDown = sequence.deliver(Event::BackupShutdown);
    return completed && saved && shutDown ? kExitOk : kExitEventFailed;
}

int runRestore(const RequestOptions& options) {
    BackupDocument document;
    try {
        document = loadDocument(options.setDirectory);
    } catch (const FormatError& error) {
        std::fprintf(stderr, "vssreq: %s\n", error.what());
        return kExitUsage;
    }
    if (!prepareRestoreSelection(options, document)) return kExitUsage;
    std::vector<Participant> running, participants;
    if (!identifyWriters(options, running, false)) return kExitEventFailed;
    if (!attachRestoreWriters(document, running, participants)) return kExitEventFailed;

    Sequence sequence(options, participants, document);
    if (!sequence.deliver(Event::PreRestore)) return kExitEventFailed;
    bool copied = copyBack(options.setDirectory, participants);
    bool recovered = sequence.deliver(Event::PostRestore);
    return copied && recovered ? kExitOk : kExitEventFailed;
}

}  // namespace vsssim
