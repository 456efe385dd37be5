// snapscribe: the shadow-copy writer of one database instance, and the
// administration of the writer services of a machine.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>

#include "snapscribe/host/code_page.h"
#include "command_line.h"
#include "snapscribe/host/event_log.h"
#include "snapscribe/host/failure_text.h"
#include "lifecycle.h"
#include "services.h"
#include "snapscribe/host/settings.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe {
namespace {

constexpr int kUsageExit = -1;
constexpr int kAdministrationExit = 200;
constexpr int kStartFailureExit = 200;
constexpr int kSettingsStoredExit = 0;
constexpr int kConsoleWriterExit = 0;
constexpr int kServiceExit = 1;
constexpr std::size_t kPasswordMaxChars = 199;
constexpr const char* kFailPhaseLetters = "ybsftnaczro";

constexpr const char* kUsageHead =
    "\n%s options are:\n\n\t{ /q [/start | /stop | /status] } | \n\t{ SID [/tl <trace_level>] "
    "[/tf <trace_file>] } |\n\t{ SID [/i {/user:<userid> /password:<password>}] } |\n\t{ SID "
    "[/d] }";
constexpr const char* kUsageDeveloperOptions = "\n\n\t [/h seconds] [/fp failphase]";
constexpr const char* kUsageBody =
    "\n\n\t/q to operate on all Vorlix VSS Writer services\n\t/status to display status for "
    "Vorlix VSS Writer service\n\t/start to start Vorlix VSS Writers Services\n\t/stop to stop "
    "Vorlix VSS Writer Services\n\n\t/tl to specify trace level \n\t/tf to specify trace file "
    "name \n\n\t/i {/user:<userid> /password:<password>} \n\t\tto Install Vorlix VSS writer "
    "Service for specified SID\n\n\t/d to De-Install Vorlix VSS writer Service for specified "
    "SID";

bool developerMode() { return getSetting("VLX_VSS_DEV_ENVIRONMENT", nullptr, 0, nullptr) > 0; }

void writeDeveloperHelp() {
    traceMsgA(
        "\n\n\t/h seconds to stall every writer event that long"
        "\n\t/fp failphase to fail the writer event of that letter:");
    for (const char* letter = kFailPhaseLetters; *letter != '\0'; ++letter) {
        traceMsgA("\n\t\t%c %ls", *letter, phaseName(phaseFromLetter(*letter)));
    }
    traceMsgA("\n");
}

int usage(const std::wstring& program, bool developer) {
    traceMsgA(kUsageHead, systemNarrow(program).c_str());
    if (developer) traceMsgA("%s", kUsageDeveloperOptions);
    traceMsgA("%s", kUsageBody);
    if (developer) {
        writeDeveloperHelp();
    } else {
        traceMsgA("\n");
    }
    return kUsageExit;
}

std::string narrowSid(const std::wstring& sid) {
    std::string narrow = systemNarrow(sid);
    return narrow.size() <= kSidNarrowMaxBytes ? narrow : std::string();
}

// Settings and removal take any narrow name; a service or writer of a name
// the local descriptor cannot hold would fail every event.
bool refusedForConnection() {
    const std::string& sid = writerSettings().SidNarrow;
    if (sid.size() <= kSidConnectMaxBytes) return false;
    std::printf(
        "\nInstance name %s is longer than %u bytes: the writer cannot connect to it: "
        "refused\n",
        sid.c_str(), static_cast<unsigned>(kSidConnectMaxBytes));
    return true;
}

int startFailure(const char* message) {
    if (tracing(TRC_MISC)) traceMsgA("%s", message);
    return kStartFailureExit;
}

void tell(const Note& note) {
    switch (note.kind) {
        case NoteKind::IgnoredArgument:
            traceMsg(L"Ignored argument %s\n", note.text.c_str());
            break;
        case NoteKind::IgnoredParameter:
            traceMsg(L"Ignored parameter %s\n", note.text.c_str());
            break;
        case NoteKind::CurrentTraceLevel:
            std::printf("\nCurrent value of trace level is %d", note.number);
            break;
        case NoteKind::CurrentTraceFile:
            std::printf("\nCurrent value of trace filename is %s", systemNarrow(note.text).c_str());
            break;
        case NoteKind::ServiceAccount:
            traceMsg(L"\nService will be created under account %s\n", note.text.c_str());
            break;
    }
}

RunSettings currentRunSettings() {
    const WriterSettings& settings = writerSettings();
    return {settings.TraceLevel, lenientWide(settings.TraceFile), settings.FailPhase,
            settings.HangEnabled, settings.HangMillis};
}

void applyRunSettings(const RunSettings& run) {
    WriterSettings& settings = writerSettings();
    settings.TraceLevel = run.traceLevel;
    settings.TraceFile = systemNarrow(run.traceFile);
    settings.FailPhase = run.failPhase;
    settings.HangEnabled = run.hangEnabled;
    settings.HangMillis = run.hangMillis;
}

// One line of standard input, without its line end; nothing when it is
// longer than the service control manager's password buffer allows.
std::optional<std::wstring> passwordFromInput() {
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::wstring password = lenientWide(line);
    if (password.size() > kPasswordMaxChars) return std::nullopt;
    return password;
}

int installOrRemove(const InstanceOptions& options, const LeadingWords& leading) {
    const bool install = options.action == InstanceAction::Install;
    InstallRequest request{writerSettings().Sid, install,
                           options.account,      options.password,
                           leading.machine,      install ? leading.programPath : L""};
    if (options.passwordFromInput) {
        const std::optional<std::wstring> password = passwordFromInput();
        if (!password) {
            std::printf("\nThe password is longer than %u characters: not installed\n",
                        static_cast<unsigned>(kPasswordMaxChars));
            return 1;
        }
        request.password = *password;
    }
    return installService(request) ? 0 : 1;
}

// Outside developer mode "/tl" and "/tf" store the settings and end.
int storeTraceSettings(const InstanceOptions& options) {
    WriterSettings& settings = writerSettings();
    if (options.traceLevelGiven && settings.TraceLevel == 0) settings.TraceLevel = kTraceLevelAll;
    if (options.traceFileGiven && settings.TraceFile.empty()) {
        settings.TraceFile.assign(1, kTraceFileRemove);
    }
    saveTraceSettings(settings.SidNarrow);
    return kSettingsStoredExit;
}

int runWriter() {
    WriterSettings& settings = writerSettings();
    if (!initEventLog(settings.Sid.c_str())) {
        return startFailure("\nFailed to initialize application log");
    }
    settings.TlsIndex = TlsAlloc();
    if (settings.TlsIndex == kTlsOutOfIndexes) return startFailure("\nTlsAlloc failed()");

    int exitStatus = kConsoleWriterExit;
    const DWORD serviceResult = runAsService(settings.Sid);
    if (serviceResult == 0) {
        exitStatus = kServiceExit;
    } else if (serviceResult == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
        exitStatus = runConsole() ? kConsoleWriterExit : kStartFailureExit;
    }
    closeEventLog();
    closeTrace();
    TlsFree(settings.TlsIndex);
    settings.TlsIndex = kTlsOutOfIndexes;
    return exitStatus;
}

int run(int argc, wchar_t** argv) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const Words words(argv + 1, argv + argc);
    const LeadingWords leading = readLeadingWords(words);
    if (const std::optional<ServiceQuery> query = readQuery(words, leading.next)) {
        controlAllServices(*query, leading.machine);
        return kAdministrationExit;
    }

