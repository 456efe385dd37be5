#pragma once
// The files of an instance, reached through the machine's file system. The
// engine decides what the files hold; the implementation only moves bytes.

#include <cstdint>
#include <optional>
#include <string>

namespace vorlix {

class Storage {
public:
    virtual ~Storage() = default;
    virtual bool exists(const std::string& path) = 0;
    // Creates or replaces the file (and its missing parent directories).
    virtual bool createFile(const std::string& path, const std::string& bytes) = 0;
    // Up to `bytes` from `offset` of an existing file (fewer at its end).
    virtual std::optional<std::string> readAt(const std::string& path, uint64_t offset,
                                              size_t bytes) = 0;
    // Writes into an existing file at `offset`, growing it when needed.
    virtual bool writeAt(const std::string& path, uint64_t offset, const std::string& bytes) = 0;
    virtual bool append(const std::string& path, const std::string& bytes) = 0;
    virtual std::optional<uint64_t> size(const std::string& path) = 0;
    virtual bool copyFile(const std::string& from, const std::string& to) = 0;

    std::optional<std::string> readStart(const std::string& path, size_t bytes) {
        return readAt(path, 0, bytes);
    }
    std::optional<std::string> readAll(const std::string& path) {
        auto length = size(path);
        return length ? readAt(path, 0, size_t(*length)) : std::nullopt;
    }
    // Overwrites the beginning of an existing file and keeps the rest.
    bool overwriteStart(const std::string& path, const std::string& bytes) {
        return writeAt(path, 0, bytes);
    }
};

}  // namespace vorlix
