#pragma once
// Writer failures: the one exception type raised inside writer events, with
// the event-log identifier as its code, and the report the event frame makes
// of it. Also the two text conversions that raise such failures.

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

// The database wrapper's session record (snapscribe/db/vcw.h). Only the
// database layer reads it, through the reader it installs.
struct VcwSession;

namespace snapscribe {

constexpr std::uint32_t kFirstWriterFailure = 0xCFFF0001;
constexpr std::uint32_t kLastWriterFailure = 0xCFFF1000;
constexpr std::uint32_t kTextToWideFailure = 0xCFFF0013;
constexpr std::uint32_t kTextToNarrowFailure = 0xCFFF0014;
constexpr std::uint32_t kMaxConversionUnits = 65535;

// What a failure report tells of the database session in use: its banner and
// the error it had pending. Taken when the failure is raised, while the
// session surely exists: the unwinding may end it before the report.
struct SessionDetails {
    std::wstring banner;
    std::string pendingError;
};

// Where a failure happened: a fixed number per raise site, the phase of the
// writer event running on the thread (0 for none), and the session in use.
struct WriterFailure {
    long line = 0;
    int phase = 0;
    SessionDetails session;
};

// Reads a session's details for a failure, handing its pending error out
// once; installed by the database layer before it opens a session.
using SessionDetailsReader = SessionDetails (*)(VcwSession* session);
void installSessionDetailsReader(SessionDetailsReader reader);

class WriterFailureError : public std::exception {
public:
    // Keeps at most two insertion strings and the thread's last system error,
    // which the report gives as an event of its own.
    WriterFailureError(std::uint32_t code, const WriterFailure& failure,
                       std::vector<std::wstring> strings = {});

    std::uint32_t code() const noexcept { return code_; }
    const WriterFailure& failure() const noexcept { return failure_; }
    const std::vector<std::wstring>& strings() const noexcept { return strings_; }
    std::uint32_t pendingError() const noexcept { return pendingError_; }
    const char* what() const noexcept override { return "writer failure"; }

private:
    std::uint32_t code_;
    WriterFailure failure_;
    std::vector<std::wstring> strings_;
    std::uint32_t pendingError_;
};

// The session writer failures on any thread refer to; none outside a sequence.
VcwSession* currentSession();
void setCurrentSession(VcwSession* session);

// The phase the writer event on this thread published in the TlsIndex slot.
int currentPhase();

// Raise `code` from source line `line` with the current session's details
// and the phase.
[[noreturn]] void raiseWriterFailure(std::uint32_t code, long line,
                                     std::vector<std::wstring> strings = {});

// The exception filter of every writer event: reports a writer failure as an
// error event (after any pending system error) and returns 1; returns 0 for
// any other code, which is left to the next handler.
int reportEventFailure(std::uint32_t code, const WriterFailureError& error);

// System code page to wide text, invalid sequences being an error (raises
// kTextToWideFailure). Returns the units written, terminator included.
std::uint32_t toWide(const char* text, wchar_t* buffer, std::uint32_t capacity);

// Wide text to the system code page with default replacement (raises
// kTextToNarrowFailure when nothing converts). `length` receives the bytes
// written, terminator included.
void toNarrow(const wchar_t* text, char* buffer, std::uint32_t capacity, std::uint32_t* length);

}  // namespace snapscribe
