#pragma once
// Path and file-specification rules the requester applies to what writers
// report: which files a specification names, which backup types need them,
// where a copy lives inside a backup set.

#include <cstdint>

#include "sim/vss/model/documents.h"

namespace vsssim {

// `fileSpec` may hold "*" and "?"; letters compare without case, as on the
// platform's file systems.
bool matchesFilespec(const Text& fileName, const Text& fileSpec);

// `path` lies at or below `directory` (a trailing backslash is optional).
bool isPathUnder(const Text& path, const Text& directory);

// A file in `directory` is named by a specification of `specPath`: the
// same directory, or one below it when the specification is recursive.
bool isDirectoryCovered(const Text& directory, const Text& specPath, bool recursive);

// The full file name `file` is named by that specification.
bool isNamedBy(const Text& file, const Text& specPath, const Text& filespec, bool recursive);

// Whether a file with this backup-type mask is part of a backup of `type`.
// COPY takes what FULL takes; OTHER and undefined types take every file.
bool isRequiredFor(std::uint32_t typeMask, std::uint32_t backupType);

// "C:\data\a.dbf" -> "files\C\data\a.dbf": the copy's place inside a set.
Text storedPathFor(const Text& original);

// The component is the one at `selectedPath` (logical path and name joined)
// or lies below it, so selecting that path takes it along.
bool isComponentAtOrBelow(const Text& logicalPath, const Text& name, const Text& selectedPath);

// Splits a full file name at its last backslash.
void splitPath(const Text& fullName, Text& directory, Text& fileName);

Text withoutTrailingBackslash(const Text& path);

}  // namespace vsssim
