#include "event_log.h"

#include <windows.h>

#include <vector>

#include "event_observer.h"
#include "failure_text.h"
#include "support/unique_handle.h"
#include "trace.h"

namespace snapscribe {
namespace {

constexpr const wchar_t* kSourceKeyPrefix =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr const wchar_t* kSourcePrefix = L"Vorlix.VSSWriter.";
constexpr DWORD kTypesSupported = 7;
constexpr DWORD kNeutralLanguage = 0x400;
constexpr DWORD kFacilityWindows = 8;
// No message of the library refers to more strings than this.
constexpr std::size_t kMessageArguments = 3;

HANDLE eventSource = nullptr;
support::ModuleHandle messageLibrary;
EventObserver eventObserver;

using Strings = std::vector<const wchar_t*>;

std::uint32_t lastErrorCode() {
    DWORD code = GetLastError();
    if (((code >> 16) & 0x1FFF) == kFacilityWindows) code &= 0xFFFF;
    return code;
}

const wchar_t* text(const support::LocalMemory& memory) {
    return static_cast<const wchar_t*>(memory.get());
}

support::LocalMemory systemText(std::uint32_t code) {
    support::LocalMemory message;
    FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, kNeutralLanguage, reinterpret_cast<LPWSTR>(message.receive()), 0, nullptr);
    return message;
}

// What both error reporters start with: the code and the system's text for
// it. False when there is no more to do: no error, or no text (traced).
bool describeLastError(std::uint32_t& code, support::LocalMemory& message) {
    code = lastErrorCode();
    if (code == 0) return false;
    message = systemText(code);
    if (message) return true;
    traceMsg(L"\nFormatMessage() failed");
    return false;
}

void tellObserver(WORD type, WORD category, DWORD id, const Strings& strings, DWORD rawSize,
                  const void* raw) {
    if (!eventObserver) return;
    ReportedEvent event{type, category, id, {}, {}};
    for (const wchar_t* string : strings) event.strings.emplace_back(string);
    const auto* bytes = static_cast<const std::uint8_t*>(raw);
    if (bytes != nullptr) event.rawData.assign(bytes, bytes + rawSize);
    eventObserver(event);
}

// The one place that hands events to the event log.
bool reportEvent(WORD type, WORD category, DWORD id, Strings strings, DWORD rawSize,
                 const void* raw) {
    if (!ReportEventW(eventSource, type, category, id, nullptr, static_cast<WORD>(strings.size()),
                      rawSize, strings.data(), const_cast<void*>(raw))) {
        return false;
    }
    tellObserver(type, category, id, strings, rawSize, raw);
    return true;
}

// A message that names more strings than its event carries gets empty ones,
// never whatever lies past the end of the array.
bool traceFormattedEvent(DWORD id, Strings strings) {
    if (strings.size() < kMessageArguments) strings.resize(kMessageArguments, L"");
    support::LocalMemory message;
    if (!FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                            FORMAT_MESSAGE_ARGUMENT_ARRAY,
                        messageLibrary.get(), id, kNeutralLanguage,
                        reinterpret_cast<LPWSTR>(message.receive()), 0,
                        reinterpret_cast<va_list*>(const_cast<wchar_t**>(strings.data())))) {
        return false;
    }
    traceText(text(message));
    return true;
}

int writeToEventLog(const wchar_t* reportContext, WORD type, WORD category, DWORD id,
                    Strings strings, DWORD rawSize, const void* raw) {
    for (const wchar_t*& string : strings) {
        if (string == nullptr) string = L"";
    }
    if (!reportEvent(type, category, id, strings, rawSize, raw)) {
        traceLastError(reportContext);
        return 0;
    }
    if (!traceFormattedEvent(id, strings)) {
        traceLastError(L"writeToEventLog?(FormatMessage)");
        return 0;
    }
    return 1;
}

std::wstring programDirectory() {
    std::vector<wchar_t> path(MAX_PATH);
    DWORD length = 0;
    while ((length = GetModuleFileNameW(nullptr, path.data(), path.size())) >= path.size()) {
        path.resize(path.size() * 2);
    }
    const std::wstring program(path.data(), length);
    return program.substr(0, program.rfind(L'\\') + 1);
}

bool readable(const std::wstring& path) {
    return support::KernelHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr))
        .valid();
}

int failInitEventLog(LSTATUS status, const wchar_t* context) {
    SetLastError(status);
    traceLastError(context);
    return 0;
}

