#include "settings.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "code_page.h"
#include "interfaces/vorlix/vci.h"
#include "support/unique_handle.h"
#include "writer_settings.h"

namespace snapscribe {
namespace {

constexpr std::uint32_t kExistenceProbeBytes = 200;

// The client library's setting reader: the full length of the value, or a
// negative number when the setting does not exist.
using SettingReader = decltype(&slzgetevar);

SettingReader loadSettingReader() {
    // Loaded once and kept: the database wrapper uses the same library.
    static support::ModuleHandle library(LoadLibraryW(L"VCI.dll"));
    if (!library) return nullptr;
    return reinterpret_cast<SettingReader>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), "slzgetevar")));
}

std::string formatCommand(const char* format, const std::string& name, const std::string& value) {
    std::vector<char> command(std::strlen(format) + name.size() + value.size() + 1);
    std::snprintf(command.data(), command.size(), format, name.c_str(), value.c_str());
    return command.data();
}

// Runs the tool that stores (or, without a value, removes) a setting. False
// when the command line cannot be put into wide text.
bool storeSetting(const std::string& name, bool removal, const std::string& value) {
    const std::string command =
        removal ? formatCommand("vlxdim -ex vorlix registry del %s", name, "")
                : formatCommand("vlxdim -ex vorlix registry set %s %s", name, value);
    const std::optional<std::wstring> wide = strictWide(command);
    if (!wide) return false;
    runProgram(*wide);
    return true;
}

void saveTraceLevel(const std::string& sid, std::uint32_t& level) {
    const bool removal = level == kTraceLevelAll;
    if (removal) level = 0;
    const std::string value = std::to_string(level);
    storeSetting(instanceSettingName(kTraceLevelSetting, sid), removal, value);
    if (removal) return;
    std::printf("\nTrace level for Vorlix %s VSS writer service is %s", sid.c_str(), value.c_str());
    std::fflush(stdout);
}

void saveTraceFile(const std::string& sid, std::string& file) {
    const bool removal = file[0] == kTraceFileRemove;
    if (removal) file.clear();
    if (!storeSetting(instanceSettingName(kTraceFileSetting, sid), removal, file)) return;
    if (removal) return;
    std::printf("\nTrace filename for Vorlix %s VSS writer service is %s", sid.c_str(),
                file.c_str());
    std::fflush(stdout);
}

}  // namespace

std::string instanceSettingName(const char* pattern, const std::string& sid) {
    std::vector<char> name(std::strlen(pattern) + sid.size() + 1);
    std::snprintf(name.data(), name.size(), pattern, sid.c_str());
    return name.data();
}

std::uint32_t getSetting(const char* name, char* buffer, std::uint32_t size,
                         std::uint32_t* length) {
    char probe[kExistenceProbeBytes];
    if (buffer == nullptr) {
        buffer = probe;
        size = sizeof probe;
    }
    std::uint32_t copied = 0;
    if (size > 0) {
        const SettingReader reader = loadSettingReader();
        const std::int32_t full = reader != nullptr ? reader(name, buffer, size - 1) : -1;
        copied = full > 0 ? std::min(static_cast<std::uint32_t>(full), size - 1) : 0;
        buffer[copied] = '\0';
    }
    if (length != nullptr) *length = copied;
    return copied;
}

void saveTraceSettings(const std::string& sid) {
    WriterSettings& settings = writerSettings();
    if (settings.TraceLevel != 0) saveTraceLevel(sid, settings.TraceLevel);
    if (!settings.TraceFile.empty()) saveTraceFile(sid, settings.TraceFile);
}

bool runProgram(const std::wstring& commandLine) {
    // CreateProcess may write into the command line, so it gets a copy.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    support::KernelHandle process(started.hProcess);
    support::KernelHandle thread(started.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    return GetExitCodeProcess(process.get(), &exitCode) != FALSE;
}

}  // namespace snapscribe
