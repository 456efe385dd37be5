#include "vcw.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

#include "snapscribe/host/code_page.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"
#include "vci_api.h"
#include "vcw_internal.h"

using snapscribe::traceMsgA;
using snapscribe::vci;

namespace {

constexpr char kLanguage[] = "AMERICAN_AMERICA.US7ASCII";
constexpr char kBannerQuery[] = "select banner from v$version";
constexpr char kServerOutputBlock[] =
    "      begin\n         dbms_output.get_line(:line, :status);\n      end;";
constexpr std::int32_t kServerOutputLineBytes = 256;
constexpr std::uint32_t kErrorRecord = 1;
constexpr std::uint32_t kFatalExitStatus = static_cast<std::uint32_t>(-1);
// The operations the statement dump follows, in the order they are registered.
constexpr std::uint32_t kDumpedOperations[] = {VCI_FNCODE_STMTPREPARE, VCI_FNCODE_BINDBYNAME,
                                               VCI_FNCODE_BINDBYPOS, VCI_FNCODE_STMTEXECUTE,
                                               VCI_FNCODE_STMTFETCH};

bool succeeded(std::int32_t rc) { return rc == VCI_SUCCESS || rc == VCI_SUCCESS_WITH_INFO; }

// Closing a failed cursor must not hide the error that made it fail.
int failAndClose(VcwSession* session, VcwCursor*& cursor) {
    const VcwErrorState first = session->last;
    vcw_cls(session, cursor);
    session->last = first;
    return 1;
}

void requireOpen(const VcwSession* session, const VcwCursor* cursor, const char* cause) {
    if (!vcw_isopen(session, cursor)) vcw_fatal(cause);
}

template <typename Handle>
void freeHandle(Handle*& handle, std::uint32_t type) {
    if (handle != nullptr) vci().VCIHandleFree(std::exchange(handle, nullptr), type);
}

void closeAllCursors(VcwSession* session) {
    while (!session->cursors.empty()) {
        VcwCursor* cursor = session->cursors.front().get();
        vcw_cls(session, cursor);
    }
}

// Everything vcw_dcon and a reused vcw_con undo; each handle is forgotten
// once freed, so emptying twice is harmless.
void emptySession(VcwSession* session) {
    closeAllCursors(session);
    if (session->serviceContext != nullptr) {
        vcw_rbk(session);
        if (session->userSession != nullptr) {
            vci().VCISessionEnd(session->serviceContext, session->errorHandle, session->userSession,
                                VCI_DEFAULT);
        }
    }
    freeHandle(session->serviceContext, VCI_HTYPE_SVCCTX);
    freeHandle(session->userSession, VCI_HTYPE_SESSION);
    freeHandle(session->admin, VCI_HTYPE_ADMIN);
    if (session->server != nullptr) {
        vci().VCIServerDetach(session->server, session->errorHandle, VCI_DEFAULT);
    }
    freeHandle(session->server, VCI_HTYPE_SERVER);
    session->openMode = 0;
    session->flags = 0;
}

VcwSession* newSession(VcwEnvironment* environment) {
    environment->sessions.push_back(std::make_unique<VcwSession>());
    return environment->sessions.back().get();
}

void releaseSession(VcwSession* session) {
    auto& sessions = session->environment->sessions;
    sessions.remove_if([session](const auto& listed) { return listed.get() == session; });
}

// A connect string of two characters or fewer, or one whose descriptor does
// not fit the record, never reaches the server.
bool takeDescriptor(VcwSession* session, const char* connectString) {
    const std::size_t length = connectString != nullptr ? std::strlen(connectString) : 0;
    if (length <= 2 || length - 2 > kVcwConnectStringMaxBytes) {
        session->last = VcwErrorState{};
        session->last.returnCode = VCI_ERROR;
        return false;
    }
    session->connectString.assign(connectString + 2);
    return true;
}

bool attachAndBegin(VcwSession* session) {
    const auto& v = vci();
    VcwSession* s = session;
    auto ok = [s](std::int32_t rc) { return vcw_chk(s, rc) == 0; };
    auto allocate = [&](auto*& handle, std::uint32_t type) {
        void* allocated = nullptr;
        const bool done = ok(v.VCIHandleAlloc(s->environmentHandle, &allocated, type, 0, nullptr));
        handle = static_cast<std::remove_reference_t<decltype(handle)>>(allocated);
        return done;
    };
    return allocate(s->server, VCI_HTYPE_SERVER) &&
           ok(v.VCIServerAttach(s->server, s->errorHandle, s->connectString.c_str(),
                                static_cast<std::int32_t>(s->connectString.size()), VCI_DEFAULT)) &&
           allocate(s->userSession, VCI_HTYPE_SESSION) && allocate(s->admin, VCI_HTYPE_ADMIN) &&
           allocate(s->serviceContext, VCI_HTYPE_SVCCTX) &&
           ok(v.VCIAttrSet(s->serviceContext, VCI_HTYPE_SVCCTX, s->server, 0, VCI_ATTR_SERVER,
                           s->errorHandle)) &&
           ok(v.VCISessionBegin(s->serviceContext, s->errorHandle, s->userSession,
                                s->credentialKind, s->sessionMode)) &&
           ok(v.VCIAttrSet(s->serviceContext, VCI_HTYPE_SVCCTX, s->userSession, 0, VCI_ATTR_SESSION,
                           s->errorHandle));
}

// The banner is informative only: a failed read leaves it empty and keeps
// the connection's outcome. Each step runs only after the one before it
// succeeded, since a step on a cursor that failed to open ends the process.
void readBanner(VcwSession* session) {
    const VcwErrorState connected = session->last;
    VcwCursor* cursor = nullptr;
    const bool read = vcw_opn(session, cursor, kBannerQuery) == 0 &&
                      vcw_dfn(session, cursor, "BANNER", session->banner, sizeof session->banner,
                              SQLT_STR, nullptr) == 0 &&
                      vcw_exe(session, cursor) == 0 && vcw_fet(session, cursor) == 0;
    vcw_cls(session, cursor);
    if (!read) session->banner[0] = '\0';
    session->last = connected;
}

bool describeColumns(VcwSession* session, VcwCursor* cursor) {
    const auto& v = vci();
    auto ok = [session](std::int32_t rc) { return vcw_chk(session, rc) == 0; };
    VCIStmt* statement = cursor->statementHandle;
    if (!ok(v.VCIStmtExecute(session->serviceContext, statement, session->errorHandle, 1, 0,
                             nullptr, nullptr, VCI_DESCRIBE_ONLY)) ||
        !ok(v.VCIAttrGet(statement, VCI_HTYPE_STMT, &cursor->columnCount, nullptr,
                         VCI_ATTR_PARAM_COUNT, session->errorHandle))) {
        return false;
    }
    cursor->columns.resize(cursor->columnCount);
    for (std::uint32_t position = 1; position <= cursor->columnCount; ++position) {
        void* parameter = nullptr;
        if (!ok(v.VCIParamGet(statement, VCI_HTYPE_STMT, session->errorHandle, &parameter,
                              position))) {
            return false;
        }
        char* name = nullptr;
        std::uint32_t length = 0;
        const std::int32_t rc = v.VCIAttrGet(parameter, VCI_DTYPE_PARAM, &name, &length,
                                             VCI_ATTR_NAME, session->errorHandle);
        if (succeeded(rc)) cursor->columns[position - 1].assign(name, length);
        v.VCIDescriptorFree(parameter, VCI_DTYPE_PARAM);
        if (!ok(rc)) return false;
    }
    return true;
}

// Position (from 1) of the described column named `column` in any letter
// case; 0 when none. A name matching only the start of a column is none.
std::uint32_t findColumn(const VcwSession* session, const VcwCursor* cursor, const char* column) {
    const VcwEnvironment* environment = session->environment;
    const std::size_t length = std::strlen(column);
    for (std::uint32_t i = 0; i < cursor->columns.size(); ++i) {
        const std::string& described = cursor->columns[i];
        if (described.size() == length &&
            vci().lxsCmpStr(described.data(), described.size(), column, length,
                            VLX_CMP_CASE_INSENSITIVE, environment->languageHandle,
                            environment->languageContext) == 0) {
            return i + 1;
        }
    }
    return 0;
}

void prepareOutput(void* buffer, std::int32_t size, std::int16_t* indicator) {
    std::memset(buffer, 0, static_cast<std::size_t>(size));
    if (indicator != nullptr) *indicator = -1;
}

const char* returnCodeText(std::int32_t rc) {
    switch (rc) {
        case VCI_SUCCESS: return "VCI Return code : VCI_SUCCESS";
        case VCI_SUCCESS_WITH_INFO: return "VCI Return code : VCI_SUCCESS_WITH_INFO";
        case VCI_NEED_DATA: return "VCI Return code : VCI_NEED_DATA";
        case VCI_NO_DATA: return "VCI Return code : VCI_NO_DATA";
        case VCI_STILL_EXECUTING: return "VCI Return code : VCI_STILL_EXECUTING";
        case VCI_INVALID_HANDLE: return "VCI Return code : VCI_INVALID_HANDLE";
        case VCI_ERROR: return "VCI Return code : VCI_ERROR";
        default: return "VCI Return code : UNKNOWN";
    }
}

// One run of the server-output block: false when it fails or no line is left.
bool nextServerOutputLine(VcwSession* session, char (&line)[kServerOutputLineBytes]) {
    VcwCursor* cursor = nullptr;
    std::int32_t status = 0;
    std::int16_t lineIndicator = 0;
    std::int16_t statusIndicator = 0;
    const bool ran = vcw_opn(session, cursor, kServerOutputBlock) == 0 &&
                     vcw_bnd(session, cursor, "line", line, sizeof line, kVcwBindOut, SQLT_STR,
                             &lineIndicator) == 0 &&
                     vcw_bnd(session, cursor, "status", &status, sizeof status, kVcwBindOut,
                             SQLT_INT, &statusIndicator) == 0 &&
                     vcw_exe(session, cursor) == 0 && vcw_cls(session, cursor) == 0;
    return ran && status == 0;
}

}  // namespace

