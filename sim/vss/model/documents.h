#pragma once
// What writers and the requester exchange: the writer metadata answered to
// Identify, and the backup components document that travels through the
// backup and restore events and is kept with a backup set.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/vss/model/record.h"

namespace vsssim {

using Text = std::u16string;
using OptionalText = std::optional<Text>;

// Values as the platform's enumerations number them.
enum BackupType : std::uint32_t {
    kUndefined = 0,
    kFull,
    kIncremental,
    kDifferential,
    kLog,
    kCopy,
    kOther
};
enum ComponentType : std::uint32_t { kDatabaseComponent = 1, kFileGroupComponent = 2 };

struct FileSpec {
    Text path;
    Text filespec;
    bool recursive = false;
    Text alternateLocation;
    std::uint32_t typeMask = 0xF0F;
};

struct Dependency {
    Text forLogicalPath, forName, onWriterId, onLogicalPath, onName;
};

struct ComponentInfo {
    std::uint32_t type = kDatabaseComponent;
    Text logicalPath, name, caption;
    std::uint32_t iconBytes = 0;
    bool restoreMetadata = false, notifyOnBackupComplete = false, selectable = false,
         selectableForRestore = false;
    std::uint32_t flags = 0;
    std::vector<FileSpec> databaseFiles, logFiles, groupFiles;
};

struct RestoreMethod {
    std::uint32_t method = 0;
    Text service, userProcedure;
    std::uint32_t writerRestore = 0;
    bool rebootRequired = false;
    bool set = false;
};

struct WriterMetadata {
    Text writerId, writerName, instanceName;
    std::uint32_t usageType = 0, sourceType = 0, level = 0, freezeTimeoutMs = 0;
    std::uint32_t backupSchema = 0;
    RestoreMethod restoreMethod;
    std::vector<FileSpec> includeFiles, excludeFiles, alternateMappings;
    std::vector<ComponentInfo> components;
    std::vector<Dependency> dependencies;
};

struct DifferencedFile {
    Text path, filespec;
    bool recursive = false;
    Text lsn;
    std::uint64_t lastModifyTime = 0;
};

struct Subcomponent {
    Text logicalPath, name;
    bool repair = false;
};

struct PartialFile {
    Text path, filename, ranges, metadata;
};

struct DirectedTarget {
    Text sourcePath, sourceFilename, sourceRanges, destinationPath, destinationFilename,
        destinationRanges;
};

// A file the requester copied into a backup set for a component (or one of
// the components under it), with the place it came from.
struct StoredFile {
    Text ownerLogicalPath, ownerName;
    Text original;
    Text stored;  // relative to the set's directory
};

struct ComponentState {
    Text logicalPath, name;
    std::uint32_t type = kDatabaseComponent;
    OptionalText backupOptions, restoreOptions, backupMetadata, restoreMetadata, backupStamp,
        previousBackupStamp, preRestoreFailureMsg, postRestoreFailureMsg;
    bool backupSucceeded = false, selectedForRestore = false, additionalRestores = false;
    std::uint32_t restoreTarget = 1;  // original location
    std::vector<FileSpec> newTargets, alternateMappings;
    std::vector<Subcomponent> subcomponents;
    std::vector<DifferencedFile> differencedFiles;
    std::vector<PartialFile> partialFiles;
    std::vector<DirectedTarget> directedTargets;
    std::vector<StoredFile> files;
};

struct WriterSection {
    WriterMetadata metadata;
    std::vector<ComponentState> components;
    std::vector<StoredFile> volumeFiles;  // what a volume-based backup copied
};

struct BackupDocument {
    std::uint32_t backupType = kUndefined;
    bool selectComponents = true;
    Text snapshotSetId;
    std::vector<Text> volumes;
    std::vector<WriterSection> writers;
};

// Each is written as one record; read back, the texts are moved out of the
// record read, which is left without them.
void write(RecordWriter& out, const WriterMetadata& metadata);
WriterMetadata writerMetadataFrom(Record&& record);
void write(RecordWriter& out, const ComponentState& component);
ComponentState componentStateFrom(Record&& record);
void write(RecordWriter& out, const BackupDocument& document);
BackupDocument backupDocumentFrom(Record&& record);

// The whole text of one of the above.
template <class T>
std::string textOf(const T& item) {
    StringSink sink;
    RecordWriter out(sink);
    write(out, item);
    return std::move(sink.text());
}

// "FULL" ... "OTHER"; "UNDEFINED" for anything else.
std::string backupTypeName(std::uint32_t type);
// The type named (case-insensitive), or kUndefined.
std::uint32_t backupTypeFromName(const std::string& name);

// The component's logical path and name joined as one path.
Text fullPath(const Text& logicalPath, const Text& name);

}  // namespace vsssim
