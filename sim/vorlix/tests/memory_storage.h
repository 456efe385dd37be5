#pragma once
// Files kept in memory, so the instance's logic can be tested without a disk.

#include <map>

#include "sim/vorlix/engine/storage.h"

namespace vorlix {

class MemoryStorage : public Storage {
public:
    std::map<std::string, std::string> files;

    bool exists(const std::string& path) override { return files.count(path) != 0; }
    bool createFile(const std::string& path, const std::string& bytes) override {
        files[path] = bytes;
        return true;
    }
    std::optional<std::string> readAt(const std::string& path, uint64_t offset,
                                      size_t bytes) override {
        auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        if (offset >= found->second.size()) return std::string();
        return found->second.substr(size_t(offset), bytes);
    }
    bool writeAt(const std::string& path, uint64_t offset, const std::string& bytes) override {
        auto found = files.find(path);
        if (found == files.end()) return false;
        std::string& file = found->second;
        if (file.size() < offset + bytes.size()) file.resize(size_t(offset) + bytes.size(), '\0');
        file.replace(size_t(offset), bytes.size(), bytes);
        return true;
    }
    bool append(const std::string& path, const std::string& bytes) override {
        auto found = files.find(path);
        if (found == files.end()) return false;
        found->second += bytes;
        return true;
    }
    std::optional<uint64_t> size(const std::string& path) override {
        auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second.size();
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        auto found = files.find(from);
        if (found == files.end()) return false;
        files[to] = found->second;
        return true;
    }
};

}  // namespace vorlix
