#pragma once
// The files side of a backup set: finding the files writers name, copying
// them into the set and back, and keeping the backup components document
// beside them.

#include <windows.h>

#include <string>
#include <vector>

#include "sim/vss/model/documents.h"

namespace vsssim {

// "backup-document.txt" inside the set's directory.
std::wstring documentPathOf(const std::wstring& setDirectory);
bool saveDocument(const std::wstring& setDirectory, const BackupDocument& document);
// Throws FormatError when the file is missing or not a document.
BackupDocument loadDocument(const std::wstring& setDirectory);

// Every existing file a specification names, minus the excluded ones.
std::vector<Text> filesNamedBy(const FileSpec& fileSpec, const std::vector<FileSpec>& excluded);

// Files of `owner` that a backup of `backupType` takes.
std::vector<StoredFile> filesOfComponent(const ComponentInfo& owner, std::uint32_t backupType,
                                         const std::vector<FileSpec>& excluded);

// Copies each file into the set; false (with `failure` set) at the first
// file that cannot be copied.
bool copyIntoSet(const std::wstring& setDirectory, const std::vector<StoredFile>& files,
                 Text& failure);

// Drops from `component` (and the set) the copies the writer reported as
// differenced files that did not change after the given time.
std::vector<Text> pruneUnchanged(const std::wstring& setDirectory, ComponentState& component);

// Where a stored file goes back to: its original place, or the alternate
// location of the first new target that names it.
Text restoreDestination(const StoredFile& file, const std::vector<FileSpec>& newTargets);

bool copyOutOfSet(const std::wstring& setDirectory, const StoredFile& file,
                  const Text& destination);

bool createDirectories(const std::wstring& directory);

}  // namespace vsssim
