#include "sim/vorlix/tools/admin_command.h"

#include <cwctype>

namespace vorlix {

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Walks the command line token by token; `rest` keeps the unread text.
class Tokens {
public:
    explicit Tokens(std::wstring_view line) : rest_(line) { skipProgram(); }

    std::wstring_view next() {
        skipBlanks();
        size_t end = 0;
        while (end < rest_.size() && !isBlank(rest_[end])) ++end;
        std::wstring_view token = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return token;
    }

    std::wstring_view peek() {
        Tokens copy = *this;
        return copy.next();
    }

    // The text after the blanks that end the previous token, unchanged.
    std::wstring_view remainder() {
        skipBlanks();
        return rest_;
    }

private:
    void skipBlanks() {
        while (!rest_.empty() && isBlank(rest_.front())) rest_.remove_prefix(1);
    }

    // The program name may be quoted and then contain blanks.
    void skipProgram() {
        skipBlanks();
        if (rest_.empty() || rest_.front() != L'"') {
            next();
            return;
        }
        size_t close = rest_.find(L'"', 1);
        rest_.remove_prefix(close == std::wstring_view::npos ? rest_.size() : close + 1);
    }

    std::wstring_view rest_;
};

bool sameWord(std::wstring_view token, std::wstring_view word) {
    if (token.size() != word.size()) return false;
    for (size_t i = 0; i < token.size(); ++i) {
        if (std::towlower(token[i]) != std::towlower(word[i])) return false;
    }
    return true;
}

bool fail(std::wstring& error, std::wstring reason) {
    error = std::move(reason);
    return false;
}

bool parseRegistry(Tokens& tokens, AdminCommand& command, std::wstring& error) {
    std::wstring_view verb = tokens.next();
    if (sameWord(verb, L"set"))
        command.kind = AdminCommand::Kind::SetSetting;
    else if (sameWord(verb, L"del"))
        command.kind = AdminCommand::Kind::RemoveSetting;
    else
        return fail(error, L"registry needs set or del");
    command.name = tokens.next();
    if (command.name.empty())
        return fail(error, L"registry " + std::wstring(verb) + L" needs a name");
    std::wstring_view rest = tokens.remainder();
    if (command.kind == AdminCommand::Kind::RemoveSetting) {
        if (!rest.empty()) return fail(error, L"registry del takes only a name");
        return true;
    }
    if (rest.empty()) return fail(error, L"registry set needs a value");
    command.value = rest;
    return true;
}

bool parseService(Tokens& tokens, AdminCommand& command, std::wstring& error) {
    if (tokens.peek().starts_with(L"\\\\")) {
        command.machine = tokens.next().substr(2);
        if (command.machine.empty()) return fail(error, L"the machine name is empty");
    }
    std::wstring_view verb = tokens.next();
    if (sameWord(verb, L"start"))
        command.kind = AdminCommand::Kind::StartService;
    else if (sameWord(verb, L"stop"))
        command.kind = AdminCommand::Kind::StopService;
    else
        return fail(error, L"service needs start or stop");
    command.name = tokens.next();
    if (command.name.empty())
        return fail(error, L"service " + std::wstring(verb) + L" needs a service name");
    if (!tokens.remainder().empty()) return fail(error, L"too many arguments");
    return true;
}

}  // namespace

bool parseAdminCommand(std::wstring_view commandLine, AdminCommand& command, std::wstring& error) {
    command = AdminCommand{};
    Tokens tokens(commandLine);
    if (!sameWord(tokens.next(), L"-ex")) return fail(error, L"the command must begin with -ex");
    std::wstring_view area = tokens.next();
    if (sameWord(area, L"vorlix")) {
        if (!sameWord(tokens.next(), L"registry")) return fail(error, L"vorlix needs registry");
        return parseRegistry(tokens, command, error);
    }
    if (sameWord(area, L"service")) return parseService(tokens, command, error);
    return fail(error, L"unknown command area");
}

}  // namespace vorlix
