#pragma once
// The instance's files on the machine's file system.

#include "sim/vorlix/engine/storage.h"

namespace vorlix {

class WinStorage : public Storage {
public:
    bool exists(const std::string& path) override;
    bool createFile(const std::string& path, const std::string& bytes) override;
    std::optional<std::string> readAt(const std::string& path, uint64_t offset,
                                      size_t bytes) override;
    bool writeAt(const std::string& path, uint64_t offset, const std::string& bytes) override;
    bool append(const std::string& path, const std::string& bytes) override;
    std::optional<uint64_t> size(const std::string& path) override;
    bool copyFile(const std::string& from, const std::string& to) override;
};

// Creates the directory and its missing parents.
bool createDirectories(const std::wstring& directory);
// Deletes the directory with everything in it.
bool deleteTree(const std::wstring& directory);

}  // namespace vorlix
