#include "metadata_text.h"

#include <cwchar>

#include "option_text.h"

namespace snapscribe {
namespace {

constexpr const wchar_t* kBackupTypeNames[] = {L"FULL", L"INCREMENTAL", L"DIFFERENTIAL",
                                               L"LOG",  L"COPY",        L"OTHER"};

constexpr wchar_t kDbidKey[] = L"DBID=";
constexpr wchar_t kBackupTypeKey[] = L"BACKUP_TYPE=";
constexpr wchar_t kCheckpointKey[] = L"CHECKPOINT=";
constexpr wchar_t kNoRecoverKey[] = L"NORECOVER=";
constexpr wchar_t kCfFileKey[] = L"CFFILE=";
constexpr wchar_t kDirectoryKey[] = L"DIRECTORY=";
constexpr wchar_t kDbNameKey[] = L"DB_NAME=";

constexpr wchar_t kDatabaseFilesSentence[] =
    L";Database files backup, no files from this component must be backed/restored";
constexpr wchar_t kConsistentSentence[] =
    L";Consistent database backup - No recovery required to open;";
constexpr wchar_t kHotSentence[] = L";Hot database backup - Needs recovery to open";

bool validKind(std::uint32_t kind) { return kind >= 1 && kind <= 9; }

const wchar_t* logBackupSentence(std::uint32_t kind) {
    if (kind <= 4)
        return L";Archive Logs backup, no files from this componentmust be backed/restored";
    if (kind == 5) return L";Archive Log Dest backup";
    if (kind == 6) return L";Top level component selected for Log backups";
    return L";Recovery Area files backup";
}

std::wstring identity(const MetadataFacts& facts, const wchar_t* between = L";") {
    return kDbidKey + std::to_wstring(facts.dbid) + between + kBackupTypeKey +
           backupTypeName(facts.backupType);
}

void appendField(std::wstring& text, const wchar_t* key, const std::wstring& value) {
    text += L';';
    text += key;
    text += value;
}

void appendDirectories(std::wstring& text, const MetadataFacts& facts) {
    for (const std::wstring& directory : facts.directories)
        appendField(text, kDirectoryKey, directory);
}

std::wstring databaseMetadata(const MetadataFacts& facts) {
    std::wstring text = identity(facts) + L';' + kCheckpointKey + facts.checkpoint;
    if (facts.fuzzyCount == 0) {
        text += kConsistentSentence;
        text += kNoRecoverKey;
        text += L'1';
    } else {
        text += kHotSentence;
    }
    if (facts.mediaRecovery) {
        appendField(text, kCfFileKey, facts.snapshotControlFile);
        appendDirectories(text, facts);
    }
    return text;
}

std::wstring fileMetadata(const MetadataFacts& facts) {
    switch (facts.kind) {
        case 1: return identity(facts);
        case 2:
            if (facts.tsNum == -1) return identity(facts);
            return identity(facts, (L";TSNUM=" + std::to_wstring(facts.tsNum) + L";").c_str());
        case 3: {
            std::wstring text = identity(facts, L";CFTYPE=BACKUP;");
            if (facts.mediaRecovery) appendField(text, kCfFileKey, facts.snapshotControlFile);
            return text;
        }
        case 4: {
            std::wstring text = std::wstring(kDbNameKey) + facts.dbName + L';' + kBackupTypeKey +
                                backupTypeName(facts.backupType);
            appendDirectories(text, facts);
            return text;
        }
        case 6: return databaseMetadata(facts);
        default: return kDatabaseFilesSentence;
    }
}

// A value is taken for a type when it begins that type's name; the full
// types are tried first, so an empty value counts as FULL.
bool namesLogTypeBackup(std::wstring_view value) {
    for (std::int32_t type :
         {BackupFull, BackupIncremental, BackupDifferential, BackupCopy, BackupOther, BackupLog}) {
        if (std::wstring_view(backupTypeName(type)).starts_with(value)) {
            return isLogTypeBackup(type);
        }
    }
    return false;
}

std::uint32_t unsignedValue(std::wstring_view field, std::size_t keyLength) {
    const std::wstring value(field.substr(keyLength));
    unsigned int number = 0;
    std::swscanf(value.c_str(), L"%u", &number);
    return number;
}

}  // namespace

const wchar_t* backupTypeName(std::int32_t backupType) {
    if (backupType < BackupFull || backupType > BackupOther) return L"UNDEFINED";
    return kBackupTypeNames[backupType - 1];
}

bool isLogTypeBackup(std::int32_t backupType) {
    return backupType == BackupIncremental || backupType == BackupDifferential ||
           backupType == BackupLog;
}

MetadataNeeds metadataNeeds(std::uint32_t kind, std::int32_t backupType, bool mediaRecovery) {
    MetadataNeeds needs;
    if (isLogTypeBackup(backupType)) return needs;
    switch (kind) {
        case 3: needs.snapshotControlFile = mediaRecovery; break;
        case 4:
            needs.dbName = true;
            needs.directories = true;
            break;
        case 6:
            needs.trackingSwitch = backupType == BackupFull;
            needs.checkpoint = true;
            needs.snapshotControlFile = mediaRecovery;
            needs.directories = mediaRecovery;
            break;
        default: break;
    }
    return needs;
}

std::optional<std::wstring> composeMetadataText(const MetadataFacts& facts) {
    if (!validKind(facts.kind)) return std::nullopt;
    if (isLogTypeBackup(facts.backupType)) return identity(facts) + logBackupSentence(facts.kind);
    return fileMetadata(facts);
}

ParsedMetadata parseMetadataText(std::wstring_view metadata) {
    ParsedMetadata parsed;
    for (std::wstring_view field : splitFields(metadata)) {
        ++parsed.fieldCount;
        const std::wstring text(field);
        if (field.starts_with(kDbidKey)) {
            parsed.dbid = unsignedValue(field, std::size(kDbidKey) - 1);
            parsed.traceLines.push_back(kDbidKey + std::to_wstring(*parsed.dbid));
        } else if (field.starts_with(kCfFileKey)) {
            parsed.cfFile = text.substr(std::size(kCfFileKey) - 1);
            parsed.traceLines.push_back(text);
        } else if (field.starts_with(kNoRecoverKey)) {
            parsed.noRecover = unsignedValue(field, std::size(kNoRecoverKey) - 1);
            parsed.traceLines.push_back(kNoRecoverKey + std::to_wstring(*parsed.noRecover));
        } else if (field.starts_with(kDirectoryKey)) {
            parsed.directories.push_back(text.substr(std::size(kDirectoryKey) - 1));
            parsed.traceLines.push_back(text);
        } else if (field.starts_with(kBackupTypeKey)) {
            if (namesLogTypeBackup(field.substr(std::size(kBackupTypeKey) - 1))) {
                parsed.nonFullBackup = true;
            }
            parsed.traceLines.push_back(text);
        }
    }
    return parsed;
}

std::wstring backupStampText(std::uint64_t fileTime) {
    return L"FILETIME=" + std::to_wstring(static_cast<std::uint32_t>(fileTime >> 32)) + L',' +
           std::to_wstring(static_cast<std::uint32_t>(fileTime)) + L';';
}

std::wstring archivedLogHeader(std::wstring_view name, std::wstring_view firstChange,
                               std::wstring_view nextChange) {
    std::wstring header = L";FILENAME=";
    header += name;
    header += L";FIRST_SCN=";
    header += firstChange;
    header += L";NEXT_SCN=";
    header += nextChange;
    header += L";DATA=";
    return header;
}

}  // namespace snapscribe
