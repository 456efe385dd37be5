#pragma once
// The texts and decisions of a restore that need no platform call: whether
// the selection fits the instance's state, which whole-database recovery to
// run, and the statements and recovery-tool commands, each kept safe to send.
// No Windows header, so it can be tested on its own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snapscribe {

constexpr std::uint32_t kInstanceRunningRefusal = 0xCFFF0027;
constexpr std::uint32_t kDatabaseMountedRefusal = 0xCFFF0028;
constexpr std::uint32_t kDatabaseNotMountedRefusal = 0xCFFF0029;

// Every recovery-tool command text fits this many bytes, its zero included.
constexpr std::size_t kToolCommandBytes = 4096;

// The failure code the selection flags meet at instance open mode
// `openMode`, or 0 when the selection may be restored.
std::uint32_t restoreSelectionRefusal(std::uint32_t flags, std::int32_t openMode);

enum class WholeDatabaseRecovery { None, Complete, UntilSnapshot };

// The whole-database recovery the recovery flags ask for; the incomplete one
// wins when both are set.
WholeDatabaseRecovery wholeDatabaseRecovery(std::uint32_t flags);

// "RECOVER DATAFILE 1,5,9;" or "RECOVER TABLESPACE A,B;", split into as
// many commands of the same kind as the size limit needs, none past it.
class RecoverCommandList {
public:
    explicit RecoverCommandList(std::string head) : head_(std::move(head)) {}
    void add(const std::string& item) { items_.push_back(item); }
    bool empty() const { return items_.empty(); }
    std::vector<std::string> commands() const;

private:
    std::string head_;
    std::vector<std::string> items_;
};

// "reset database to incarnation N; recover database until scn M;"
std::string untilChangeCommand(std::uint32_t incarnation, std::uint64_t change);

// "catalog archivelog '<name>';", or nothing for a name holding a quote,
// which would end the name early and let the rest be read as commands.
std::optional<std::string> catalogCommand(const std::string& logName);

// A text as a quoted statement literal: every quote doubled.
std::string quotedLiteral(const std::string& text);

// "alter database rename file '<file>' to '<location>\<base><extension>'",
// quotes in any of the names doubled.
std::string renameStatement(const std::string& file, const std::string& location,
                            const std::string& base, const std::string& extension);

// A requestor's "path\file pattern" turned into the database's LIKE
// pattern: "*" becomes "%".
std::string relocationPattern(const std::string& path, const std::string& filePattern);

}  // namespace snapscribe
