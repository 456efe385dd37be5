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
    bool overwriteStart(const std::string& path, const std::string& bytes) override {
        auto found = files.find(path);
        if (found == files.end()) return false;
        found->second.replace(0, std::min(bytes.size(), found->second.size()), bytes);
        if (bytes.size() > found->second.size()) found->second = bytes;
        return true;
    }
    std::optional<std::string> readStart(const std::string& path, size_t bytes) override {
        auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second.substr(0, bytes);
    }
    bool copyFile(const std::string& from, const std::string& to) override {
        auto found = files.find(from);
        if (found == files.end()) return false;
        files[to] = found->second;
        return true;
    }
};

}  // namespace vorlix