int vcw_chk(VcwSession* session, std::int32_t rc) {
    VcwErrorState& last = session->last;
    last.returnCode = rc;
    if (rc == VCI_ERROR) {
        std::int32_t number = 0;
        last.errorText[0] = '\0';
        vci().VCIErrorGet(session->errorHandle, kErrorRecord, nullptr, &number, last.errorText,
                          sizeof last.errorText, VCI_HTYPE_ERROR);
        last.errorText[sizeof last.errorText - 1] = '\0';
        last.errorNumber = number;
        last.textLength = static_cast<std::uint32_t>(std::strlen(last.errorText));
    }
    return succeeded(rc) ? 0 : 1;
}

snapscribe::SessionDetails vcw_failuredetails(VcwSession* session) {
    snapscribe::SessionDetails details{snapscribe::lenientWide(session->banner), {}};
    VcwErrorState& last = session->last;
    if (last.errorNumber == 0) return details;
    details.pendingError.assign(last.errorText, last.textLength);
    last.errorNumber = 0;
    return details;
}

void vcw_fatal(const char* cause) {
    std::printf("Exiting .. cause : %s\n", cause);
    std::fflush(stdout);
    ExitProcess(kFatalExitStatus);
}

void vcw_dateerror(void*, std::int32_t errorNumber) {
    traceMsgA("\nError number = %d", errorNumber);
    traceMsgA("; serious date error (VORLIX Error Codes and Messages Manual).");
    std::fflush(stdout);
    ExitProcess(kFatalExitStatus);
}

