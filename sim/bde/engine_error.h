#pragma once
// Failures of engine calls: a result code and the contexts DbiGetErrorInfo
// hands out with it, kept per thread until the next engine call.

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "interfaces/bde/idapi.h"

namespace idapi {

class EngineError : public std::exception {
public:
    EngineError(DBIResult code, std::vector<std::string> contexts = {})
        : code_(code), contexts_(std::move(contexts)) {}
    DBIResult code() const { return code_; }
    const std::vector<std::string>& contexts() const { return contexts_; }
    const char* what() const noexcept override;

private:
    DBIResult code_;
    std::vector<std::string> contexts_;
};

// The engine's text for a result code.
const char* messageOf(DBIResult code);

void forgetLastError();
void rememberError(const EngineError& error);
void describeLastError(DBIErrInfo& info);

// Runs one engine call: forgets the previous failure, and turns an exception
// into its result code, remembering it for DbiGetErrorInfo.

template <typename Work>
DBIResult guarded(Work work) {
    forgetLastError();
    try {
        work();
        return DBIERR_NONE;
    } catch (const EngineError& error) {
        rememberError(error);
        return error.code();
    } catch (const std::bad_alloc&) {
        rememberError(EngineError(DBIERR_NOMEMORY));
        return DBIERR_NOMEMORY;
    }
}

}  // namespace idapi
