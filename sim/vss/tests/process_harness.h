#pragma once
// Starting the sample writer and vssreq as real processes, with their output
// in files of a scratch directory the test owns.

#include <windows.h>

#include <string>

#include "support/unique_handle.h"

namespace vsssim::testing {

// A directory of its own under the temporary directory, removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::wstring programPath(const std::wstring& name);  // beside the test program
void writeFile(const std::wstring& path, const std::string& content);
std::string readFile(const std::wstring& path);
bool fileExists(const std::wstring& path);

class ChildProcess {
public:
    // Starts `program` with `arguments`; its stdout and stderr go to `outputFile`.
    ChildProcess(const std::wstring& program, const std::wstring& arguments,
                 const std::wstring& outputFile);
    ~ChildProcess();
    bool started() const { return process_.valid(); }
    // Waits for the end (at most `timeoutMs`); the exit code, or -1 if still running.
    long finish(DWORD timeoutMs = 120000);
    void kill();
    // What the program printed, with line ends made "\n".
    std::string output() const;

private:
    support::KernelHandle process_;
    std::wstring outputFile_;
};

// The sample writer subscribed under `instance`; unsubscribes and ends when
// the object goes away.
class SampleWriterProcess {
public:
    SampleWriterProcess(const ScratchDirectory& scratch, const std::wstring& instance,
                        const std::wstring& extraArguments = L"");
    ~SampleWriterProcess();
    bool subscribed() const { return subscribed_; }
    std::string log() const { return readFile(logFile_); }
    void kill() { child_.kill(); }
    // Unsubscribes and waits for the process; its exit code.
    long stop();

private:
    std::wstring stopEventName_;
    support::KernelHandle stopEvent_;
    std::wstring logFile_;
    ChildProcess child_;
    bool subscribed_ = false;
};

struct VssreqResult {
    long exitCode;
    std::string output;
};

VssreqResult runVssreq(const ScratchDirectory& scratch, const std::wstring& arguments);

// A name unique to this process and call, for instances and events.
std::wstring uniqueName(const std::wstring& stem);

}  // namespace vsssim::testing
