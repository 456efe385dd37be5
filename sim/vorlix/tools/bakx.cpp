// BAKX: the recovery tool in its pipe mode.
//   BAKX.EXE TARGET / PIPE VSS TIMEOUT 360 [STACK LINES|WHOLE]
// Connects as SYSDBA to the instance of VORLIX_SID (or the connect text after
// TARGET), owns the private output pipe vlx$bakx_<pipe>_out and reads its
// commands from vlx$bakx_<pipe>_in. Every answer ends with the prompt; a
// failing command answers with an error stack first. "exit;" ends it with 0;
// no command within TIMEOUT seconds ends it with 1. With the setting
// BAKX_COMMAND_LOG naming a file, every command it runs but the echo
// settings is appended there as a line "<command>; -> ok|failed", so tests
// can see what reached the tool.

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim/vorlix/instance/settings.h"
#include "support/code_page_text.h"
#include "sim/vorlix/tools/bakx_script.h"
#include "sim/vorlix/tools/bakx_session.h"

namespace vorlix::bakx {

namespace {

constexpr int kTimedOut = 1;
constexpr int kUsage = 2;
constexpr int kNoDatabase = 3;
constexpr size_t kCommandSize = 4096;

using Lines = std::vector<std::string>;

// Appends one line to the command log, when there is one.
void logCommand(const std::string& command, bool succeeded) {
    static const std::optional<std::string> file = vorlix::readSetting("BAKX_COMMAND_LOG");
    if (!file || file->empty()) return;
    const std::string line = command + "; -> " + (succeeded ? "ok" : "failed") + "\r\n";
    HANDLE log = CreateFileA(file->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(log);
}

struct Failure {
    Lines errors;
};

// Talks over the two database pipes.
class PipeChannel {
public:
    PipeChannel(ToolSession& session, const ToolOptions& options)
        : session_(session), options_(options) {}

    // A fresh private output pipe, and no command left over from an earlier tool.
    bool open() {
        return session_.run(
            "declare rc number; begin rc := sys.dbms_pipe.remove_pipe(:o); rc := "
            "sys.dbms_pipe.remove_pipe(:i); rc := "
            "sys.dbms_pipe.create_pipe(:o, 65536, true); end;",
            {{":o", options_.outputPipe}, {":i", options_.inputPipe}});
    }

    void close() {
        session_.run("declare rc number; begin rc := sys.dbms_pipe.remove_pipe(:o); end;",
                     {{":o", options_.outputPipe}});
    }

    // All messages of an answer in one statement, so a reader sees all or none.
    bool send(const std::vector<Message>& messages) {
        std::string block = "declare rc number; begin ";
        std::map<std::string, std::string> binds{{":o", options_.outputPipe}};
        for (const auto& message : messages) {
            for (const auto& line : message) {
                std::string name = ":l" + std::to_string(binds.size());
                binds[name] = line;
                block += "sys.dbms_pipe.pack_message(" + name + "); ";
            }
            block += "rc := sys.dbms_pipe.send_message(:o); ";
        }
        return session_.run(block + "end;", binds);
    }

    // The next command line; nothing when the time ran out (`timedOut`) or the pipe failed.
    std::optional<std::string> receive(bool& timedOut) {
        // The instance's blocks run straight through: the wait is a block of its
        // own, and the item it took stays in the session's buffer for the next.
        std::map<std::string, std::string> status{{":rc", ""}}, item{{":cmd", ""}};
        timedOut = false;
        if (!session_.run("begin :rc := sys.dbms_pipe.receive_message(:i, " +
                              std::to_string(options_.timeoutSeconds) + "); end;",
                          {{":i", options_.inputPipe}}, &status, 16))
            return std::nullopt;
        timedOut = status[":rc"] != "0";
        if (timedOut || !session_.run("begin sys.dbms_pipe.unpack_message(:cmd); end;", {}, &item,
                                      kCommandSize))
            return std::nullopt;
        return item[":cmd"];
    }

private:
    ToolSession& session_;
    const ToolOptions& options_;
};

class RecoveryTool {
public:
    RecoveryTool(ToolSession& session, const ToolOptions& options)
        : session_(session), options_(options), pipes_(session, options) {}

    int run() {
        if (!pipes_.open()) return fatal("cannot create the output pipe: " + session_.error());
        if (!answer({"BAKX: connected to the target database"}, {}, true))
            return fatal("cannot write to the output pipe: " + session_.error());
        for (;;) {
            bool timedOut = false;
            auto line = pipes_.receive(timedOut);
            if (!line) {
                if (timedOut)
                    std::fprintf(stderr, "BAKX: no command within %d seconds\n",
                                 options_.timeoutSeconds);
                else
                    std::fprintf(stderr, "BAKX: cannot read the input pipe: %s\n",
                                 session_.error().c_str());
                pipes_.close();
                return timedOut ? kTimedOut : kNoDatabase;
            }
            if (runLine(*line)) {
                pipes_.close();
                return 0;
            }
        }
    }

private:
    // Runs the commands of one input line in order and answers once; true after "exit;".
    bool runLine(const std::string& line) {
        std::string unterminated;
        Lines output;
        bool exiting = false;
        try {
            for (const auto& text : splitCommands(line, unterminated)) {
                exiting = runCommand(text, output);
                if (exiting) break;
            }
            if (!exiting && !unterminated.empty())
                throw Failure{{"BAKX-01001: input not understood: " + unterminated,
                               "BAKX-01002: a command must end with ';'"}};
        } catch (const Failure& failure) {
            answer(output, failure.errors, true);
            return false;
        }
        if (exiting) output.push_back("BAKX: recovery tool complete");
        answer(output, {}, !exiting);
        return exiting;
    }

    // Carries out one command, adding its output; true for "exit;".
    bool runCommand(const std::string& text, Lines& output) {
        if (echo_) output.push_back(text + ";");
        ToolCommand command;
        std::string error;
        if (!parseCommand(text, command, error))
            throw Failure{{"BAKX-01001: input not understood: " + text, "BAKX-01002: " + error}};
        using Kind = ToolCommand::Kind;
        switch (command.kind) {
            case Kind::Exit: logCommand(text, true); return true;
            case Kind::SetEcho:
                echo_ = command.echo;
                output.push_back(echo_ ? "echo set on" : "echo set off");
                return false;
            default: break;
        }
        std::map<std::string, std::string> binds;
        if (command.kind == Kind::ConfigureSnapshot) binds[":name"] = command.file;
        const bool succeeded = session_.run(statementFor(command), binds);
        logCommand(text, succeeded);
        if (!succeeded) throw Failure{failureLines(command)};
        describeSuccess(command, output);
        return false;
    }

    Lines failureLines(const ToolCommand& command) {
        Lines errors{"BAKX-01010: command failed: " + command.text, session_.error()};
        if (uint64_t change = neededChange(session_.error()); change > 0)
            errors.push_back(missingLogLine(change));
        return errors;
    }

    // Names the archived log that recovery would need next.
    std::string missingLogLine(uint64_t change) {
        std::string n = std::to_string(change);
        auto rows =
            session_.rows("select sequence#, name from v$archived_log where first_change# <= " + n +
                              " and next_change# > " + n + " order by sequence#",
                          2);
        if (!rows || rows->empty())
            return "BAKX-01011: no archived log of this database holds change " + n;
        return "BAKX-01011: archived log sequence " + rows->front()[0] + " with change " + n +
               " not found: " + rows->front()[1];
    }

    void describeSuccess(const ToolCommand& command, Lines& output) {
        using Kind = ToolCommand::Kind;
        switch (command.kind) {
            case Kind::Catalog: output.push_back("cataloged archived log: " + command.file); break;
            case Kind::ResetIncarnation:
                output.push_back("database reset to incarnation " + std::to_string(command.number));
                break;
            case Kind::ConfigureSnapshot:
                output.push_back("snapshot control file name set to: " + command.file);
                break;
            default:
                output.push_back("starting media recovery");
                output.push_back("media recovery complete");
                break;
        }
    }

    bool answer(const Lines& output, const Lines& errors, bool prompt) {
        return pipes_.send(answerMessages(output, errors, options_.stack,
                                          prompt ? promptLine(options_.inputPipe) : std::string()));
    }

    int fatal(const std::string& reason) {
        std::fprintf(stderr, "BAKX: %s\n", reason.c_str());
        return kNoDatabase;
    }

    ToolSession& session_;
    const ToolOptions& options_;
    PipeChannel pipes_;
    bool echo_ = false;
};

}  // namespace

}  // namespace vorlix::bakx

int wmain(int argc, wchar_t** argv) {
    using namespace vorlix::bakx;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(support::toNarrow(argv[i], CP_ACP));
    ToolOptions options;
    std::string error;
    if (!parseToolArguments(args, options, error)) {
        std::fprintf(
            stderr,
            "BAKX: %s\nusage: BAKX TARGET / PIPE NAME TIMEOUT SECONDS [STACK LINES|WHOLE]\n",
            error.c_str());
        return kUsage;
    }
    ToolSession session;
    if (!session.connect(options.target)) {
        std::fprintf(stderr, "BAKX: cannot connect to the target database: %s\n",
                     session.error().c_str());
        return kNoDatabase;
    }
    return RecoveryTool(session, options).run();
}
