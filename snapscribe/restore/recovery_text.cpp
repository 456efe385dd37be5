#include "recovery_text.h"

#include <initializer_list>

#include "snapscribe/sequence/conversation.h"

namespace snapscribe {
namespace {

bool oneOf(std::int32_t mode, std::initializer_list<std::int32_t> modes) {
    for (const std::int32_t allowed : modes) {
        if (mode == allowed) return true;
    }
    return false;
}

constexpr std::int32_t kNotMounted = 1;
constexpr std::int32_t kNotAvailable = 2;
constexpr std::int32_t kMounted = 5;
constexpr std::int32_t kOpenReadWrite = 6;
constexpr std::int32_t kServiceUnreachable = 9;

}  // namespace

std::uint32_t restoreSelectionRefusal(std::uint32_t flags, std::int32_t openMode) {
    if (flags & NON_FULL_BACKUP) return 0;
    if ((flags & (SEL_SPFILE | SEL_DATABASE)) &&
        !oneOf(openMode, {kNotAvailable, kServiceUnreachable})) {
        return kInstanceRunningRefusal;
    }
    if ((flags & SEL_CONTROL_FILE) &&
        !oneOf(openMode, {kNotMounted, kNotAvailable, kServiceUnreachable})) {
        return kDatabaseMountedRefusal;
    }
    if ((flags & SEL_DATA_FILES) && !(flags & SEL_CONTROL_FILE) &&
        !oneOf(openMode, {kMounted, kOpenReadWrite})) {
        return kDatabaseNotMountedRefusal;
    }
    return 0;
}

WholeDatabaseRecovery wholeDatabaseRecovery(std::uint32_t flags) {
    if (flags & NO_RECOVER) return WholeDatabaseRecovery::None;
    if (flags & RECOVER_UNTIL_SNAPSHOT) return WholeDatabaseRecovery::UntilSnapshot;
    if (flags & RECOVER_COMPLETE) return WholeDatabaseRecovery::Complete;
    return WholeDatabaseRecovery::None;
}

std::vector<std::string> RecoverCommandList::commands() const {
    // Room for the closing ";" and the zero.
    const std::size_t limit = kToolCommandBytes - 2;
    std::vector<std::string> result;
    std::string current;
    for (const std::string& item : items_) {
        if (!current.empty() && current.size() + 1 + item.size() > limit) {
            result.push_back(current + ";");
            current.clear();
        }
        current += current.empty() ? head_ + item : "," + item;
    }
    if (!current.empty()) result.push_back(current + ";");
    return result;
}

std::string untilChangeCommand(std::uint32_t incarnation, std::uint64_t change) {
    return "reset database to incarnation " + std::to_string(incarnation) +
           "; recover database until scn " + std::to_string(change) + ";";
}

std::optional<std::string> catalogCommand(const std::string& logName) {
    if (logName.find('\'') != std::string::npos) return std::nullopt;
    return "catalog archivelog '" + logName + "';";
}

std::string quotedLiteral(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

std::string renameStatement(const std::string& file, const std::string& location,
                            const std::string& base, const std::string& extension) {
    return "alter database rename file " + quotedLiteral(file) + " to " +
           quotedLiteral(location + "\\" + base + extension);
}

std::string relocationPattern(const std::string& path, const std::string& filePattern) {
    std::string pattern = path + "\\" + filePattern;
    for (char& c : pattern) {
        if (c == '*') c = '%';
    }
    return pattern;
}

}  // namespace snapscribe
