#pragma once
// What the database tests share: this process set up as a writer of the
// build's Vorlix installation (its BIN folder on the path, VORLIX_HOME set),
// stand-in instances made and dropped with vlxsim, and the trace read back.

#include <cstdint>
#include <string>

namespace snapscribe::testing {

// The build's Vorlix home; the first call puts its BIN folder on the path.
std::wstring vorlixHome();

// Runs a command line to its end; its exit code, with standard output in `output`.
std::uint32_t runCommand(const std::wstring& commandLine, std::string* output = nullptr);

// An instance made from a description (sim/README.md), dropped at the end.
class Instance {
public:
    explicit Instance(const std::string& description = "{}");
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    const std::string& sid() const { return sid_; }
    // vlxsim <command> <SID> <arguments>; its exit code.
    std::uint32_t vlxsim(const std::string& command, const std::string& arguments = "") const;
    // The instance becomes the writer's: SidNarrow, Sid and VORLIX_SID.
    void makeCurrent() const;

private:
    std::string sid_;
};

// The trace of this process in a file of its own while it lives.
class TraceCapture {
public:
    explicit TraceCapture(std::uint32_t level);
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string text() const;

private:
    std::wstring file_;
};

}  // namespace snapscribe::testing
