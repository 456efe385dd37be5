#pragma once
// The writer's thin layer over the database client interface (VCI.dll): an
// environment with its sessions, each session with its open cursors. Every
// call answers 0 for success and 1 for failure and keeps the last return code
// and the database's error in the session; a failing call on a cursor closes
// it. Misuse by the caller ends the process with exit status -1.
//
// The records live at global scope: writer failures raised across the writer
// take the banner and last error of the session in use (vcw_failuredetails).

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/vorlix/vci.h"
#include "snapscribe/host/writer_failure.h"

struct VcwSession;

constexpr std::size_t kVcwErrorTextBytes = 1025;
constexpr std::size_t kVcwConnectStringMaxBytes = 1024;
constexpr std::size_t kVcwBannerBytes = 81;
constexpr std::size_t kVcwMaxBinds = 40;
// A file name as the database gives it: up to 771 bytes and the terminator.
constexpr std::uint32_t kVcwFileNameBytes = 772;

// VcwSession::credentialKind and sessionMode.
constexpr std::uint32_t kVcwExternalCredentials = VCI_CRED_EXT;
constexpr std::uint32_t kVcwSysdba = VCI_SYSDBA;
constexpr std::uint32_t kVcwSysdbaPreliminary = VCI_SYSDBA | VCI_PRELIM_AUTH;

// VcwSession::flags
constexpr std::uint32_t kVcwCallbacksRegistered = 0x40;

// Bind directions of vcw_bnd.
constexpr int kVcwBindIn = 1;
constexpr int kVcwBindOut = 2;

struct VcwErrorState {
    std::int32_t returnCode = 0;
    std::int32_t errorNumber = 0;
    char errorText[kVcwErrorTextBytes] = {};
    std::uint32_t textLength = 0;
};

struct VcwCursor {
    VcwSession* session = nullptr;
    std::string statement;
    VCIStmt* statementHandle = nullptr;
    std::uint16_t statementType = 0;
    std::uint32_t columnCount = 0;
    std::vector<std::string> columns;  // described names, queries only
};

struct VcwEnvironment {
    VCIEnv* environmentHandle = nullptr;
    VCIError* errorHandle = nullptr;
    std::list<std::unique_ptr<VcwSession>> sessions;
    VLXGlobalCtx* globalContext = nullptr;
    VLXLangCtx* languageContext = nullptr;
    VLXLangHandle* languageHandle = nullptr;
    VLXDateCtx* dateContext = nullptr;

    VcwEnvironment() = default;
    VcwEnvironment(const VcwEnvironment&) = delete;
    VcwEnvironment& operator=(const VcwEnvironment&) = delete;
    // Disconnects the sessions still listed and frees the handles.
    ~VcwEnvironment();
};

// One bind as the statement dump shows it.
struct VcwBindEntry {
    const void* value = nullptr;
    std::int32_t size = 0;
    std::uint16_t type = 0;
    const void* indicator = nullptr;
};

struct VcwSession {
    VcwEnvironment* environment = nullptr;
    VCIEnv* environmentHandle = nullptr;
    VCIError* errorHandle = nullptr;
    VCISvcCtx* serviceContext = nullptr;
    VCIServer* server = nullptr;
    VCISession* userSession = nullptr;
    VCIAdmin* admin = nullptr;
    std::string connectString;
    std::uint32_t credentialKind = 0;
    std::uint32_t sessionMode = 0;
    std::int32_t openMode = 0;
    std::uint32_t flags = 0;
    char banner[kVcwBannerBytes] = {};
    std::list<std::unique_ptr<VcwCursor>> cursors;
    VcwErrorState last;
    std::string lastStatement;
    std::uint32_t traceFlags = 0;
    std::array<VcwBindEntry, kVcwMaxBinds> binds{};
    std::uint32_t bindCount = 0;
};

// A new environment in threaded mode with its language support, or none when
// the client library or its language support cannot start. Installs
// vcw_failuredetails for the writer failures raised from then on.
std::unique_ptr<VcwEnvironment> vcw_env();

// The banner and the pending error of `session` for a writer failure; the
// error is handed out once, so a later failure on the same session carries none.
snapscribe::SessionDetails vcw_failuredetails(VcwSession* session);

// Connects `session` (created and listed when none, else emptied and reused)
// to the descriptor that follows the first two characters of `connectString`,
// with operating-system credentials as SYSDBA (preliminary: for an instance
// that is down). On failure the record stays, without handles, holding the error.
int vcw_con(VcwEnvironment* environment, VcwSession*& session, const char* connectString,
            bool preliminary);

// Closes every cursor, rolls back and frees the session's handles; the record
// is kept for a later vcw_con or released (and `session` cleared).
void vcw_dcon(VcwSession*& session, bool keepRecord);

// Cursor operations. A cursor that fails is closed and `cursor` cleared, so
// the caller sees the first error and never closes it again.
int vcw_opn(VcwSession* session, VcwCursor*& cursor, const char* statement);
int vcw_bnd(VcwSession* session, VcwCursor*& cursor, const char* placeholder, void* buffer,
            std::int32_t size, int direction, std::uint16_t type, std::int16_t* indicator);
int vcw_dfn(VcwSession* session, VcwCursor*& cursor, const char* column, void* buffer,
            std::int32_t size, std::uint16_t type, std::int16_t* indicator);
int vcw_exe(VcwSession* session, VcwCursor*& cursor);
// Execute, fetch the first row, close. A query without rows is a failure (100).
int vcw_efc(VcwSession* session, VcwCursor*& cursor);
// 0 with a row; 1 at the end of the rows (the cursor stays open) or on error.
int vcw_fet(VcwSession* session, VcwCursor*& cursor);
int vcw_cls(VcwSession* session, VcwCursor*& cursor);

int vcw_rbk(VcwSession* session);

// Writes the failing statement and the database's error to the trace.
void vcw_perr(VcwSession* session);

// Writes the server's output lines to the trace.
void vcw_dbmsout(VcwSession* session);

// Registers the statement dump (or, without TRC_SQL, no callback) once per
// session; -1 when a registration fails.
int vcw_initcb(VcwSession* session);

// True when `cursor` is one of the session's open cursors.
bool vcw_isopen(const VcwSession* session, const VcwCursor* cursor);
