#include "trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

#include "code_page.h"
#include "settings.h"
#include "writer_settings.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kLevelSettingBytes = 772;
constexpr std::uint32_t kOptionsSettingBytes = 800;

// A file, stdout, or none. Opened and closed by the main thread and by the
// event that opens or closes a sequence while other events' threads may be
// writing: writing, opening and closing take turns (entries made while
// opening or closing take it again on the same thread).
std::atomic<std::FILE*> destination{nullptr};
std::recursive_mutex streamTurn;
std::string storedToolOptions;

bool timeStamped(bool startsWithLineFeed) { return startsWithLineFeed && tracing(TRC_TIME); }

std::string timePrefix() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local != nullptr ? "\nTime " + timeStampText(*local) + " : " : "\nTime  : ";
}

// Returns the characters of the entry: those of `prefix` plus `bodyChars`.
int writeEntry(bool stamped, const std::string& body, int bodyChars) {
    const std::lock_guard<std::recursive_mutex> turn(streamTurn);
    std::FILE* stream = destination.load();
    if (stream == nullptr) return 0;
    const std::string entry = stamped ? timePrefix() + body : body;
    std::fwrite(entry.data(), 1, entry.size(), stream);
    std::fflush(stream);
    return static_cast<int>(entry.size() - body.size()) + bodyChars;
}

std::wstring formatWide(const wchar_t* format, va_list args) {
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length <= 0) return {};
    std::vector<wchar_t> text(length + 1);
    _vsnwprintf(text.data(), text.size(), format, args);
    return std::wstring(text.data(), length);
}

std::string formatNarrow(const char* format, va_list args) {
    va_list counting;
    va_copy(counting, args);
    const int length = _vscprintf(format, counting);
    va_end(counting);
    if (length <= 0) return {};
    std::vector<char> text(length + 1);
    _vsnprintf(text.data(), text.size(), format, args);
    return std::string(text.data(), length);
}

std::string readSetting(const char* pattern, const std::string& sid, std::uint32_t size) {
    std::vector<char> value(size);
    if (getSetting(instanceSettingName(pattern, sid).c_str(), value.data(), size, nullptr) == 0) {
        return {};
    }
    return value.data();
}

void writeStartLines(std::uint32_t level) {
    for (const wchar_t* line : traceStartLines(level)) traceText(line);
}

}  // namespace

bool tracing(std::uint32_t bits) { return (writerSettings().TraceLevel & bits) != 0; }

int traceMsg(const wchar_t* format, ...) {
    if (destination.load() == nullptr) return 0;
    const bool stamped = timeStamped(format[0] == L'\n');
    va_list args;
    va_start(args, format);
    const std::wstring text = formatWide(stamped ? format + 1 : format, args);
    va_end(args);
    return writeEntry(stamped, systemNarrow(text), static_cast<int>(text.size()));
}

int traceMsgA(const char* format, ...) {
    if (destination.load() == nullptr) return 0;
    const bool stamped = timeStamped(format[0] == '\n');
    va_list args;
    va_start(args, format);
    const std::string text = formatNarrow(stamped ? format + 1 : format, args);
    va_end(args);
    return writeEntry(stamped, text, static_cast<int>(text.size()));
}

int traceText(const std::wstring& text) {
    if (destination.load() == nullptr) return 0;
    const bool stamped = timeStamped(!text.empty() && text[0] == L'\n');
    const std::size_t skip = stamped ? 1 : 0;
    return writeEntry(stamped, systemNarrow(std::wstring_view(text).substr(skip)),
                      static_cast<int>(text.size() - skip));
}

int initTrace(const std::string& sid) {
    const std::lock_guard<std::recursive_mutex> turn(streamTurn);
    if (destination.load() != nullptr) return 1;
    WriterSettings& settings = writerSettings();
    if (settings.TraceLevel == 0) {
        const std::string level = readSetting(kTraceLevelSetting, sid, kLevelSettingBytes);
        if (!level.empty()) settings.TraceLevel = parseTraceLevel(level.c_str());
    }
    if (settings.TraceFile.empty()) {
        settings.TraceFile = readSetting(kTraceFileSetting, sid, kTraceFileMaxBytes + 1);
    }
    if (!settings.TraceFile.empty()) {
        std::FILE* file = std::fopen(settings.TraceFile.c_str(), "at");
        destination = file != nullptr ? file : stdout;
    }
    if (settings.TraceLevel == 0 && destination.load() != nullptr) {
        settings.TraceLevel = kTraceLevelAll;
    } else if (settings.TraceLevel != 0 && destination.load() == nullptr) {
        destination = stdout;
    }
    if (settings.TraceLevel != 0) writeStartLines(settings.TraceLevel);

    storedToolOptions = readSetting(kToolOptionsSetting, sid, kOptionsSettingBytes);
    if (!storedToolOptions.empty() && tracing(TRC_MISC)) {
        traceMsgA("\nBAKX options : [%s]", storedToolOptions.c_str());
    }
    if (sid.empty()) {
        // Without an instance there is no file of its own to keep: a file
        // opened from a setting would otherwise stay open unused.
        std::FILE* previous = destination.exchange(stdout);
        if (previous != nullptr && previous != stdout) std::fclose(previous);
    }
    return 0;
}

void closeTrace() {
    const std::lock_guard<std::recursive_mutex> turn(streamTurn);
    if (destination.load() == nullptr) return;
    if (tracing(TRC_MISC)) traceMsgA("\nClosing Application Trace file");
    std::FILE* stream = destination.exchange(nullptr);
    if (stream != stdout) std::fclose(stream);
}

const std::string& recoveryToolOptions() { return storedToolOptions; }

}  // namespace snapscribe