void releaseEventSource() {
    messageLibrary.reset();
    if (eventSource != nullptr) DeregisterEventSource(std::exchange(eventSource, nullptr));
}

}  // namespace

void setEventObserver(EventObserver observer) { eventObserver = std::move(observer); }

std::wstring messageLibraryFor(std::uint16_t language) {
    const std::wstring directory = programDirectory();
    const wchar_t* suffix = messageSuffix(language);
    if (tracing(TRC_MISC)) traceMsg(L"\nUsing %s language suffix for msg", suffix);
    const std::wstring library = directory + L"VLXVSSMSG" + suffix + L".DLL";
    if (readable(library)) return library;
    if (tracing(TRC_MISC)) traceMsg(L"\ndefault to US suffix for msg");
    return directory + L"VLXVSSMSGUS.DLL";
}

int initEventLog(const wchar_t* sid) {
    if (sid == nullptr || *sid == L'\0') return 1;
    const std::wstring source = kSourcePrefix + std::wstring(sid);
    support::RegistryKey key;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kSourceKeyPrefix + source).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.receive(), nullptr);
    if (status != ERROR_SUCCESS) return failInitEventLog(status, L"initEventLog(RegCreateKeyEx)");

    const std::wstring library = messageLibraryFor(GetUserDefaultLangID());
    status = RegSetValueExW(key.get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(library.c_str()),
                            static_cast<DWORD>((library.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) return failInitEventLog(status, L"initEventLog(EventMessageFile)");
    const DWORD types = kTypesSupported;
    status = RegSetValueExW(key.get(), L"TypesSupported", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types), sizeof types);
    if (status != ERROR_SUCCESS) return failInitEventLog(status, L"initEventLog(TypesSupported)");
    key.reset();

    // Registering again replaces the earlier source and library.
    releaseEventSource();
    eventSource = RegisterEventSourceW(nullptr, source.c_str());
    messageLibrary.reset(LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return 1;
}

int closeEventLog() {
    messageLibrary.reset();
    // Nothing to deregister when no instance registered a source.
    if (eventSource == nullptr) return 1;
    if (!DeregisterEventSource(std::exchange(eventSource, nullptr))) {
        traceLastError(L"closeEventLog(DeregisterEventSource)");
        return 0;
    }
    return 1;
}

int writeToEventLog1(std::uint16_t type, std::uint16_t category, std::uint32_t id,
                     const wchar_t* s1, std::uint32_t rawSize, const void* raw) {
    return writeToEventLog(L"writeToEventLog1(ReportEvent)", type, category, id, {s1}, rawSize,
                           raw);
}

int writeToEventLog2(std::uint16_t type, std::uint16_t category, std::uint32_t id,
                     const wchar_t* s1, const wchar_t* s2, std::uint32_t rawSize, const void* raw) {
    return writeToEventLog(L"writeToEventLog2(ReportEvent)", type, category, id, {s1, s2}, rawSize,
                           raw);
}

int writeToEventLog3(std::uint16_t type, std::uint16_t category, std::uint32_t id,
                     const wchar_t* s1, const wchar_t* s2, const wchar_t* s3, std::uint32_t rawSize,
                     const void* raw) {
    return writeToEventLog(L"writeToEventLog2(ReportEvent)", type, category, id, {s1, s2, s3},
                           rawSize, raw);
}

std::uint32_t wwriteToEventLog2(const wchar_t* context) {
    std::uint32_t code = 0;
    support::LocalMemory message;
    if (!describeLastError(code, message)) return code;
    const DWORD rawSize = context != nullptr ? std::wcslen(context) * sizeof(wchar_t) : 0;
    if (!writeToEventLog(L"writeToEventLog2(ReportEvent)", EVENTLOG_ERROR_TYPE, kEventCategory,
                         kWin32ErrorEvent, {L"Win32 Error", text(message)}, rawSize, context)) {
        traceMsg(L"\nwwriteToEventLog2() failed");
    }
    return code;
}

std::uint32_t traceLastError(const wchar_t* context) {
    std::uint32_t code = 0;
    support::LocalMemory message;
    if (!describeLastError(code, message)) return code;
    if (context != nullptr) {
        traceMsg(L"\n%s", context);
        traceMsg(L": ");
    }
    traceText(text(message));
    return code;
}

}  // namespace snapscribe
