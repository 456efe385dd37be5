#pragma once
// What the wrapper's parts share and callers never use.

#include <cstdarg>
#include <cstdint>

#include "vcw.h"

// Keeps `rc` as the session's last return code and, for an error, the
// database's error number and text; 0 for success (with or without
// information), else 1.
int vcw_chk(VcwSession* session, std::int32_t rc);

// Misuse by the caller: says why on standard output and ends the process
// with exit status -1.
[[noreturn]] void vcw_fatal(const char* cause);

// The after-call callback of the statement dump; the context is the session.
std::int32_t vcw_dbgcb(void* context, void* handle, std::uint32_t type, std::uint32_t function,
                       std::uint32_t when, std::int32_t returnCode, std::int32_t* errorNumber,
                       va_list arguments);

// The date-error callback of the environment's date context.
void vcw_dateerror(void* context, std::int32_t errorNumber);
