#include "sim/vss/model/documents.h"

#include <algorithm>
#include <cctype>
#include <concepts>
#include <type_traits>

namespace vsssim {

namespace {

template <class T, class Kind>
concept Of = std::same_as<std::remove_const_t<T>, Kind>;

template <class T>
void writeItem(RecordWriter& out, const char* tag, const T& item);
template <class T>
std::vector<T> childrenOf(Record& parent, const std::string& tag);

// Each kind below names its fields once, in the order a record keeps them;
// the writer streams them out and the reader takes them back, moving the
// texts out of the record read (restore metadata can be hundreds of MiB).
class FieldWriter {
public:
    explicit FieldWriter(RecordWriter& out) : out_(out) {}
    void text(const char* key, const Text& value) { out_.field(key, value); }
    void optional(const char* key, const OptionalText& value) {
        if (value) out_.field(key, *value);
    }
    void number(const char* key, std::uint64_t value) { out_.number(key, value); }
    void flag(const char* key, bool value) { out_.number(key, value ? 1 : 0); }
    template <class T>
    void children(const char* tag, const std::vector<T>& items) {
        for (const T& item : items) writeItem(out_, tag, item);
    }
    void restoreMethod(const RestoreMethod& method);

private:
    RecordWriter& out_;
};

class FieldReader {
public:
    explicit FieldReader(Record& record) : record_(record) {}
    void text(const char* key, Text& value) {
        Text* found = record_.find(key);
        value = found ? std::move(*found) : Text();
    }
    void optional(const char* key, OptionalText& value) {
        Text* found = record_.find(key);
        value = found ? OptionalText(std::move(*found)) : std::nullopt;
    }
    void number(const char* key, std::uint32_t& value) {
        value = static_cast<std::uint32_t>(record_.number(key));
    }
    void number(const char* key, std::uint64_t& value) { value = record_.number(key); }
    void flag(const char* key, bool& value) { value = record_.flag(key); }
    template <class T>
    void children(const char* tag, std::vector<T>& items) {
        items = childrenOf<T>(record_, tag);
    }
    void restoreMethod(RestoreMethod& method);

private:
    Record& record_;
};

template <class V, Of<FileSpec> T>
void fields(V& v, T& fileSpec) {
    v.text("path", fileSpec.path);
    v.text("filespec", fileSpec.filespec);
    v.flag("recursive", fileSpec.recursive);
    v.text("alternate", fileSpec.alternateLocation);
    v.number("mask", fileSpec.typeMask);
}

template <class V, Of<ComponentInfo> T>
void fields(V& v, T& info) {
    v.number("type", info.type);
    v.text("logical-path", info.logicalPath);
    v.text("name", info.name);
    v.text("caption", info.caption);
    v.number("icon-bytes", info.iconBytes);
    v.flag("restore-metadata", info.restoreMetadata);
    v.flag("notify-on-backup-complete", info.notifyOnBackupComplete);
    v.flag("selectable", info.selectable);
    v.flag("selectable-for-restore", info.selectableForRestore);
    v.number("flags", info.flags);
    v.children("database-files", info.databaseFiles);
    v.children("log-files", info.logFiles);
    v.children("group-files", info.groupFiles);
}

template <class V, Of<RestoreMethod> T>
void fields(V& v, T& method) {
    v.number("method", method.method);
    v.text("service", method.service);
    v.text("user-procedure", method.userProcedure);
    v.number("writer-restore", method.writerRestore);
    v.flag("reboot-required", method.rebootRequired);
}

template <class V, Of<Dependency> T>
void fields(V& v, T& dependency) {
    v.text("for-logical-path", dependency.forLogicalPath);
    v.text("for-name", dependency.forName);
    v.text("on-writer-id", dependency.onWriterId);
    v.text("on-logical-path", dependency.onLogicalPath);
    v.text("on-name", dependency.onName);
}

template <class V, Of<WriterMetadata> T>
void fields(V& v, T& metadata) {
    v.text("writer-id", metadata.writerId);
    v.text("writer-name", metadata.writerName);
    v.text("instance-name", metadata.instanceName);
    v.number("usage-type", metadata.usageType);
    v.number("source-type", metadata.sourceType);
    v.number("level", metadata.level);
    v.number("freeze-timeout-ms", metadata.freezeTimeoutMs);
    v.number("backup-schema", metadata.backupSchema);
    v.restoreMethod(metadata.restoreMethod);
    v.children("include-files", metadata.includeFiles);
    v.children("exclude-files", metadata.excludeFiles);
    v.children("alternate-mapping", metadata.alternateMappings);
    v.children("component", metadata.components);
    v.children("dependency", metadata.dependencies);
}

template <class V, Of<Subcomponent> T>
void fields(V& v, T& sub) {
    v.text("logical-path", sub.logicalPath);
    v.text("name", sub.name);
    v.flag("repair", sub.repair);
}

template <class V, Of<DifferencedFile> T>
void fields(V& v, T& file) {
    v.text("path", file.path);
    v.text("filespec", file.filespec);
    v.flag("recursive", file.recursive);
    v.text("lsn", file.lsn);
    v.number("last-modify-time", file.lastModifyTime);
}

template <class V, Of<PartialFile> T>
void fields(V& v, T& file) {
    v.text("path", file.path);
    v.text("filename", file.filename);
    v.text("ranges", file.ranges);
    v.text("metadata", file.metadata);
}

template <class V, Of<DirectedTarget> T>
void fields(V& v, T& target) {
    v.text("source-path", target.sourcePath);
    v.text("source-filename", target.sourceFilename);
    v.text("source-ranges", target.sourceRanges);
    v.text("destination-path", target.destinationPath);
    v.text("destination-filename", target.destinationFilename);
    v.text("destination-ranges", target.destinationRanges);
}

template <class V, Of<StoredFile> T>
void fields(V& v, T& file) {
    v.text("owner-logical-path", file.ownerLogicalPath);
    v.text("owner-name", file.ownerName);
    v.text("original", file.original);
    v.text("stored", file.stored);
}

template <class V, Of<ComponentState> T>
void fields(V& v, T& component) {
    v.text("logical-path", component.logicalPath);
    v.text("name", component.name);
    v.number("type", component.type);
    v.optional("backup-options", component.backupOptions);
    v.optional("restore-options", component.restoreOptions);
    v.optional("backup-metadata", component.backupMetadata);
    v.optional("restore-metadata", component.restoreMetadata);
    v.optional("backup-stamp", component.backupStamp);
    v.optional("previous-backup-stamp", component.previousBackupStamp);
    v.optional("pre-restore-failure", component.preRestoreFailureMsg);
    v.optional("post-restore-failure", component.postRestoreFailureMsg);
    v.flag("backup-succeeded", component.backupSucceeded);
    v.flag("selected-for-restore", component.selectedForRestore);
    v.flag("additional-restores", component.additionalRestores);
    v.number("restore-target", component.restoreTarget);
    v.children("new-target", component.newTargets);
    v.children("alternate-mapping", component.alternateMappings);
    v.children("subcomponent", component.subcomponents);
    v.children("differenced-files", component.differencedFiles);
    v.children("partial-file", component.partialFiles);
    v.children("directed-target", component.directedTargets);
    v.children("stored-file", component.files);
}

template <class T>
void writeItem(RecordWriter& out, const char* tag, const T& item) {
    out.begin(tag);
    FieldWriter writer(out);
    fields(writer, item);
    out.end();
}

template <class T>
T itemOf(Record& record) {
    T item;
    FieldReader reader(record);
    fields(reader, item);
    return item;
}

template <class T>
std::vector<T> childrenOf(Record& parent, const std::string& tag) {
    std::vector<T> items;
    for (Record* child : parent.childrenTagged(tag)) items.push_back(itemOf<T>(*child));
    return items;
}

// A restore method is a child of its own, present only once set.
void FieldWriter::restoreMethod(const RestoreMethod& method) {
    if (method.set) writeItem(out_, "restore-method", method);
}

void FieldReader::restoreMethod(RestoreMethod& method) {
    for (Record* child : record_.childrenTagged("restore-method")) {
        method = itemOf<RestoreMethod>(*child);
        method.set = true;
    }
}

const std::vector<std::string> kBackupTypeNames = {
    "UNDEFINED", "FULL", "INCREMENTAL", "DIFFERENTIAL", "LOG", "COPY", "OTHER"};

}  // namespace

void write(RecordWriter& out, const WriterMetadata& metadata) {
    writeItem(out, "writer-metadata", metadata);
}

WriterMetadata writerMetadataFrom(Record&& record) {
    if (record.tag != "writer-metadata") throw FormatError("not writer metadata");
    return itemOf<WriterMetadata>(record);
}

void write(RecordWriter& out, const ComponentState& component) {
    writeItem(out, "component", component);
}

ComponentState componentStateFrom(Record&& record) { return itemOf<ComponentState>(record); }

void write(RecordWriter& out, const BackupDocument& document) {
    out.begin("backup-document");
    out.number("backup-type", document.backupType);
    out.number("select-components", document.selectComponents ? 1 : 0);
    out.field("snapshot-set-id", document.snapshotSetId);
    for (const Text& volume : document.volumes) out.field("volume", volume);
    for (const WriterSection& section : document.writers) {
        out.begin("writer");
        write(out, section.metadata);
        for (const ComponentState& component : section.components) write(out, component);
        for (const StoredFile& file : section.volumeFiles) writeItem(out, "stored-file", file);
        out.end();
    }
    out.end();
}

BackupDocument backupDocumentFrom(Record&& record) {
    if (record.tag != "backup-document") throw FormatError("not a backup components document");
    BackupDocument document;
    document.backupType = static_cast<std::uint32_t>(record.number("backup-type"));
    document.selectComponents = record.flag("select-components");
    document.snapshotSetId = record.text("snapshot-set-id");
    for (const auto& [key, value] : record.fields)
        if (key == "volume") document.volumes.push_back(value);
    for (Record* writer : record.childrenTagged("writer")) {
        WriterSection section;
        auto metadata = writer->childrenTagged("writer-metadata");
        if (metadata.size() != 1) throw FormatError("writer section without metadata");
        section.metadata = writerMetadataFrom(std::move(*metadata.front()));
        for (Record* component : writer->childrenTagged("component"))
            section.components.push_back(componentStateFrom(std::move(*component)));
        section.volumeFiles = childrenOf<StoredFile>(*writer, "stored-file");
        document.writers.push_back(std::move(section));
    }
    return document;
}

std::string backupTypeName(std::uint32_t type) {
    return type < kBackupTypeNames.size() ? kBackupTypeNames[type] : kBackupTypeNames[0];
}

std::uint32_t backupTypeFromName(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (std::uint32_t type = kFull; type < kBackupTypeNames.size(); ++type)
        if (kBackupTypeNames[type] == upper) return type;
    return kUndefined;
}

Text fullPath(const Text& logicalPath, const Text& name) {
    return logicalPath.empty() ? name : logicalPath + u"\\" + name;
}

}  // namespace vsssim
