#pragma once
// The recovery tool's language and output, without any Windows or database
// call: its command line, the commands it reads from the input pipe, the
// statement each command runs on the instance, and how its output lines are
// cut and grouped into pipe messages.

#include <cstdint>
#include <string>
#include <vector>

namespace vorlix::bakx {

// An error stack goes out one line per message, or whole in one message.
enum class StackShape { Lines, Whole };

struct ToolOptions {
    std::string target;  // connect text; empty: the instance of VORLIX_SID
    std::string inputPipe;
    std::string outputPipe;
    int timeoutSeconds = 0;
    StackShape stack = StackShape::Lines;
};

// TARGET CONNECT PIPE NAME TIMEOUT SECONDS [STACK LINES|WHOLE], keywords in
// any case; the connect text "/" is the local instance.
bool parseToolArguments(const std::vector<std::string>& args, ToolOptions& options,
                        std::string& error);

struct ToolCommand {
    enum class Kind {
        SetEcho,
        Catalog,
        RecoverDatabase,
        RecoverUntil,
        ResetIncarnation,
        RecoverDatafiles,
        RecoverTablespaces,
        ConfigureSnapshot,
        Exit,
    };
    Kind kind = Kind::Exit;
    std::string text;  // as written, without its ';'
    bool echo = false;
    std::string file;     // Catalog, ConfigureSnapshot
    uint64_t number = 0;  // RecoverUntil: the change; ResetIncarnation: the incarnation
    std::vector<uint64_t> datafiles;
    std::vector<std::string> tablespaces;  // upper case
};

// The commands of one input line, each ended by ';' outside quotes, trimmed.
// Text after the last ';' comes back as `unterminated`.
std::vector<std::string> splitCommands(const std::string& line, std::string& unterminated);

bool parseCommand(const std::string& text, ToolCommand& command, std::string& error);

// The statement that carries a command out on the instance, with ":name" as
// the placeholder of a bound file name. Empty for SetEcho and Exit.
std::string statementFor(const ToolCommand& command);

// The first change number a database error text names ("change N ..."), or 0.
uint64_t neededChange(const std::string& errorText);

inline constexpr size_t kMaxLineLength = 500;
inline constexpr const char* kPromptPrefix = "BAKX-00572:";
inline constexpr const char* kStackBanner = "BAKX-00569: error message stack follows";

std::string promptLine(const std::string& inputPipe);

// Lines longer than the pipe's item size become several lines.
std::vector<std::string> cutLines(const std::vector<std::string>& lines);

using Message = std::vector<std::string>;

// What one answer sends: the ordinary output lines as one message, then the
// error stack (banner first) in the chosen shape, then the prompt alone.
// Without a prompt (the tool is ending) the answer stops after the stack.
std::vector<Message> answerMessages(const std::vector<std::string>& output,
                                    const std::vector<std::string>& errors, StackShape shape,
                                    const std::string& prompt);

}  // namespace vorlix::bakx
