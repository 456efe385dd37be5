#include "sim/vss/model/documents.h"

#include <algorithm>
#include <cctype>

namespace vsssim {

namespace {

void setOptional(Record& record, const std::string& key, const OptionalText& value) {
    if (value) record.set(key, *value);
}

OptionalText optional(const Record& record, const std::string& key) {
    const Text* value = record.find(key);
    return value ? OptionalText(*value) : std::nullopt;
}

std::uint32_t number32(const Record& record, const std::string& key) {
    return static_cast<std::uint32_t>(record.number(key));
}

Record fileSpecRecord(const std::string& tag, const FileSpec& fileSpec) {
    Record record{tag, {}, {}};
    record.set("path", fileSpec.path);
    record.set("filespec", fileSpec.filespec);
    record.setFlag("recursive", fileSpec.recursive);
    record.set("alternate", fileSpec.alternateLocation);
    record.setNumber("mask", fileSpec.typeMask);
    return record;
}

std::vector<FileSpec> fileSpecs(const Record& parent, const std::string& tag) {
    std::vector<FileSpec> specs;
    for (const Record* record : parent.childrenTagged(tag))
        specs.push_back({record->text("path"), record->text("filespec"), record->flag("recursive"),
                         record->text("alternate"), number32(*record, "mask")});
    return specs;
}

void addFileSpecs(Record& parent, const std::string& tag, const std::vector<FileSpec>& specs) {
    for (const FileSpec& fileSpec : specs) parent.children.push_back(fileSpecRecord(tag, fileSpec));
}

Record componentInfoRecord(const ComponentInfo& info) {
    Record record{"component", {}, {}};
    record.setNumber("type", info.type);
    record.set("logical-path", info.logicalPath);
    record.set("name", info.name);
    record.set("caption", info.caption);
    record.setNumber("icon-bytes", info.iconBytes);
    record.setFlag("restore-metadata", info.restoreMetadata);
    record.setFlag("notify-on-backup-complete", info.notifyOnBackupComplete);
    record.setFlag("selectable", info.selectable);
    record.setFlag("selectable-for-restore", info.selectableForRestore);
    record.setNumber("flags", info.flags);
    addFileSpecs(record, "database-files", info.databaseFiles);
    addFileSpecs(record, "log-files", info.logFiles);
    addFileSpecs(record, "group-files", info.groupFiles);
    return record;
}

ComponentInfo componentInfoFrom(const Record& record) {
    ComponentInfo info;
    info.type = number32(record, "type");
    info.logicalPath = record.text("logical-path");
    info.name = record.text("name");
    info.caption = record.text("caption");
    info.iconBytes = number32(record, "icon-bytes");
    info.restoreMetadata = record.flag("restore-metadata");
    info.notifyOnBackupComplete = record.flag("notify-on-backup-complete");
    info.selectable = record.flag("selectable");
    info.selectableForRestore = record.flag("selectable-for-restore");
    info.flags = number32(record, "flags");
    info.databaseFiles = fileSpecs(record, "database-files");
    info.logFiles = fileSpecs(record, "log-files");
    info.groupFiles = fileSpecs(record, "group-files");
    return info;
}

void addStoredFiles(Record& parent, const std::vector<StoredFile>& files) {
    for (const StoredFile& file : files) {
        Record child{"stored-file", {}, {}};
        child.set("owner-logical-path", file.ownerLogicalPath);
        child.set("owner-name", file.ownerName);
        child.set("original", file.original);
        child.set("stored", file.stored);
        parent.children.push_back(child);
    }
}

std::vector<StoredFile> storedFiles(const Record& parent) {
    std::vector<StoredFile> files;
    for (const Record* child : parent.childrenTagged("stored-file"))
        files.push_back({child->text("owner-logical-path"), child->text("owner-name"),
                         child->text("original"), child->text("stored")});
    return files;
}

const std::vector<std::string> kBackupTypeNames = {
    "UNDEFINED", "FULL", "INCREMENTAL", "DIFFERENTIAL", "LOG", "COPY", "OTHER"};

}  // namespace

Record toRecord(const WriterMetadata& metadata) {
    Record record{"writer-metadata", {}, {}};
    record.set("writer-id", metadata.writerId);
    record.set("writer-name", metadata.writerName);
    record.set("instance-name", metadata.instanceName);
    record.setNumber("usage-type", metadata.usageType);
    record.setNumber("source-type", metadata.sourceType);
    record.setNumber("level", metadata.level);
    record.setNumber("freeze-timeout-ms", metadata.freezeTimeoutMs);
    record.setNumber("backup-schema", metadata.backupSchema);
    if (metadata.restoreMethod.set) {
        Record method{"restore-method", {}, {}};
        method.setNumber("method", metadata.restoreMethod.method);
        method.set("service", metadata.restoreMethod.service);
        method.set("user-procedure", metadata.restoreMethod.userProcedure);
        method.setNumber("writer-restore", metadata.restoreMethod.writerRestore);
        method.setFlag("reboot-required", metadata.restoreMethod.rebootRequired);
        record.children.push_back(method);
    }
    addFileSpecs(record, "include-files", metadata.includeFiles);
    addFileSpecs(record, "exclude-files", metadata.excludeFiles);
    addFileSpecs(record, "alternate-mapping", metadata.alternateMappings);
    for (const ComponentInfo& info : metadata.components)
        record.children.push_back(componentInfoRecord(info));
    for (const Dependency& dependency : metadata.dependencies) {
        Record child{"dependency", {}, {}};
        child.set("for-logical-path", dependency.forLogicalPath);
        child.set("for-name", dependency.forName);
        child.set("on-writer-id", dependency.onWriterId);
        child.set("on-logical-path", dependency.onLogicalPath);
        child.set("on-name", dependency.onName);
        record.children.push_back(child);
    }
    return record;
}

WriterMetadata writerMetadataFrom(const Record& record) {
    if (record.tag != "writer-metadata") throw FormatError("not writer metadata");
    WriterMetadata metadata;
    metadata.writerId = record.text("writer-id");
    metadata.writerName = record.text("writer-name");
    metadata.instanceName = record.text("instance-name");
    metadata.usageType = number32(record, "usage-type");
    metadata.sourceType = number32(record, "source-type");
    metadata.level = number32(record, "level");
    metadata.freezeTimeoutMs = number32(record, "freeze-timeout-ms");
    metadata.backupSchema = number32(record, "backup-schema");
    for (const Record* method : record.childrenTagged("restore-method")) {
        metadata.restoreMethod = {
            number32(*method, "method"),     method->text("service"),
            method->text("user-procedure"),  number32(*method, "writer-restore"),
            method->flag("reboot-required"), true};
    }
    metadata.includeFiles = fileSpecs(record, "include-files");
    metadata.excludeFiles = fileSpecs(record, "exclude-files");
    metadata.alternateMappings = fileSpecs(record, "alternate-mapping");
    for (const Record* child : record.childrenTagged("component"))
        metadata.components.push_back(componentInfoFrom(*child));
    for (const Record* child : record.childrenTagged("dependency"))
        metadata.dependencies.push_back({child->text("for-logical-path"), child->text("for-name"),
                                         child->text("on-writer-id"),
                                         child->text("on-logical-path"), child->text("on-name")});
    return metadata;
}

Record toRecord(const ComponentState& component) {
    Record record{"component", {}, {}};
    record.set("logical-path", component.logicalPath);
    record.set("name", component.name);
    record.setNumber("type", component.type);
    setOptional(record, "backup-options", component.backupOptions);
    setOptional(record, "restore-options", component.restoreOptions);
    setOptional(record, "backup-metadata", component.backupMetadata);
    setOptional(record, "restore-metadata", component.restoreMetadata);
    setOptional(record, "backup-stamp", component.backupStamp);
    setOptional(record, "previous-backup-stamp", component.previousBackupStamp);
    setOptional(record, "pre-restore-failure", component.preRestoreFailureMsg);
    setOptional(record, "post-restore-failure", component.postRestoreFailureMsg);
    record.setFlag("backup-succeeded", component.backupSucceeded);
    record.setFlag("selected-for-restore", component.selectedForRestore);
    record.setFlag("additional-restores", component.additionalRestores);
    record.setNumber("restore-target", component.restoreTarget);
    addFileSpecs(record, "new-target", component.newTargets);
    addFileSpecs(record, "alternate-mapping", component.alternateMappings);
    for (const Subcomponent& sub : component.subcomponents) {
        Record child{"subcomponent", {}, {}};
        child.set("logical-path", sub.logicalPath);
        child.set("name", sub.name);
        child.setFlag("repair", sub.repair);
        record.children.push_back(child);
    }
    for (const DifferencedFile& file : component.differencedFiles) {
        Record child{"differenced-files", {}, {}};
        child.set("path", file.path);
        child.set("filespec", file.filespec);
        child.setFlag("recursive", file.recursive);
        child.set("lsn", file.lsn);
        child.setNumber("last-modify-time", file.lastModifyTime);
        record.children.push_back(child);
    }
    for (const PartialFile& file : component.partialFiles) {
        Record child{"partial-file", {}, {}};
        child.set("path", file.path);
        child.set("filename", file.filename);
        child.set("ranges", file.ranges);
        child.set("metadata", file.metadata);
        record.children.push_back(child);
    }
    for (const DirectedTarget& target : component.directedTargets) {
        Record child{"directed-target", {}, {}};
        child.set("source-path", target.sourcePath);
        child.set("source-filename", target.sourceFilename);
        child.set("source-ranges", target.sourceRanges);
        child.set("destination-path", target.destinationPath);
        child.set("destination-filename", target.destinationFilename);
        child.set("destination-ranges", target.destinationRanges);
        record.children.push_back(child);
    }
    addStoredFiles(record, component.files);
    return record;
}

ComponentState componentStateFrom(const Record& record) {
    ComponentState component;
    component.logicalPath = record.text("logical-path");
    component.name = record.text("name");
    component.type = number32(record, "type");
    component.backupOptions = optional(record, "backup-options");
    component.restoreOptions = optional(record, "restore-options");
    component.backupMetadata = optional(record, "backup-metadata");
    component.restoreMetadata = optional(record, "restore-metadata");
    component.backupStamp = optional(record, "backup-stamp");
    component.previousBackupStamp = optional(record, "previous-backup-stamp");
    component.preRestoreFailureMsg = optional(record, "pre-restore-failure");
    component.postRestoreFailureMsg = optional(record, "post-restore-failure");
    component.backupSucceeded = record.flag("backup-succeeded");
    component.selectedForRestore = record.flag("selected-for-restore");
    component.additionalRestores = record.flag("additional-restores");
    component.restoreTarget = number32(record, "restore-target");
    component.newTargets = fileSpecs(record, "new-target");
    component.alternateMappings = fileSpecs(record, "alternate-mapping");
    for (const Record* child : record.childrenTagged("subcomponent"))
        component.subcomponents.push_back(
            {child->text("logical-path"), child->text("name"), child->flag("repair")});
    for (const Record* child : record.childrenTagged("differenced-files"))
        component.differencedFiles.push_back({child->text("path"), child->text("filespec"),
                                              child->flag("recursive"), child->text("lsn"),
                                              child->number("last-modify-time")});
    for (const Record* child : record.childrenTagged("partial-file"))
        component.partialFiles.push_back({child->text("path"), child->text("filename"),
                                          child->text("ranges"), child->text("metadata")});
    for (const Record* child : record.childrenTagged("directed-target"))
        component.directedTargets.push_back(
            {child->text("source-path"), child->text("source-filename"),
             child->text("source-ranges"), child->text("destination-path"),
             child->text("destination-filename"), child->text("destination-ranges")});
    component.files = storedFiles(record);
    return component;
}

Record toRecord(const BackupDocument& document) {
    Record record{"backup-document", {}, {}};
    record.setNumber("backup-type", document.backupType);
    record.setFlag("select-components", document.selectComponents);
    record.set("snapshot-set-id", document.snapshotSetId);
    for (const Text& volume : document.volumes) record.set("volume", volume);
    for (const WriterSection& section : document.writers) {
        Record writer{"writer", {}, {toRecord(section.metadata)}};
        for (const ComponentState& component : section.components)
            writer.children.push_back(toRecord(component));
        addStoredFiles(writer, section.volumeFiles);
        record.children.push_back(writer);
    }
    return record;
}

BackupDocument backupDocumentFrom(const Record& record) {
    if (record.tag != "backup-document") throw FormatError("not a backup components document");
    BackupDocument document;
    document.backupType = number32(record, "backup-type");
    document.selectComponents = record.flag("select-components");
    document.snapshotSetId = record.text("snapshot-set-id");
    for (const auto& [key, value] : record.fields)
        if (key == "volume") document.volumes.push_back(value);
    for (const Record* writer : record.childrenTagged("writer")) {
        WriterSection section;
        auto metadata = writer->childrenTagged("writer-metadata");
        if (metadata.size() != 1) throw FormatError("writer section without metadata");
        section.metadata = writerMetadataFrom(*metadata.front());
        for (const Record* component : writer->childrenTagged("component"))
            section.components.push_back(componentStateFrom(*component));
        section.volumeFiles = storedFiles(*writer);
        document.writers.push_back(section);
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