VcwEnvironment::~VcwEnvironment() {
    while (!sessions.empty()) {
        VcwSession* session = sessions.front().get();
        vcw_dcon(session, false);
    }
    freeHandle(errorHandle, VCI_HTYPE_ERROR);
    freeHandle(environmentHandle, VCI_HTYPE_ENV);
}

std::unique_ptr<VcwEnvironment> vcw_env() {
    snapscribe::installSessionDetailsReader(vcw_failuredetails);
    const vorlix::VciLibrary* v = snapscribe::loadVci();
    if (v == nullptr) return nullptr;
    auto environment = std::make_unique<VcwEnvironment>();
    void* errorHandle = nullptr;
    if (v->VCIEnvCreate(&environment->environmentHandle, VCI_THREADED, nullptr, nullptr, nullptr,
                        nullptr, 0, nullptr) != VCI_SUCCESS ||
        v->VCIHandleAlloc(environment->environmentHandle, &errorHandle, VCI_HTYPE_ERROR, 0,
                          nullptr) != VCI_SUCCESS) {
        return nullptr;
    }
    environment->errorHandle = static_cast<VCIError*>(errorHandle);
    std::int32_t status = 0;
    environment->globalContext = v->lxlinit(nullptr, 0, &status);
    if (environment->globalContext == nullptr) {
        traceMsgA("\nCould not initialize LX context.");
        return nullptr;
    }
    environment->languageContext = v->lxinitc(environment->globalContext, nullptr, 0);
    environment->languageHandle =
        v->lxhLaToId(kLanguage, sizeof kLanguage - 1, environment->languageContext);
    environment->dateContext = v->ldxini(kLanguage, sizeof kLanguage - 1, vcw_dateerror, nullptr,
                                         environment->languageContext);
    return environment;
}

