#include "recovery_tool.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "snapscribe/sequence/conversation.h"
#include "snapscribe/host/settings.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "support/unique_handle.h"
#include "vcw.h"

namespace snapscribe {
namespace {

constexpr char kSendBlock[] =
    "declare                       rc number;                     begin                       rc "
    ":= sys.dbms_pipe.create_pipe('vlx$bakx_vss_in');                       "
    "sys.dbms_pipe.pack_message(:cmd);                      rc := "
    "sys.dbms_pipe.send_message('vlx$bakx_vss_in');                    end;";

constexpr char kReceiveBlock[] =
    "declare         rc     number;         msgbuf varchar2(500);         errbuf varchar2(4096);   "
    "      command_failed number := 0;         pipe_rd_error EXCEPTION;         PRAGMA "
    "EXCEPTION_INIT(pipe_rd_error, -9999);         nxt_item_error EXCEPTION;         PRAGMA "
    "EXCEPTION_INIT(nxt_item_error, -9998);         wait_for_inp EXCEPTION;         PRAGMA "
    "EXCEPTION_INIT(wait_for_inp, -9997);         begin         :retval := -1;         loop        "
    "     rc := sys.dbms_pipe.receive_message('vlx$bakx_vss_out', 0);             if rc > 1 then   "
    "            raise pipe_rd_error;             elsif rc = 1 then               if "
    "(command_failed >= 1 OR :retval <> -1) then                   exit;               else        "
    "           raise no_data_found;               end if;             end if;             loop    "
    "             if command_failed >= 1 then                    command_failed := command_failed "
    "+ 1;                 end if;                 rc := sys.dbms_pipe.next_item_type;              "
    "   if rc not in (0, 9) then                    raise nxt_item_error;                 end if;  "
    "               if (rc = 0) then                    exit;                 end if;              "
    "   sys.dbms_pipe.unpack_message(msgbuf);                 if (substr(msgbuf, 1, 11) = "
    "'BAKX-00569:') then                    command_failed := 1;                    :retval := 0;  "
    "               end if;                 if (command_failed > 2 and                     "
    "substr(msgbuf,1,11) <> 'BAKX-00572:') then                     errbuf := errbuf || msgbuf;    "
    "             end if;                 if (substr(msgbuf,1,11) = 'BAKX-00572:') then            "
    "         if :retval = -1 then                        :retval := 1;                     else   "
    "                     :retval := :retval + 1;                     end if;                 end "
    "if;           end loop;     end loop;     :bakxerr := errbuf;     end;";

constexpr char kOutputPipeQuery[] = "select type from v$db_pipes where name='VLX$BAKX_VSS_OUT'";
constexpr char kExitCommand[] = "exit;";
constexpr char kEchoCommand[] = "set echo on;";
constexpr wchar_t kToolCommandLine[] = L"\\BIN\\BAKX.EXE TARGET / PIPE VSS TIMEOUT 360 ";
constexpr std::uint32_t kHomeBytes = 4096;
constexpr std::uint32_t kCommandBytes = 4096;
constexpr std::uint32_t kErrorTextBytes = 4096;
constexpr std::int32_t kPipeTypeBytes = 772;
constexpr UINT kEndedToolExitCode = 1;
constexpr DWORD kToolEndMillis = 10000;
constexpr long kToolStartLine = 4310;
constexpr long kToolSendLine = 4334;
constexpr long kToolAnswerLine = 4361;

ToolWaits waits;

struct ToolProcess {
    support::KernelHandle process;
    support::KernelHandle thread;
};

ToolProcess& tool() {
    static ToolProcess running;
    return running;
}

VcwSession* session() { return sequenceState().conversationSession; }

// The exit code, STILL_ACTIVE while it runs; nothing when it cannot be read.
bool toolExitCode(DWORD& code) {
    return tool().process && GetExitCodeProcess(tool().process.get(), &code);
}

bool toolActive() {
    DWORD code = 0;
    return toolExitCode(code) && code == STILL_ACTIVE;
}

void forgetTool() {
    tool().process.reset();
    tool().thread.reset();
    if (sequenceState().conversation) sequenceState().conversation->toolRunning = false;
}

// A tool that cannot be told "exit;" would otherwise wait for commands on
// the pipes the next conversation's tool listens on, and take some of them.
void endToolProcess() {
    if (!toolActive()) return;
    if (tracing(TRC_MISC)) traceMsgA("\nEnding BAKX process");
    TerminateProcess(tool().process.get(), kEndedToolExitCode);
    WaitForSingleObject(tool().process.get(), kToolEndMillis);
}

class Deadline {
public:
    explicit Deadline(std::uint32_t millis) : end_(GetTickCount64() + millis) {}
    bool passed() const { return GetTickCount64() >= end_; }

private:
    ULONGLONG end_;
};

std::wstring wide(const char* text) {
    std::vector<wchar_t> buffer(std::strlen(text) + 1);
    toWide(text, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    return buffer.data();
}

bool launchTool() {
    endToolProcess();
    char home[kHomeBytes];
    if (getSetting("VORLIX_HOME", home, sizeof home, nullptr) == 0) return false;
    std::wstring commandLine = wide(home) + kToolCommandLine + wide(recoveryToolOptions().c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    tool().process.reset(started.hProcess);
    tool().thread.reset(started.hThread);
    sequenceState().conversation->toolRunning = true;
    return true;
}

// The tool listens once its output pipe exists as a private pipe. A tool
// that ended, a failing query or the overall limit end the wait unsuccessfully.
bool waitForOutputPipe(VcwSession* s) {
    const Deadline deadline(waits.limit);
    for (;;) {
        Sleep(waits.pipeCheck);
        char type[kPipeTypeBytes];
        VcwCursor* cursor = nullptr;
        if (vcw_opn(s, cursor, kOutputPipeQuery) == 0 &&
            vcw_dfn(s, cursor, "TYPE", type, sizeof type, SQLT_STR, nullptr) == 0 &&
            vcw_efc(s, cursor) == 0) {
            if (type[0] != '\0') return std::strcmp(type, "PRIVATE") == 0;
        } else if (s->last.returnCode != VCI_NO_DATA) {
            vcw_perr(s);
            return false;
        }
        if (!toolActive() || deadline.passed()) return false;
    }
}

// One run of the receive block; false when it failed other than for want of output.
bool receiveOutput(VcwSession* s, VcwCursor*& cursor, char* errorText, std::uint32_t size,
                   std::int32_t& retval) {
    const bool ran =
        vcw_opn(s, cursor, kReceiveBlock) == 0 &&
        vcw_bnd(s, cursor, "BAKXERR", errorText, static_cast<std::int32_t>(size), kVcwBindOut,
                SQLT_STR, nullptr) == 0 &&
        vcw_bnd(s, cursor, "RETVAL", &retval, sizeof retval, kVcwBindOut, SQLT_UIN, nullptr) == 0 &&
        vcw_exe(s, cursor) == 0;
    if (ran || s->last.returnCode == VCI_NO_DATA) return true;
    vcw_perr(s);
    return false;
}

enum class Answer { Complete, Failed, TimedOut };

// Polls the output pipe until the tool has answered (a prompt or an error
// stack), has ended, or the overall limit passed.
Answer awaitAnswer(char* errorText, std::uint32_t size) {
    VcwSession* s = session();
    errorText[0] = '\0';
    std::int32_t retval = -1;
    Sleep(waits.firstReceive);
    const Deadline deadline(waits.limit);
    for (;;) {
        VcwCursor* cursor = nullptr;
        if (toolActive() && !receiveOutput(s, cursor, errorText, size, retval)) {
            return Answer::Failed;
        }
        DWORD exitCode = STILL_ACTIVE;
        toolExitCode(exitCode);
        if (tracing(TRC_MISC)) {
            traceMsgA("\nPolling BAKX output status retval=%d, vcirc=%d, exitcode=%ld", retval,
                      s->last.returnCode, static_cast<long>(exitCode));
        }
        vcw_cls(s, cursor);
        if (exitCode != STILL_ACTIVE) return exitCode == 0 ? Answer::Complete : Answer::Failed;
        if (retval >= 0 && s->last.returnCode != VCI_NO_DATA) return Answer::Complete;
        if (deadline.passed()) return Answer::TimedOut;
        Sleep(waits.receivePoll);
    }
}

// A command cut to the input bind would be another command: it is not sent.
void refuseOverlongCommand(const char* command, const std::wstring& wideCommand) {
    const std::size_t bytes = std::strlen(command);
    if (bytes < kCommandBytes) return;
    if (tracing(TRC_MISC)) {
        traceMsgA("\nBAKX command of %u bytes is longer than %u bytes: not sent",
                  static_cast<unsigned>(bytes), static_cast<unsigned>(kCommandBytes - 1));
    }
    raiseWriterFailure(kToolSendFailure, kToolSendLine, {wideCommand});
}

void sendCommand(const char* command, const std::wstring& wideCommand) {
    refuseOverlongCommand(command, wideCommand);
    VcwSession* s = session();
    char text[kCommandBytes] = {};
    std::memcpy(text, command, std::strlen(command));
    VcwCursor* cursor = nullptr;
    if (s == nullptr || vcw_opn(s, cursor, kSendBlock) != 0 ||
        vcw_bnd(s, cursor, "cmd", text, sizeof text, kVcwBindIn, SQLT_STR, nullptr) != 0 ||
        vcw_exe(s, cursor) != 0) {
        if (s != nullptr) vcw_perr(s);
        raiseWriterFailure(kToolSendFailure, kToolSendLine, {wideCommand});
    }
    vcw_cls(s, cursor);
}

std::wstring timeoutText() {
    return L"No complete answer within " + std::to_wstring(waits.limit / 1000) + L" seconds";
}

}  // namespace

void setToolWaitsForTesting(const ToolWaits& testWaits) { waits = testWaits; }

bool startRecoveryTool() {
    Conversation* conversation = sequenceState().conversation.get();
    if (conversation == nullptr || session() == nullptr) return true;
    if (conversation->toolRunning) {
        if (toolActive()) return false;
        forgetTool();
    }
    if (!launchTool()) return true;
    if (!waitForOutputPipe(session())) return true;
    char output[kErrorTextBytes];
    if (pollToolOutput(output, sizeof output)) return true;
    try {
        runToolCommand(kEchoCommand);
    } catch (const WriterFailureError&) {
        // Without echo the tool still works; its output is only less telling.
    }
    return !toolActive();
}

bool pollToolOutput(char* buffer, std::uint32_t size) {
    return awaitAnswer(buffer, size) != Answer::Complete;
}

void runToolCommand(const char* command) {
    if (startRecoveryTool()) raiseWriterFailure(kToolStartFailure, kToolStartLine);
    const std::wstring wideCommand = wide(command);
    if (tracing(TRC_MISC)) traceMsg(L"\nExecuting BAKX command : [%s]", wideCommand.c_str());
    sendCommand(command, wideCommand);

    char errorText[kErrorTextBytes];
    const Answer answer = awaitAnswer(errorText, sizeof errorText);
    if (std::strcmp(command, kExitCommand) == 0) return;
    if (answer == Answer::TimedOut) {
        raiseWriterFailure(kToolAnswerFailure, kToolAnswerLine, {timeoutText()});
    }
    if (answer == Answer::Failed || errorText[0] != '\0') {
        const std::wstring wideError = wide(errorText);
        if (tracing(TRC_MISC)) traceMsg(L"...Failed : \n[%s]", wideError.c_str());
        raiseWriterFailure(kToolAnswerFailure, kToolAnswerLine, {wideError});
    }
    if (tracing(TRC_MISC)) traceMsgA("...Sucess");
}

void stopRecoveryTool() {
    if (toolActive() && session() != nullptr) {
        try {
            runToolCommand(kExitCommand);
        } catch (const WriterFailureError&) {
            // Ended below like a tool whose session is gone.
        }
    }
    endToolProcess();
    forgetTool();
}

}  // namespace snapscribe
