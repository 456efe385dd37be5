#pragma once
// The files of an instance, reached through the machine's file system. The
// engine decides what the files hold; the implementation only moves bytes.

#include <optional>
#include <string>

namespace vorlix {

class Storage {
public:
    virtual ~Storage() = default;
    virtual bool exists(const std::string& path) = 0;
    // Creates or replaces the file (and its missing parent directories).
    virtual bool createFile(const std::string& path, const std::string& bytes) = 0;
    // Overwrites the beginning of an existing file and keeps the rest.
    virtual bool overwriteStart(const std::string& path, const std::string& bytes) = 0;
    virtual std::optional<std::string> readStart(const std::string& path, size_t bytes) = 0;
    virtual bool copyFile(const std::string& from, const std::string& to) = 0;
};

}  // namespace vorlix
