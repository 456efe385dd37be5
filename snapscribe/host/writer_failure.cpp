#include "writer_failure.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "event_log.h"
#include "failure_text.h"
#include "writer_settings.h"

namespace snapscribe {
namespace {

constexpr long kToWideLine = 3703;
constexpr long kToNarrowLine = 3820;
constexpr std::size_t kBannerMaxChars = 1000;
constexpr std::size_t kMaxInsertionStrings = 2;

std::atomic<VcwSession*> sessionInUse{nullptr};
std::atomic<SessionDetailsReader> sessionReader{nullptr};

bool isWriterFailure(std::uint32_t code) {
    return code >= kFirstWriterFailure && code <= kLastWriterFailure;
}

SessionDetails currentSessionDetails() {
    VcwSession* const session = currentSession();
    const SessionDetailsReader reader = sessionReader.load();
    if (session == nullptr || reader == nullptr) return {};
    SessionDetails details = reader(session);
    if (details.banner.size() > kBannerMaxChars) details.banner.resize(kBannerMaxChars);
    return details;
}

int reportFailureEvent(std::uint32_t code, const std::wstring& message,
                       const std::vector<std::wstring>& strings, const std::string& rawData) {
    const auto rawSize = static_cast<std::uint32_t>(rawData.size());
    const void* raw = rawData.empty() ? nullptr : rawData.data();
    switch (strings.size()) {
        case 0:
            return writeToEventLog1(EVENTLOG_ERROR_TYPE, kEventCategory, code, message.c_str(),
                                    rawSize, raw);
        case 1:
            return writeToEventLog2(EVENTLOG_ERROR_TYPE, kEventCategory, code, message.c_str(),
                                    strings[0].c_str(), rawSize, raw);
        default:
            return writeToEventLog3(EVENTLOG_ERROR_TYPE, kEventCategory, code, message.c_str(),
                                    strings[0].c_str(), strings[1].c_str(), rawSize, raw);
    }
}

const wchar_t* reportFailureContext(std::size_t strings) {
    static constexpr const wchar_t* kContexts[] = {
        L"writeToEventLog1(vss event failed)",
        L"writeToEventLog2(vss event failed)",
        L"writeToEventLog3(vss event failed)",
    };
    return kContexts[std::min(strings, kMaxInsertionStrings)];
}

// A capacity of 0 would make the conversion a size query that writes nothing
// and reports success; with no room it counts as failed instead.
int conversionCapacity(std::uint32_t capacity) {
    return capacity == 0 ? -1 : static_cast<int>(std::min(capacity, kMaxConversionUnits));
}

}  // namespace

WriterFailureError::WriterFailureError(std::uint32_t code, const WriterFailure& failure,
                                       std::vector<std::wstring> strings)
    : code_(code), failure_(failure), strings_(std::move(strings)), pendingError_(GetLastError()) {
    if (strings_.size() > kMaxInsertionStrings) strings_.resize(kMaxInsertionStrings);
}

VcwSession* currentSession() { return sessionInUse.load(); }

void setCurrentSession(VcwSession* session) { sessionInUse = session; }

void installSessionDetailsReader(SessionDetailsReader reader) { sessionReader = reader; }

int currentPhase() {
    const std::uint32_t slot = writerSettings().TlsIndex;
    if (slot == kTlsOutOfIndexes) return 0;
    // Reading the slot clears the last error, which the report still needs.
    const DWORD lastError = GetLastError();
    const auto* phase = static_cast<const int*>(TlsGetValue(slot));
    SetLastError(lastError);
    return phase != nullptr ? *phase : 0;
}

void raiseWriterFailure(std::uint32_t code, long line, std::vector<std::wstring> strings) {
    const DWORD lastError = GetLastError();
    WriterFailure failure{line, currentPhase(), currentSessionDetails()};
    // Reading the session may touch the last error, which the report still needs.
    SetLastError(lastError);
    throw WriterFailureError(code, failure, std::move(strings));
}

int reportEventFailure(std::uint32_t code, const WriterFailureError& error) {
    if (!isWriterFailure(code)) return 0;
    const WriterFailure& failure = error.failure();
    const std::wstring message =
        failureMessage(failure.session.banner, failure.line, failure.phase);

    SetLastError(error.pendingError());
    wwriteToEventLog2(nullptr);
    if (!reportFailureEvent(code, message, error.strings(), failure.session.pendingError)) {
        traceLastError(reportFailureContext(error.strings().size()));
    }
    return 1;
}

std::uint32_t toWide(const char* text, wchar_t* buffer, std::uint32_t capacity) {
    const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, buffer,
                                          conversionCapacity(capacity));
    if (units == 0) raiseWriterFailure(kTextToWideFailure, kToWideLine);
    return static_cast<std::uint32_t>(units);
}

void toNarrow(const wchar_t* text, char* buffer, std::uint32_t capacity, std::uint32_t* length) {
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, conversionCapacity(capacity),
                                          nullptr, nullptr);
    if (bytes == 0) raiseWriterFailure(kTextToNarrowFailure, kToNarrowLine);
    if (length != nullptr) *length = static_cast<std::uint32_t>(bytes);
}

}  // namespace snapscribe
