#pragma once
// Starting snapscribe (and the requester) as real processes of the test's
// Wine prefix, with their output in files, and looking at what they leave in
// the service control manager and the registry.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/vorlix/instance/service_control.h"
#include "support/unique_handle.h"

namespace snapscribe::testing {

// The build's programs: snapscribe.exe beside the test, vssreq.exe in the stand-in's folder.
std::wstring snapscribePath();
std::wstring vssreqPath();

struct ProgramOptions {
    std::map<std::wstring, std::wstring> environment;  // added to the test's own
    std::string input;                                 // standard input
    bool ownConsole = false;  // a console of its own, so Ctrl-C can reach it alone
};

class Program {
public:
    Program(const std::wstring& program, const std::wstring& arguments,
            const std::wstring& scratchDirectory, const ProgramOptions& options = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The exit code, or STILL_ACTIVE when it has not ended within `timeoutMs`.
    DWORD finish(DWORD timeoutMs = 60000);
    // Ctrl-C as the console would deliver it.
    void interrupt();
    bool waitForOutput(const std::string& text, DWORD timeoutMs = 60000) const;
    std::string output() const;  // standard output, "\n" line ends
    std::string errors() const;  // standard error

private:
    support::KernelHandle process_;
    DWORD processId_ = 0;
    std::wstring outputFile_;
    std::wstring errorFile_;
};

// Options under which the writer finds the database client library and the
// administration tool, and the settings given here (read from the environment
// before the registry).
ProgramOptions vorlixClient(const std::map<std::wstring, std::wstring>& settings = {});

// The writer in a console of its own, serving events until it is stopped.
// It starts while no service does, so the service dispatcher refuses it.
class ConsoleWriter {
public:
    ConsoleWriter(const std::wstring& arguments, const std::wstring& scratchDirectory,
                  ProgramOptions options = vorlixClient());
    // True when it came to wait for events.
    bool serving() const { return serving_; }
    // The requester's answer for this writer's instance.
    std::string requester(const std::wstring& arguments);
    // Ctrl-C; the exit code.
    DWORD stop();
    std::string output() const { return program_.output(); }

    static constexpr const char* kWaitingLine =
        "Waiting for VSS events (press Ctrl-C to stop writer)";

private:
    std::wstring scratch_;
    std::optional<vorlix::ServiceStartLock> alone_;
    Program program_;
    bool serving_ = false;
};

// Runs snapscribe with `arguments` to its end.
struct Finished {
    DWORD exitCode;
    std::string output;
    std::string errors;
};
Finished runSnapscribe(const std::wstring& arguments, const std::wstring& scratchDirectory,
                       const ProgramOptions& options = {});

// The service control manager's view of one service.
struct ServiceConfig {
    bool exists = false;
    DWORD startType = 0;
    std::wstring binaryPath;
    std::wstring displayName;
    std::wstring account;
};
ServiceConfig serviceConfig(const std::wstring& name);
void deleteService(const std::wstring& name);
// Asks the service control manager to start or stop `name` and waits (at most
// a minute) for the state it leads to; the state reached.
DWORD startService(const std::wstring& name);
DWORD stopService(const std::wstring& name);
void createService(const std::wstring& name, const std::wstring& binaryPath);

std::vector<std::string> lines(const std::string& text);

// An installation setting as the administration tool stores it; nothing
// when it is not stored.
std::optional<std::wstring> storedSetting(const std::wstring& name);
void storeSetting(const std::wstring& name, const std::wstring& value);
void removeSetting(const std::wstring& name);

// Default value of a key under HKEY_CLASSES_ROOT; nothing when the key is missing.
std::optional<std::wstring> classesRootDefault(const std::wstring& key);
std::optional<std::wstring> classesRootValue(const std::wstring& key, const wchar_t* name);

}  // namespace snapscribe::testing