    WriterSettings& settings = writerSettings();
    const bool named = leading.next < words.size() && !words[leading.next].empty();
    settings.SidNarrow = named ? narrowSid(words[leading.next]) : std::string();
    initTrace(settings.SidNarrow);
    const bool developer = developerMode();
    if (!named) return usage(argv[0], developer);
    // Settings names, event source and trace all need the narrow name.
    if (settings.SidNarrow.empty()) {
        std::printf("\nInstance name %s is longer than %u bytes: refused\n",
                    systemNarrow(words[leading.next]).c_str(),
                    static_cast<unsigned>(kSidNarrowMaxBytes));
        return kStartFailureExit;
    }

    settings.Sid = words[leading.next];
    if (!SetEnvironmentVariableW(L"VORLIX_SID", settings.Sid.c_str())) {
        if (tracing(TRC_MISC))
            traceMsgA("\nFailed to set VORLIX_SID to %s", settings.SidNarrow.c_str());
        return kStartFailureExit;
    }
    const InstanceOptions options =
        readInstanceOptions(words, leading.next + 1, developer, currentRunSettings());
    for (const Note& note : options.notes) tell(note);
    applyRunSettings(options.settings);
    if (options.action == InstanceAction::Install && refusedForConnection()) {
        return kStartFailureExit;
    }
    if (options.action != InstanceAction::RunWriter) return installOrRemove(options, leading);
    if (!developer && (options.traceLevelGiven || options.traceFileGiven)) {
        return storeTraceSettings(options);
    }
    if (refusedForConnection()) return kStartFailureExit;
    return runWriter();
}

}  // namespace
}  // namespace snapscribe

int wmain(int argc, wchar_t** argv) { return snapscribe::run(argc, argv); }
