#pragma once
// A database error as the client sees it: a number and its text.

#include <stdexcept>
#include <string>

namespace vorlix {

class DbError : public std::runtime_error {
public:
    DbError(int number, const std::string& text) : std::runtime_error(text), number_(number) {}
    int number() const { return number_; }
    // "VLX-00942: table or view does not exist"
    std::string fullText() const;

private:
    int number_;
};

// The standard text of a server error number ("%s" replaced by `detail`).
std::string errorText(int number, const std::string& detail = {});
[[noreturn]] void raiseError(int number, const std::string& detail = {});

}  // namespace vorlix