int vcw_con(VcwEnvironment* environment, VcwSession*& session, const char* connectString,
            bool preliminary) {
    if (session != nullptr) {
        emptySession(session);
    } else {
        session = newSession(environment);
    }
    session->environment = environment;
    session->environmentHandle = environment->environmentHandle;
    session->errorHandle = environment->errorHandle;
    session->traceFlags = snapscribe::writerSettings().TraceLevel;
    session->sessionMode = preliminary ? kVcwSysdbaPreliminary : kVcwSysdba;
    session->credentialKind = kVcwExternalCredentials;
    if (!takeDescriptor(session, connectString)) return 1;

    if (attachAndBegin(session) && !preliminary) readBanner(session);
    if (succeeded(session->last.returnCode)) return 0;
    const VcwErrorState failure = session->last;
    emptySession(session);
    session->last = failure;
    return 1;
}

void vcw_dcon(VcwSession*& session, bool keepRecord) {
    if (session == nullptr) vcw_fatal("vcw_dcon: session context uninitialized");
    emptySession(session);
    if (keepRecord) return;
    releaseSession(std::exchange(session, nullptr));
}

bool vcw_isopen(const VcwSession* session, const VcwCursor* cursor) {
    if (session == nullptr || cursor == nullptr) return false;
    return std::any_of(session->cursors.begin(), session->cursors.end(),
                       [cursor](const auto& open) { return open.get() == cursor; });
}

int vcw_opn(VcwSession* session, VcwCursor*& cursor, const char* statement) {
    if (vcw_isopen(session, cursor)) vcw_fatal("vcw_opn: cursor already open");
    if (vcw_initcb(session) != 0) vcw_fatal("vcw_opn: vcw_initcb failed");
    session->cursors.push_back(std::make_unique<VcwCursor>());
    cursor = session->cursors.back().get();
    cursor->session = session;
    cursor->statement = statement;

    const auto& v = vci();
    auto ok = [session](std::int32_t rc) { return vcw_chk(session, rc) == 0; };
    void* handle = nullptr;
    if (!ok(v.VCIHandleAlloc(session->environmentHandle, &handle, VCI_HTYPE_STMT, 0, nullptr))) {
        return failAndClose(session, cursor);
    }
    cursor->statementHandle = static_cast<VCIStmt*>(handle);
    const bool prepared =
        ok(v.VCIStmtPrepare(
            cursor->statementHandle, session->errorHandle, cursor->statement.c_str(),
            static_cast<std::uint32_t>(cursor->statement.size()), VCI_NTV_SYNTAX, VCI_DEFAULT)) &&
        ok(v.VCIAttrGet(cursor->statementHandle, VCI_HTYPE_STMT, &cursor->statementType, nullptr,
                        VCI_ATTR_STMT_TYPE, session->errorHandle));
    if (!prepared) return failAndClose(session, cursor);
    if (cursor->statementType == VCI_STMT_SELECT && !describeColumns(session, cursor)) {
        return failAndClose(session, cursor);
    }
    return 0;
}

