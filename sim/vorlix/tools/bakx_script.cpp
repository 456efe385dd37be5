#include "sim/vorlix/tools/bakx_script.h"

#include <cctype>
#include <charconv>

namespace vorlix::bakx {

namespace {

std::string upperCase(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

bool isNumber(const std::string& text) {
    return !text.empty() && text.size() <= 19 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

uint64_t toNumber(const std::string& text) {
    uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

struct Word {
    std::string text;
    bool quoted = false;
};

// Words, quoted texts and commas of one command.
bool splitWords(const std::string& text, std::vector<Word>& words, std::string& error) {
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == ',') {
            words.push_back({",", false});
            ++i;
        } else if (c == '\'' || c == '"') {
            size_t close = text.find(c, i + 1);
            if (close == std::string::npos) {
                error = "unterminated quoted text";
                return false;
            }
            words.push_back({text.substr(i + 1, close - i - 1), true});
            i = close + 1;
        } else {
            size_t end = i;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
                   text[end] != ',' && text[end] != '\'' && text[end] != '"')
                ++end;
            words.push_back({text.substr(i, end - i), false});
            i = end;
        }
    }
    return true;
}

// Reads one command's words against its expected shape.
class Reader {
public:
    explicit Reader(std::vector<Word> words) : words_(std::move(words)) {}

    bool keyword(const char* word) {
        if (atEnd() || words_[at_].quoted || upperCase(words_[at_].text) != word) return false;
        ++at_;
        return true;
    }
    bool expect(const char* word) {
        if (keyword(word)) return true;
        return unexpected(word);
    }
    bool quoted(std::string& text) {
        if (atEnd() || !words_[at_].quoted) return unexpected("a quoted file name");
        text = words_[at_++].text;
        return true;
    }
    bool number(uint64_t& value) {
        if (atEnd() || words_[at_].quoted || !isNumber(words_[at_].text))
            return unexpected("a number");
        value = toNumber(words_[at_++].text);
        return true;
    }
    bool name(std::string& value) {
        if (atEnd() || words_[at_].text == ",") return unexpected("a name");
        value = upperCase(words_[at_++].text);
        return true;
    }
    bool comma() {
        if (atEnd() || words_[at_].quoted || words_[at_].text != ",") return false;
        ++at_;
        return true;
    }
    bool end() {
        if (atEnd()) return true;
        return unexpected("the end of the command");
    }
    const std::string& error() const { return error_; }

private:
    bool atEnd() const { return at_ >= words_.size(); }
    bool unexpected(const char* wanted) {
        error_ =
            "syntax error: found " +
            (atEnd() ? std::string("the end of the command") : "\"" + words_[at_].text + "\"") +
            ", expecting " + wanted;
        return false;
    }

    std::vector<Word> words_;
    size_t at_ = 0;
    std::string error_;
};

using Kind = ToolCommand::Kind;

bool parseRecover(Reader& r, ToolCommand& c) {
    if (r.keyword("DATABASE")) {
        c.kind = Kind::RecoverDatabase;
        if (!r.keyword("UNTIL")) return r.end();
        c.kind = Kind::RecoverUntil;
        return r.expect("SCN") && r.number(c.number) && r.end();
    }
    if (r.keyword("DATAFILE")) {
        c.kind = Kind::RecoverDatafiles;
        do {
            if (!r.number(c.datafiles.emplace_back())) return false;
        } while (r.comma());
        return r.end();
    }
    if (!r.expect("TABLESPACE")) return false;
    c.kind = Kind::RecoverTablespaces;
    do {
        if (!r.name(c.tablespaces.emplace_back())) return false;
    } while (r.comma());
    return r.end();
}

bool parseWords(Reader& r, ToolCommand& c) {
    if (r.keyword("SET")) {
        c.kind = Kind::SetEcho;
        if (!r.expect("ECHO")) return false;
        c.echo = r.keyword("ON");
        return (c.echo || r.expect("OFF")) && r.end();
    }
    if (r.keyword("CATALOG")) {
        c.kind = Kind::Catalog;
        return r.expect("ARCHIVELOG") && r.quoted(c.file) && r.end();
    }
    if (r.keyword("RECOVER")) return parseRecover(r, c);
    if (r.keyword("RESET")) {
        c.kind = Kind::ResetIncarnation;
        return r.expect("DATABASE") && r.expect("TO") && r.expect("INCARNATION") &&
               r.number(c.number) && r.end();
    }
    if (r.keyword("CONFIGURE")) {
        c.kind = Kind::ConfigureSnapshot;
        return r.expect("SNAPSHOT") && r.expect("CONTROLFILE") && r.expect("NAME") &&
               r.expect("TO") && r.quoted(c.file) && r.end();
    }
    if (r.keyword("EXIT")) {
        c.kind = Kind::Exit;
        return r.end();
    }
    return r.expect("a command (SET, CATALOG, RECOVER, RESET, CONFIGURE or EXIT)");
}

std::string joined(const std::vector<std::string>& items, const char* before, const char* after) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) text += ',';
        text.append(before).append(item).append(after);
    }
    return text;
}

}  // namespace

