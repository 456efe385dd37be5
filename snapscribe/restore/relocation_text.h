#pragma once
// How a restore reads the database's own file names: the control files of
// the control_files parameter, and which files a requestor's new target
// moves. No Windows header, so it can be tested on its own.

#include <string>
#include <vector>

namespace snapscribe {

struct FileNameParts {
    std::string directory;  // drive and directory, ending with its separator
    std::string base;
    std::string extension;  // with its dot, or empty
};

FileNameParts splitFileName(const std::string& fileName);

// The names of a "control_files" value: split at ",", leading blanks dropped.
std::vector<std::string> controlFileNames(const std::string& value);

// Whether a file the relocation pattern matched sits in `path` itself; files
// in its subdirectories keep their names.
bool liesDirectlyIn(const std::string& fileName, const std::string& path);

}  // namespace snapscribe