int vcw_bnd(VcwSession* session, VcwCursor*& cursor, const char* placeholder, void* buffer,
            std::int32_t size, int direction, std::uint16_t type, std::int16_t* indicator) {
    requireOpen(session, cursor, "vcw_bnd: cursor not open");
    if (direction == kVcwBindOut) {
        if (type == SQLT_STR && size == 1) vcw_fatal("vcw_bnd: SQLT_STR > 1 char");
        prepareOutput(buffer, size, indicator);
    }
    if (size == 0) size = static_cast<std::int32_t>(std::strlen(static_cast<char*>(buffer)) + 1);
    const std::int32_t rc =
        vci().VCIBindByName(cursor->statementHandle, nullptr, session->errorHandle, placeholder,
                            static_cast<std::int32_t>(std::strlen(placeholder)), buffer, size, type,
                            indicator, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
    return vcw_chk(session, rc) == 0 ? 0 : failAndClose(session, cursor);
}

int vcw_dfn(VcwSession* session, VcwCursor*& cursor, const char* column, void* buffer,
            std::int32_t size, std::uint16_t type, std::int16_t* indicator) {
    requireOpen(session, cursor, "vcw_dfn: cursor not open");
    if (type == SQLT_STR && size == 1) vcw_fatal("vcw_dfn: SQLT_STR > 1 char");
    prepareOutput(buffer, size, indicator);
    const std::uint32_t position = findColumn(session, cursor, column);
    if (position == 0) vcw_fatal("vcw_dfn: can't find column");
    const std::int32_t rc =
        vci().VCIDefineByPos(cursor->statementHandle, nullptr, session->errorHandle, position,
                             buffer, size, type, indicator, nullptr, nullptr, VCI_DEFAULT);
    return vcw_chk(session, rc) == 0 ? 0 : failAndClose(session, cursor);
}

int vcw_exe(VcwSession* session, VcwCursor*& cursor) {
    requireOpen(session, cursor, "vcw_exe: cursor not open");
    // Rows of a query are read by vcw_fet.
    const std::uint32_t iterations = cursor->statementType == VCI_STMT_SELECT ? 0 : 1;
    const std::int32_t rc =
        vci().VCIStmtExecute(session->serviceContext, cursor->statementHandle, session->errorHandle,
                             iterations, 0, nullptr, nullptr, VCI_DEFAULT);
    return vcw_chk(session, rc) == 0 ? 0 : failAndClose(session, cursor);
}

int vcw_efc(VcwSession* session, VcwCursor*& cursor) {
    requireOpen(session, cursor, "vcw_efc: cursor not open");
    const std::int32_t rc =
        vci().VCIStmtExecute(session->serviceContext, cursor->statementHandle, session->errorHandle,
                             1, 0, nullptr, nullptr, VCI_DEFAULT);
    if (vcw_chk(session, rc) != 0) return failAndClose(session, cursor);
    return vcw_cls(session, cursor);
}

int vcw_fet(VcwSession* session, VcwCursor*& cursor) {
    if (!vcw_isopen(session, cursor)) return 1;
    const std::int32_t rc = vci().VCIStmtFetch(cursor->statementHandle, session->errorHandle, 1,
                                               VCI_FETCH_NEXT, VCI_DEFAULT);
    if (vcw_chk(session, rc) == 0) return 0;
    if (rc == VCI_NO_DATA) return 1;
    return failAndClose(session, cursor);
}

int vcw_cls(VcwSession* session, VcwCursor*& cursor) {
    if (!vcw_isopen(session, cursor)) {
        cursor = nullptr;
        return 0;
    }
    vcw_chk(session, vci().VCIHandleFree(cursor->statementHandle, VCI_HTYPE_STMT));
    cursor->columns.clear();
    session->lastStatement = std::move(cursor->statement);
    if (session->traceFlags & snapscribe::TRC_SQL) vcw_dbmsout(session);
    VcwCursor* closing = std::exchange(cursor, nullptr);
    session->cursors.remove_if([closing](const auto& open) { return open.get() == closing; });
    return session->last.returnCode != VCI_SUCCESS ? 1 : 0;
}

int vcw_rbk(VcwSession* session) {
    const std::int32_t rc =
        vci().VCITransRollback(session->serviceContext, session->errorHandle, VCI_DEFAULT);
    vcw_chk(session, rc);
    return rc == VCI_SUCCESS ? 0 : 1;
}

void vcw_perr(VcwSession* session) {
    if (!session->lastStatement.empty()) {
        traceMsgA("\nFailing SQL statement:\n%s\n", session->lastStatement.c_str());
    }
    traceMsgA("\nError from database:");
    if (session->last.errorText[0] != '\0') {
        traceMsgA("\n%s", session->last.errorText);
    } else {
        traceMsgA("%s", returnCodeText(session->last.returnCode));
    }
}

void vcw_dbmsout(VcwSession* session) {
    traceMsgA("\nsqlcode = %d \n", session->last.errorNumber);
    // The output block itself must not be dumped.
    session->traceFlags &= ~snapscribe::TRC_SQL;
    session->flags &= ~kVcwCallbacksRegistered;
    const VcwErrorState kept = session->last;
    char line[kServerOutputLineBytes];
    while (nextServerOutputLine(session, line)) traceMsgA("\n%s", line);
    session->last = kept;
    session->traceFlags |= snapscribe::TRC_SQL;
    session->flags &= ~kVcwCallbacksRegistered;
}

int vcw_initcb(VcwSession* session) {
    if (session->flags & kVcwCallbacksRegistered) return 0;
    const VCIUserCallback callback =
        (session->traceFlags & snapscribe::TRC_SQL) ? vcw_dbgcb : nullptr;
    for (std::uint32_t operation : kDumpedOperations) {
        if (vci().VCIUserCallbackRegister(session->environmentHandle, VCI_HTYPE_ENV,
                                          session->errorHandle, callback, session, operation,
                                          VCI_UCBTYPE_EXIT, nullptr) != VCI_SUCCESS) {
            return -1;
        }
    }
    session->flags |= kVcwCallbacksRegistered;
    return 0;
}