bool parseToolArguments(const std::vector<std::string>& args, ToolOptions& options,
                        std::string& error) {
    options = ToolOptions{};
    bool haveTarget = false, havePipe = false, haveTimeout = false;
    for (size_t i = 0; i < args.size(); i += 2) {
        std::string keyword = upperCase(args[i]);
        if (i + 1 >= args.size()) {
            error = keyword + " needs a value";
            return false;
        }
        const std::string& value = args[i + 1];
        if (keyword == "TARGET") {
            options.target = value == "/" ? std::string() : value;
            haveTarget = true;
        } else if (keyword == "PIPE") {
            std::string base = "vlx$bakx_" + lowerCase(value);
            options.inputPipe = base + "_in";
            options.outputPipe = base + "_out";
            havePipe = true;
        } else if (keyword == "TIMEOUT") {
            if (!isNumber(value) || value.size() > 6) {
                error = "TIMEOUT needs a number of seconds";
                return false;
            }
            options.timeoutSeconds = int(toNumber(value));
            haveTimeout = true;
        } else if (keyword == "STACK" &&
                   (upperCase(value) == "LINES" || upperCase(value) == "WHOLE")) {
            options.stack = upperCase(value) == "LINES" ? StackShape::Lines : StackShape::Whole;
        } else {
            error = "unknown option " + args[i] + " " + value;
            return false;
        }
    }
    if (!haveTarget || !havePipe || !haveTimeout) {
        error = "TARGET, PIPE and TIMEOUT are needed";
        return false;
    }
    return true;
}

std::vector<std::string> splitCommands(const std::string& line, std::string& unterminated) {
    std::vector<std::string> commands;
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            std::string command = trim(line.substr(start, i - start));
            if (!command.empty()) commands.push_back(command);
            start = i + 1;
        }
    }
    unterminated = trim(line.substr(start));
    return commands;
}

bool parseCommand(const std::string& text, ToolCommand& command, std::string& error) {
    command = ToolCommand{};
    command.text = text;
    std::vector<Word> words;
    if (!splitWords(text, words, error)) return false;
    Reader reader(std::move(words));
    if (!parseWords(reader, command)) {
        error = reader.error();
        return false;
    }
    // The file name goes into a statement between single quotes.
    if (command.kind == Kind::Catalog && command.file.find('\'') != std::string::npos) {
        error = "an archived log name cannot contain a single quote";
        return false;
    }
    return true;
}

std::string statementFor(const ToolCommand& c) {
    switch (c.kind) {
        case Kind::Catalog: return "alter database register logfile '" + c.file + "'";
        case Kind::RecoverDatabase: return "alter database recover database";
        case Kind::RecoverUntil:
            return "alter database recover database until change " + std::to_string(c.number);
        case Kind::ResetIncarnation:
            return "begin sys.dbms_backup_restore.resetIncarnation(" + std::to_string(c.number) +
                   "); end;";
        case Kind::RecoverDatafiles: {
            std::vector<std::string> numbers;
            for (uint64_t n : c.datafiles) numbers.push_back(std::to_string(n));
            return "alter database recover datafile " + joined(numbers, "", "");
        }
        case Kind::RecoverTablespaces:
            return "alter database recover tablespace " + joined(c.tablespaces, "\"", "\"");
        case Kind::ConfigureSnapshot:
            return "begin sys.dbms_backup_restore.setParm(sys.dbms_backup_restore.snapshot_name, "
                   ":name); end;";
        case Kind::SetEcho:
        case Kind::Exit: return {};
    }
    return {};
}

uint64_t neededChange(const std::string& errorText) {
    size_t at = lowerCase(errorText).find("change ");
    if (at == std::string::npos) return 0;
    size_t begin = at + 7, end = begin;
    while (end < errorText.size() && std::isdigit(static_cast<unsigned char>(errorText[end])))
        ++end;
    return end > begin ? toNumber(errorText.substr(begin, end - begin)) : 0;
}

std::string promptLine(const std::string& inputPipe) {
    return std::string(kPromptPrefix) + " waiting for input from pipe " + inputPipe;
}

std::vector<std::string> cutLines(const std::vector<std::string>& lines) {
    std::vector<std::string> cut;
    for (const auto& line : lines) {
        if (line.empty()) cut.push_back(line);
        for (size_t at = 0; at < line.size(); at += kMaxLineLength)
            cut.push_back(line.substr(at, kMaxLineLength));
    }
    return cut;
}

std::vector<Message> answerMessages(const std::vector<std::string>& output,
                                    const std::vector<std::string>& errors, StackShape shape,
                                    const std::string& prompt) {
    std::vector<Message> messages;
    if (!output.empty()) messages.push_back(cutLines(output));
    if (!errors.empty()) {
        std::vector<std::string> stack{kStackBanner};
        stack.insert(stack.end(), errors.begin(), errors.end());
        stack = cutLines(stack);
        if (shape == StackShape::Whole)
            messages.push_back(stack);
        else
            for (const auto& line : stack) messages.push_back({line});
    }
    if (!prompt.empty()) messages.push_back({prompt});
    return messages;
}

}  // namespace vorlix::bakx
