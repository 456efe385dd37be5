#pragma once
// Splits statement text into tokens. Unquoted names come out in upper case,
// as the server resolves them.

#include <string>
#include <vector>

namespace vorlix {

struct Token {
    enum class Type { Name, QuotedName, String, Number, Bind, Symbol, End };
    Type type = Type::End;
    std::string text;  // names upper-cased; strings without quotes; binds without ':'
    size_t offset = 0;
};

std::vector<Token> tokenize(const std::string& statement);  // throws DbError 911

// Walks a token list; every parser of statements uses it.
class TokenStream {
public:
    explicit TokenStream(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}
    const Token& peek(size_t ahead = 0) const;
    Token next();
    bool atEnd() const { return peek().type == Token::Type::End; }
    bool isSymbol(const char* symbol, size_t ahead = 0) const;
    bool isKeyword(const char* word, size_t ahead = 0) const;
    bool acceptSymbol(const char* symbol);
    bool acceptKeyword(const char* word);
    void expectSymbol(const char* symbol);  // else DbError (907 for ')', 933 otherwise)
    void expectKeyword(const char* word);   // else DbError 900
    std::string expectName();               // a plain or quoted name, else DbError 900
    void expectEnd();                       // only a trailing ';' may follow, else 933

private:
    std::vector<Token> tokens_;
    size_t position_ = 0;
};

// The statement with every run of white space turned into one blank and
// without blanks at either end; what a statement is recognised by.
std::string collapseBlanks(const std::string& text);

}  // namespace vorlix
