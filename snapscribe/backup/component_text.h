#pragma once
// Texts of the component tree: names, logical paths, file specifications
// and the backup stamp, kept free of the platform so they can be tested and
// fuzzed on their own.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace snapscribe {

inline constexpr wchar_t kDatabaseComponent[] = L"Vorlix Database";
inline constexpr wchar_t kSpfileComponent[] = L"Server Parameter File";
inline constexpr wchar_t kRecoveryAreaComponent[] = L"Flash Recovery Area";
inline constexpr wchar_t kArchivedLogsComponent[] = L"Archived Logs";
inline constexpr wchar_t kBackupFilesComponent[] = L"Backup Files";
inline constexpr wchar_t kControlFileComponent[] = L"Control file";
inline constexpr wchar_t kAllTablespacesComponent[] = L"All TableSpaces";
inline constexpr wchar_t kDatafilePrefix[] = L"Datafile number=";
inline constexpr wchar_t kArchiveDestPrefix[] = L"Archive Log Dest_";

// The parts that are not empty, one backslash between each two.
std::wstring joinLogicalPath(std::initializer_list<std::wstring_view> parts);

// Only the database, the archive destinations and the recovery area may be
// chosen for backup on their own; the rest come with their parents.
bool selectableForBackup(std::wstring_view name);

// A full path split at its last backslash: the folder without the backslash
// and the file name (or pattern). Without a backslash the folder is empty.
struct FileSpecification {
    std::wstring path;
    std::wstring fileSpec;
};
FileSpecification splitFileSpecification(std::wstring_view fullPath);

// The file time a backup stamp carries ("FILETIME=<high>,<low>;"); nothing
// when the text does not start with that form.
std::optional<std::uint64_t> parseBackupStamp(std::wstring_view stamp);

}  // namespace snapscribe
