#include "sim/vorlix/engine/lexer.h"

#include <cctype>
#include <cstring>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/state.h"

namespace vorlix {

namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNamePart(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#';
}

const char* const kSymbols[] = {"||", "<>", "!=", "<=", ">=", ":=", "..", "(", ")", ",",
                                ";",  "*",  "+",  "-",  "/",  "=",  "<",  ">", "."};

}  // namespace

std::vector<Token> tokenize(const std::string& s) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {  // comment to the line end
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        Token t;
        t.offset = i;
        if (isNameStart(c)) {
            size_t start = i;
            while (i < s.size() && isNamePart(s[i])) ++i;
            t.type = Token::Type::Name;
            t.text = upper(s.substr(start, i - start));
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < s.size() && std::isdigit((unsigned char)s[i + 1]) &&
                    !(i > 0 && s[i - 1] == '.'))) {
            size_t start = i;
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
            // "1..9999" is a range, not a decimal point.
            if (i < s.size() && s[i] == '.' && !(i + 1 < s.size() && s[i + 1] == '.')) {
                ++i;
                while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
            }
            t.type = Token::Type::Number;
            t.text = s.substr(start, i - start);
        } else if (c == '\'' || c == '"') {
            char quote = c;
            ++i;
            std::string text;
            for (;;) {
                if (i >= s.size()) raiseError(quote == '\'' ? 1756 : 1740);
                if (s[i] == quote) {
                    if (i + 1 < s.size() && s[i + 1] == quote) {
                        text += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += s[i++];
            }
            t.type = quote == '\'' ? Token::Type::String : Token::Type::QuotedName;
            t.text = text;
        } else if (c == ':' && i + 1 < s.size() &&
                   (isNamePart(s[i + 1]) || std::isdigit((unsigned char)s[i + 1]))) {
            size_t start = ++i;
            while (i < s.size() && isNamePart(s[i])) ++i;
            t.type = Token::Type::Bind;
            t.text = upper(s.substr(start, i - start));
        } else {
            t.type = Token::Type::Symbol;
            for (const char* symbol : kSymbols) {
                size_t n = std::strlen(symbol);
                if (s.compare(i, n, symbol) == 0) {
                    t.text = symbol;
                    break;
                }
            }
            if (t.text.empty()) raiseError(911);
            i += t.text.size();
        }
        tokens.push_back(std::move(t));
    }
    Token end;
    end.offset = s.size();
    tokens.push_back(end);
    return tokens;
}

const Token& TokenStream::peek(size_t ahead) const {
    size_t at = position_ + ahead;
    return at < tokens_.size() ? tokens_[at] : tokens_.back();
}

Token TokenStream::next() {
    Token t = peek();
    if (position_ + 1 < tokens_.size()) ++position_;
    return t;
}

bool TokenStream::isSymbol(const char* symbol, size_t ahead) const {
    return peek(ahead).type == Token::Type::Symbol && peek(ahead).text == symbol;
}

bool TokenStream::isKeyword(const char* word, size_t ahead) const {
    return peek(ahead).type == Token::Type::Name && peek(ahead).text == word;
}

bool TokenStream::acceptSymbol(const char* symbol) {
    if (!isSymbol(symbol)) return false;
    next();
    return true;
}

bool TokenStream::acceptKeyword(const char* word) {
    if (!isKeyword(word)) return false;
    next();
    return true;
}

void TokenStream::expectSymbol(const char* symbol) {
    if (!acceptSymbol(symbol)) raiseError(std::strcmp(symbol, ")") == 0 ? 907 : 933);
}

void TokenStream::expectKeyword(const char* word) {
    if (!acceptKeyword(word)) raiseError(900);
}

std::string TokenStream::expectName() {
    const Token& t = peek();
    if (t.type != Token::Type::Name && t.type != Token::Type::QuotedName) raiseError(900);
    return next().text;
}

void TokenStream::expectEnd() {
    acceptSymbol(";");
    if (!atEnd()) raiseError(933);
}

std::string collapseBlanks(const std::string& text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

}  // namespace vorlix
