#include "sim/bde/engine_error.h"

#include <algorithm>
#include <cstring>

namespace idapi {
namespace {

struct Message {
    DBIResult code;
    const char* text;
};

constexpr Message kMessages[] = {
    {DBIERR_NONE, ""},
    {DBIERR_SYSFILEOPEN, "Cannot open a system file."},
    {DBIERR_SYSFILEIO, "I/O error on a system file."},
    {DBIERR_CFGCANNOTWRITE, "Cannot write to the configuration file."},
    {DBIERR_CANTLOADLIBRARY, "Cannot load a library of the engine."},
    {DBIERR_EOF, "At end of table."},
    {DBIERR_NOMEMORY, "Insufficient memory for this operation."},
    {DBIERR_RECTOOBIG, "Record size is too big for table."},
    {DBIERR_OUTOFRANGE, "Number is out of range."},
    {DBIERR_INVALIDPARAM, "Invalid parameter."},
    {DBIERR_INVALIDHNDL, "Invalid handle to the function."},
    {DBIERR_NAMENOTUNIQUE, "Name not unique in this context."},
    {DBIERR_UNKNOWNDRIVER, "Driver not known to system."},
    {DBIERR_UNKNOWNDB, "Unknown database."},
    {DBIERR_NOTINITIALIZED, "Engine not initialized."},
    {DBIERR_NOTSUPPORTED, "Capability not supported."},
    {DBIERR_UNKNOWNSQL, "General SQL error."},
};

struct LastError {
    DBIResult code = DBIERR_NONE;
    std::vector<std::string> contexts;
};

thread_local LastError lastError;

void copyMessage(const std::string& text, DBIMSG& target) {
    const std::size_t length = std::min<std::size_t>(text.size(), DBIMAXMSGLEN);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

}  // namespace

const char* EngineError::what() const noexcept { return messageOf(code_); }

const char* messageOf(DBIResult code) {
    for (const Message& message : kMessages) {
        if (message.code == code) return message.text;
    }
    return "Unknown engine error.";
}

void forgetLastError() { lastError = {}; }

void rememberError(const EngineError& error) { lastError = {error.code(), error.contexts()}; }

void describeLastError(DBIErrInfo& info) {
    info = {};
    info.iError = lastError.code;
    copyMessage(messageOf(lastError.code), info.szErrCode);
    DBIMSG* contexts[] = {&info.szContext1, &info.szContext2, &info.szContext3, &info.szContext4};
    const std::size_t count = std::min<std::size_t>(lastError.contexts.size(), 4);
    for (std::size_t i = 0; i < count; ++i) copyMessage(lastError.contexts[i], *contexts[i]);
}

}  // namespace idapi
