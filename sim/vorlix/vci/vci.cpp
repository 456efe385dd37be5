// The exported calls of VCI.dll. Every call answers with a return code; no
// exception leaves the library.

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "sim/vorlix/engine/catalog.h"
#include "sim/vorlix/instance/settings.h"
#include "sim/vorlix/instance/win_storage.h"
#include "sim/vorlix/vci/conversions.h"
#include "sim/vorlix/vci/handles.h"

using namespace vci;
using vorlix::DbError;
using vorlix::raiseError;

namespace {

int32_t fail(Error* err, const DbError& e) {
    if (err) err->last = e;
    return e.number() == 1403 ? VCI_NO_DATA : VCI_ERROR;
}

// Runs a call body; database errors become -1 (or 100 for "no data") with the
// error kept in the error handle.
template <typename Body>
int32_t guarded(Error* err, Body body) {
    try {
        return body();
    } catch (const DbError& e) {
        return fail(err, e);
    } catch (const std::exception& e) {
        return fail(err, DbError(3113, vorlix::errorText(3113) + " (" + e.what() + ")"));
    } catch (...) {
        return fail(err, DbError(3113, vorlix::errorText(3113)));
    }
}

// After-call callbacks receive the operation's own arguments as a va_list.
int32_t afterCall(Env* env, uint32_t fcode, void* handle, uint32_t handleType, int32_t rc, ...) {
    if (!env) return rc;
    auto found = env->afterCall.find(fcode);
    if (found == env->afterCall.end() || !found->second.function) return rc;
    va_list args;
    va_start(args, rc);
    int32_t errorNumber = 0;
    int32_t answer = found->second.function(found->second.context, handle, handleType, fcode,
                                            VCI_UCBTYPE_EXIT, rc, &errorNumber, args);
    va_end(args);
    return answer == VCI_CONTINUE ? rc : answer;
}

std::string textOf(const char* text, int32_t length) {
    if (!text) return {};
    return length < 0 ? std::string(text) : std::string(text, size_t(length));
}

std::string attributeText(const void* value, uint32_t size) {
    const char* text = static_cast<const char*>(value);
    return text ? std::string(text, size) : std::string();
}

// "(...(KEY=value)...)": the value of the first KEY, without case.
std::optional<std::string> descriptorValue(const std::string& descriptor, const std::string& key) {
    std::string upperText = vorlix::upper(descriptor);
    size_t at = upperText.find("(" + key + "=");
    if (at == std::string::npos) return std::nullopt;
    size_t begin = at + key.size() + 2;
    size_t end = descriptor.find(')', begin);
    std::string value = descriptor.substr(begin, end == std::string::npos ? end : end - begin);
    value.erase(std::remove(value.begin(), value.end(), ' '), value.end());
    return value;
}

// The instance a connect text names: a descriptor with its SID, a net
// service name, or (empty text) the instance of VORLIX_SID.
std::string resolveInstance(const std::string& connect, const std::string& home) {
    std::string text = connect;
    text.erase(0, text.find_first_not_of(' '));
    if (text.empty()) return vorlix::readSetting("VORLIX_SID").value_or("");
    if (text[0] == '(') {
        if (auto sid = descriptorValue(text, "SID")) return *sid;
        auto envs = descriptorValue(text, "ENVS");
        if (envs && envs->find("VORLIX_SID=") != std::string::npos) {
            std::string sid = envs->substr(envs->find("VORLIX_SID=") + 11);
            sid.erase(std::remove(sid.begin(), sid.end(), '\''), sid.end());
            return sid;
        }
        return vorlix::readSetting("VORLIX_SID").value_or("");
    }
    auto sid = vorlix::resolveNetServiceName(home, text);
    if (!sid) raiseError(12154);
    return *sid;
}

Session* liveSession(SvcCtx* svc) {
    if (!svc->server || !svc->server->store) raiseError(3114);
    if (!svc->session || !svc->session->begun) raiseError(1012);
    return svc->session;
}

// The error a session sees when its instance went away under it.
void checkStillThere(const Session& session, const vorlix::InstanceState& state) {
    if (state.startupCount != session.startupCount || state.status == vorlix::InstanceStatus::Down)
        raiseError(3113);
}

vorlix::Binds inputBinds(const Stmt& stmt, bool describing) {
    vorlix::Binds binds;
    for (const auto& b : stmt.binds) {
        std::string name = b->name.empty() ? std::to_string(b->position) : b->name;
        binds[name] = readValue(b->target);
    }
    if (describing) {  // placeholders are bound after the describe
        for (const auto& token : vorlix::tokenize(stmt.text)) {
            if (token.type == vorlix::Token::Type::Bind) binds.try_emplace(token.text);
        }
    }
    return binds;
}

int32_t fetchRows(Stmt& stmt, Error* err, uint32_t rows) {
    int32_t rc = VCI_SUCCESS;
    for (uint32_t n = 0; n < rows; ++n) {
        if (stmt.nextRow >= stmt.result.rows.size())
            return fail(err, DbError(1403, vorlix::errorText(1403)));
        const auto& row = stmt.result.rows[stmt.nextRow++];
        for (const auto& define : stmt.defines) {
            if (define->position == 0 || define->position > row.size()) raiseError(1007);
            if (writeValue(row[define->position - 1], define->target) == 1406) {
                if (err) err->last = DbError(1406, vorlix::errorText(1406));
                rc = VCI_SUCCESS_WITH_INFO;
            }
        }
    }
    return rc;
}

void writeAssigned(Stmt& stmt, const vorlix::Binds& assigned) {
    for (const auto& [name, value] : assigned) {
        for (const auto& b : stmt.binds) {
            std::string bindName = b->name.empty() ? std::to_string(b->position) : b->name;
            if (bindName == name) writeValue(value, b->target);
        }
    }
}

// Waits for a pipe message outside the instance lock, polling the state.
class StoreWaiter : public vorlix::PipeWaiter {
public:
    explicit StoreWaiter(const vorlix::InstanceStore& store) : store_(store) {}
    bool waitForMessage(vorlix::InstanceState& state, const std::string& pipe,
                        int seconds) override {
        return store_.waitUnlocked(
            state,
            [&](const vorlix::InstanceState& s) {
                const vorlix::Pipe* p = s.pipe(pipe);
                return p && !p->messages.empty();
            },
            DWORD(seconds) * 1000);
    }

private:
    const vorlix::InstanceStore& store_;
};

vorlix::Outcome runOnInstance(SvcCtx* svc, Stmt& stmt, const vorlix::Binds& binds) {
    Session* session = liveSession(svc);
    if (session->preliminary) raiseError(1012);
    // No service query here: stopping the service takes the instance down,
    // which the state shows (and the session then gets 3113).
    const vorlix::InstanceStore& store = *svc->server->store;
    return store.update(
        [&](vorlix::InstanceState& state) {
            checkStillThere(*session, state);
            vorlix::WinStorage storage;
            vorlix::Executor executor(state, storage, session->data);
            StoreWaiter waiter(store);
            vorlix::Outcome outcome = executor.execute(stmt.text, binds, &waiter);
            stmt.closeRefused = stmt.closeRefused || vorlix::takeCloseFailure(state, stmt.text);
            return outcome;
        },
        [&](const vorlix::InstanceState& state) {
            return vorlix::mayChangeState(state, stmt.text);
        });
}

int32_t execute(SvcCtx* svc, Stmt* stmt, Error* err, uint32_t iters, uint32_t mode) {
    if (!stmt->prepared) raiseError(1003);
    bool query = stmt->statementType == VCI_STMT_SELECT;
    bool describeOnly = (mode & VCI_DESCRIBE_ONLY) != 0;
    if (describeOnly && !query) return VCI_SUCCESS;
    if (!query && iters == 0) raiseError(24333);
    vorlix::Outcome outcome = runOnInstance(svc, *stmt, inputBinds(*stmt, describeOnly));
    stmt->executed = true;
    if (outcome.isQuery) {
        stmt->result = std::move(outcome.result);
        stmt->nextRow = 0;
        if (describeOnly) stmt->result.rows.clear();
        return iters > 0 && !describeOnly ? fetchRows(*stmt, err, 1) : VCI_SUCCESS;
    }
    writeAssigned(*stmt, outcome.assigned);
    stmt->nextRow = outcome.rowCount;  // what VCI_ATTR_ROW_COUNT reports after DML
    return VCI_SUCCESS;
}

Bind* bindSlot(Stmt* stmt, const std::string& name, uint32_t position) {
    for (auto& b : stmt->binds) {
        if (b->name == name && b->position == position) return b.get();
    }
    stmt->binds.push_back(std::make_unique<Bind>());
    Bind* b = stmt->binds.back().get();
    b->name = name;
    b->position = position;
    return b;
}

}  // namespace

extern "C" {

VCIAPI int32_t VCIEnvCreate(VCIEnv** envhpp, uint32_t, void*, void* (*)(void*, size_t),
                            void* (*)(void*, void*, size_t), void (*)(void*, void*), size_t,
                            void**) {
    if (!envhpp) return VCI_INVALID_HANDLE;
    *envhpp = reinterpret_cast<VCIEnv*>(new Env());
    return VCI_SUCCESS;
}

VCIAPI int32_t VCIHandleAlloc(const void* parenth, void** hndlpp, uint32_t type, size_t, void**) {
    Env* env = as<Env>(parenth, VCI_HTYPE_ENV);
    if (!env || !hndlpp) return VCI_INVALID_HANDLE;
    auto handle = allocateHandle(env, type);
    if (!handle) return VCI_INVALID_HANDLE;
    *hndlpp = handle.release();
    return VCI_SUCCESS;
}

VCIAPI int32_t VCIHandleFree(void* hndlp, uint32_t type) {
    Handle* handle = as<Handle>(hndlp, type);
    if (!handle) return VCI_INVALID_HANDLE;
    // The handle is gone either way; the caller learns of the failure only.
    const bool refused = type == VCI_HTYPE_STMT && static_cast<Stmt*>(handle)->closeRefused;
    delete handle;
    return refused ? VCI_ERROR : VCI_SUCCESS;
}

VCIAPI int32_t VCIServerAttach(VCIServer* srvhp, VCIError* errhp, const char* dblink,
                               int32_t dblinkLen, uint32_t) {
    Server* server = as<Server>(srvhp, VCI_HTYPE_SERVER);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!server || !err) return VCI_INVALID_HANDLE;
    return guarded(err, [&] {
        auto home = vorlix::vorlixHome();
        if (!home) raiseError(12560);
        std::string sid = resolveInstance(textOf(dblink, dblinkLen), *home);
        vorlix::InstanceStore store(vorlix::instanceDirectory(*home, sid), sid);
        if (sid.empty() || !store.exists() || !vorlix::serviceRunning(sid)) raiseError(12560);
        server->store = store;
        return VCI_SUCCESS;
    });
}

VCIAPI int32_t VCIServerDetach(VCIServer* srvhp, VCIError* errhp, uint32_t) {
    Server* server = as<Server>(srvhp, VCI_HTYPE_SERVER);
    if (!server || !as<Error>(errhp, VCI_HTYPE_ERROR)) return VCI_INVALID_HANDLE;
    server->store.reset();
    return VCI_SUCCESS;
}

VCIAPI int32_t VCISessionBegin(VCISvcCtx* svchp, VCIError* errhp, VCISession* usrhp, uint32_t credt,
                               uint32_t mode) {
    SvcCtx* svc = as<SvcCtx>(svchp, VCI_HTYPE_SVCCTX);
    Session* session = as<Session>(usrhp, VCI_HTYPE_SESSION);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!svc || !session || !err) return VCI_INVALID_HANDLE;
    return guarded(err, [&] {
        if (!svc->server || !svc->server->store) raiseError(3114);
        bool sysdba = (mode & VCI_SYSDBA) != 0;
        bool preliminary = (mode & VCI_PRELIM_AUTH) != 0;
        if (!vorlix::serviceRunning(svc->server->store->sid())) raiseError(12560);
        vorlix::InstanceState state = svc->server->store->read();
        if (credt == VCI_CRED_RDBMS) {
            auto user = state.users.find(vorlix::upper(session->user));
            if (user == state.users.end() || user->second != session->password) raiseError(1017);
        } else if (credt != VCI_CRED_EXT || !sysdba) {
            raiseError(1017);  // operating-system logons are for administrators only
        }
        using vorlix::InstanceStatus;
        if (!preliminary) {
            if (state.status == InstanceStatus::Down) raiseError(1034);
            if (state.status == InstanceStatus::Starting) raiseError(1033);
            if (!sysdba && state.status != InstanceStatus::Open) raiseError(1033);
        }
        session->sysdba = sysdba;
        session->preliminary = preliminary;
        session->startupCount = state.startupCount;
        session->data = {};
        session->begun = true;
        svc->session = session;
        return VCI_SUCCESS;
    });
}

VCIAPI int32_t VCISessionEnd(VCISvcCtx* svchp, VCIError* errhp, VCISession* usrhp, uint32_t) {
    SvcCtx* svc = as<SvcCtx>(svchp, VCI_HTYPE_SVCCTX);
    if (!svc || !as<Error>(errhp, VCI_HTYPE_ERROR)) return VCI_INVALID_HANDLE;
    Session* session = usrhp ? as<Session>(usrhp, VCI_HTYPE_SESSION) : svc->session;
    if (!session) return VCI_INVALID_HANDLE;
    session->begun = false;
    return VCI_SUCCESS;
}

VCIAPI int32_t VCIAttrSet(void* trgthndlp, uint32_t trghndltyp, void* attributep, uint32_t size,
                          uint32_t attrtype, VCIError* errhp) {
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (SvcCtx* svc = as<SvcCtx>(trgthndlp, trghndltyp); svc && trghndltyp == VCI_HTYPE_SVCCTX) {
        if (attrtype == VCI_ATTR_SERVER && as<Server>(attributep, VCI_HTYPE_SERVER)) {
            svc->server = as<Server>(attributep, VCI_HTYPE_SERVER);
            return VCI_SUCCESS;
        }
        if (attrtype == VCI_ATTR_SESSION && as<Session>(attributep, VCI_HTYPE_SESSION)) {
            svc->session = as<Session>(attributep, VCI_HTYPE_SESSION);
            return VCI_SUCCESS;
        }
        return VCI_INVALID_HANDLE;
    }
    if (Session* session = as<Session>(trgthndlp, trghndltyp);
        session && trghndltyp == VCI_HTYPE_SESSION) {
        if (attrtype == VCI_ATTR_USERNAME)
            session->user = attributeText(attributep, size);
        else if (attrtype == VCI_ATTR_PASSWORD)
            session->password = attributeText(attributep, size);
        else
            return fail(err, DbError(24315, "illegal attribute type"));
        return VCI_SUCCESS;
    }
    if (Admin* admin = as<Admin>(trgthndlp, trghndltyp); admin && trghndltyp == VCI_HTYPE_ADMIN) {
        if (attrtype != VCI_ATTR_ADMIN_PFILE)
            return fail(err, DbError(24315, "illegal attribute type"));
        admin->parameterFile = attributeText(attributep, size);
        return VCI_SUCCESS;
    }
    return VCI_INVALID_HANDLE;
}

VCIAPI int32_t VCIAttrGet(const void* trgthndlp, uint32_t trghndltyp, void* attributep,
                          uint32_t* sizep, uint32_t attrtype, VCIError* errhp) {
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!attributep) return VCI_INVALID_HANDLE;
    if (Stmt* stmt = as<Stmt>(trgthndlp, trghndltyp); stmt && trghndltyp == VCI_HTYPE_STMT) {
        switch (attrtype) {
            case VCI_ATTR_STMT_TYPE:
                *static_cast<uint16_t*>(attributep) = stmt->statementType;
                return VCI_SUCCESS;
            case VCI_ATTR_PARAM_COUNT:
                *static_cast<uint32_t*>(attributep) = uint32_t(stmt->result.columns.size());
                return VCI_SUCCESS;
            case VCI_ATTR_ROW_COUNT:
                *static_cast<uint32_t*>(attributep) = uint32_t(stmt->nextRow);
                return VCI_SUCCESS;
            default: return fail(err, DbError(24315, "illegal attribute type"));
        }
    }
    if (Param* param = as<Param>(trgthndlp, trghndltyp); param && trghndltyp == VCI_DTYPE_PARAM) {
        switch (attrtype) {
            case VCI_ATTR_NAME:
                *static_cast<const char**>(attributep) = param->name->c_str();
                if (sizep) *sizep = uint32_t(param->name->size());
                return VCI_SUCCESS;
            case VCI_ATTR_DATA_TYPE:
                *static_cast<uint16_t*>(attributep) = param->dataType;
                return VCI_SUCCESS;
            case VCI_ATTR_DATA_SIZE:
                *static_cast<uint16_t*>(attributep) = param->dataSize;
                return VCI_SUCCESS;
            default: return fail(err, DbError(24315, "illegal attribute type"));
        }
    }
    if (SvcCtx* svc = as<SvcCtx>(trgthndlp, trghndltyp); svc && trghndltyp == VCI_HTYPE_SVCCTX) {
        if (attrtype == VCI_ATTR_SERVER)
            *static_cast<void**>(attributep) = svc->server;
        else if (attrtype == VCI_ATTR_SESSION)
            *static_cast<void**>(attributep) = svc->session;
        else
            return fail(err, DbError(24315, "illegal attribute type"));
        return VCI_SUCCESS;
    }
    return VCI_INVALID_HANDLE;
}

VCIAPI int32_t VCIParamGet(const void* hndlp, uint32_t htype, VCIError* errhp, void** parmdpp,
                           uint32_t pos) {
    Stmt* stmt = as<Stmt>(hndlp, htype);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!stmt || htype != VCI_HTYPE_STMT || !err || !parmdpp) return VCI_INVALID_HANDLE;
    return guarded(err, [&] {
        if (!stmt->executed) raiseError(24338);
        if (pos < 1 || pos > stmt->result.columns.size()) raiseError(24334);
        const auto& column = stmt->result.columns[pos - 1];
        if (stmt->describedNames.size() != stmt->result.columns.size()) {
            stmt->describedNames.clear();
            for (const auto& c : stmt->result.columns)
                stmt->describedNames.push_back(std::make_unique<std::string>(c.name));
        }
        auto param = std::make_unique<Param>();
        param->name = stmt->describedNames[pos - 1].get();
        param->dataType = uint16_t(column.type);
        param->dataSize = column.type == vorlix::ColumnType::Number ? 22 : 4000;
        *parmdpp = param.release();
        return VCI_SUCCESS;
    });
}

VCIAPI int32_t VCIDescriptorFree(void* descp, uint32_t type) { return VCIHandleFree(descp, type); }

VCIAPI int32_t VCIStmtPrepare(VCIStmt* stmtp, VCIError* errhp, const char* stmt, uint32_t stmtLen,
                              uint32_t language, uint32_t mode) {
    Stmt* s = as<Stmt>(stmtp, VCI_HTYPE_STMT);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!s || !err || !stmt) return VCI_INVALID_HANDLE;
    s->text.assign(stmt, stmtLen);
    s->statementType = uint16_t(vorlix::statementType(s->text));
    s->prepared = true;
    s->executed = false;
    s->binds.clear();
    s->defines.clear();
    s->result = {};
    s->nextRow = 0;
    s->describedNames.clear();
    return afterCall(s->env, VCI_FNCODE_STMTPREPARE, s, VCI_HTYPE_STMT, VCI_SUCCESS, stmtp, errhp,
                     stmt, stmtLen, language, mode);
}

VCIAPI int32_t VCIStmtExecute(VCISvcCtx* svchp, VCIStmt* stmtp, VCIError* errhp, uint32_t iters,
                              uint32_t rowoff, const void* snapIn, void* snapOut, uint32_t mode) {
    SvcCtx* svc = as<SvcCtx>(svchp, VCI_HTYPE_SVCCTX);
    Stmt* s = as<Stmt>(stmtp, VCI_HTYPE_STMT);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!svc || !s || !err) return VCI_INVALID_HANDLE;
    int32_t rc = guarded(err, [&] { return execute(svc, s, err, iters, mode); });
    return afterCall(s->env, VCI_FNCODE_STMTEXECUTE, s, VCI_HTYPE_STMT, rc, svchp, stmtp, errhp,
                     iters, rowoff, snapIn, snapOut, mode);
}

VCIAPI int32_t VCIStmtFetch(VCIStmt* stmtp, VCIError* errhp, uint32_t nrows, uint16_t orientation,
                            uint32_t mode) {
    Stmt* s = as<Stmt>(stmtp, VCI_HTYPE_STMT);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!s || !err) return VCI_INVALID_HANDLE;
    int32_t rc = guarded(err, [&] {
        if (!s->executed || s->statementType != VCI_STMT_SELECT) raiseError(1002);
        return fetchRows(*s, err, nrows);
    });
    return afterCall(s->env, VCI_FNCODE_STMTFETCH, s, VCI_HTYPE_STMT, rc, stmtp, errhp, nrows,
                     int(orientation), mode);
}

VCIAPI int32_t VCIBindByName(VCIStmt* stmtp, VCIBind** bindpp, VCIError* errhp,
                             const char* placeholder, int32_t placehLen, void* valuep,
                             int32_t valueSize, uint16_t dty, void* indp, uint16_t* alenp,
                             uint16_t* rcodep, uint32_t maxarrLen, uint32_t* curelep,
                             uint32_t mode) {
    Stmt* s = as<Stmt>(stmtp, VCI_HTYPE_STMT);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!s || !err || !placeholder) return VCI_INVALID_HANDLE;
    std::string name = vorlix::upper(textOf(placeholder, placehLen));
    if (!name.empty() && name[0] == ':') name.erase(0, 1);
    int32_t rc = guarded(err, [&] {
        if (name.empty()) raiseError(1036);
        Bind* b = bindSlot(s, name, 0);
        b->target = {valuep, valueSize, dty, indp, alenp, rcodep};
        if (bindpp) *bindpp = reinterpret_cast<VCIBind*>(b);
        return VCI_SUCCESS;
    });
    return afterCall(s->env, VCI_FNCODE_BINDBYNAME, s, VCI_HTYPE_STMT, rc, stmtp, bindpp, errhp,
                     placeholder, placehLen, valuep, valueSize, int(dty), indp, alenp, rcodep,
                     maxarrLen, curelep, mode);
}

VCIAPI int32_t VCIBindByPos(VCIStmt* stmtp, VCIBind** bindpp, VCIError* errhp, uint32_t position,
                            void* valuep, int32_t valueSize, uint16_t dty, void* indp,
                            uint16_t* alenp, uint16_t* rcodep, uint32_t maxarrLen,
                            uint32_t* curelep, uint32_t mode) {
    Stmt* s = as<Stmt>(stmtp, VCI_HTYPE_STMT);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!s || !err) return VCI_INVALID_HANDLE;
    int32_t rc = guarded(err, [&] {
        // A position counts the distinct placeholders in the order they appear.
        std::vector<std::string> names;
        for (const auto& token : vorlix::tokenize(s->text)) {
            if (token.type == vorlix::Token::Type::Bind &&
                std::find(names.begin(), names.end(), token.text) == names.end())
                names.push_back(token.text);
        }
        if (position < 1 || position > names.size()) raiseError(1036);
        Bind* b = bindSlot(s, names[position - 1], 0);
        b->target = {valuep, valueSize, dty, indp, alenp, rcodep};
        if (bindpp) *bindpp = reinterpret_cast<VCIBind*>(b);
        return VCI_SUCCESS;
    });
    return afterCall(s->env, VCI_FNCODE_BINDBYPOS, s, VCI_HTYPE_STMT, rc, stmtp, bindpp, errhp,
                     position, valuep, valueSize, int(dty), indp, alenp, rcodep, maxarrLen, curelep,
                     mode);
}

VCIAPI int32_t VCIDefineByPos(VCIStmt* stmtp, VCIDefine** defnpp, VCIError* errhp,
                              uint32_t position, void* valuep, int32_t valueSize, uint16_t dty,
                              void* indp, uint16_t* rlenp, uint16_t* rcodep, uint32_t) {
    Stmt* s = as<Stmt>(stmtp, VCI_HTYPE_STMT);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!s || !err) return VCI_INVALID_HANDLE;
    return guarded(err, [&] {
        if (position < 1) raiseError(1007);
        auto found = std::find_if(s->defines.begin(), s->defines.end(),
                                  [&](const auto& d) { return d->position == position; });
        Define* d = found != s->defines.end() ? found->get() : nullptr;
        if (!d) {
            s->defines.push_back(std::make_unique<Define>());
            d = s->defines.back().get();
            d->position = position;
        }
        d->target = {valuep, valueSize, dty, indp, rlenp, rcodep};
        if (defnpp) *defnpp = reinterpret_cast<VCIDefine*>(d);
        return VCI_SUCCESS;
    });
}

VCIAPI int32_t VCITransRollback(VCISvcCtx* svchp, VCIError* errhp, uint32_t) {
    SvcCtx* svc = as<SvcCtx>(svchp, VCI_HTYPE_SVCCTX);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!svc || !err) return VCI_INVALID_HANDLE;
    // Every statement of this server commits by itself; there is nothing to undo.
    return guarded(err, [&] {
        liveSession(svc);
        return VCI_SUCCESS;
    });
}

VCIAPI int32_t VCIErrorGet(void* hndlp, uint32_t recordno, char* sqlstate, int32_t* errcodep,
                           char* bufp, uint32_t bufsiz, uint32_t type) {
    Error* err = as<Error>(hndlp, type);
    if (!err || type != VCI_HTYPE_ERROR) return VCI_INVALID_HANDLE;
    if (recordno != 1 || !err->last) return VCI_NO_DATA;
    if (sqlstate) std::strcpy(sqlstate, "HY000");
    if (errcodep) *errcodep = err->last->number();
    if (bufp && bufsiz > 0) {
        std::string text = err->last->fullText();
        size_t n = std::min<size_t>(text.size(), bufsiz - 1);
        std::memcpy(bufp, text.data(), n);
        bufp[n] = '\0';
    }
    return VCI_SUCCESS;
}

VCIAPI int32_t VCIUserCallbackRegister(void* hndlp, uint32_t type, void*, VCIUserCallback callback,
                                       void* ctxp, uint32_t fcode, uint32_t when, void*) {
    Env* env = as<Env>(hndlp, type);
    if (!env || type != VCI_HTYPE_ENV || when != VCI_UCBTYPE_EXIT) return VCI_INVALID_HANDLE;
    if (callback)
        env->afterCall[fcode] = {callback, ctxp};
    else
        env->afterCall.erase(fcode);
    return VCI_SUCCESS;
}

VCIAPI int32_t VCIDBStartup(VCISvcCtx* svchp, VCIError* errhp, VCIAdmin* admhp, uint32_t,
                            uint32_t) {
    SvcCtx* svc = as<SvcCtx>(svchp, VCI_HTYPE_SVCCTX);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    Admin* admin = admhp ? as<Admin>(admhp, VCI_HTYPE_ADMIN) : nullptr;
    if (!svc || !err || (admhp && !admin)) return VCI_INVALID_HANDLE;
    return guarded(err, [&] {
        Session* session = liveSession(svc);
        if (!session->sysdba) raiseError(1031);
        if (!vorlix::serviceRunning(svc->server->store->sid())) raiseError(3113);
        session->startupCount = svc->server->store->update([&](vorlix::InstanceState& state) {
            vorlix::WinStorage storage;
            vorlix::Instance(state, storage).startup(admin ? admin->parameterFile : std::string());
            return state.startupCount;
        });
        return VCI_SUCCESS;
    });
}

VCIAPI int32_t VCIDBShutdown(VCISvcCtx* svchp, VCIError* errhp, VCIAdmin*, uint32_t mode) {
    SvcCtx* svc = as<SvcCtx>(svchp, VCI_HTYPE_SVCCTX);
    Error* err = as<Error>(errhp, VCI_HTYPE_ERROR);
    if (!svc || !err) return VCI_INVALID_HANDLE;
    return guarded(err, [&] {
        Session* session = liveSession(svc);
        if (!session->sysdba) raiseError(1031);
        session->startupCount = svc->server->store->update([&](vorlix::InstanceState& state) {
            vorlix::WinStorage storage;
            vorlix::Instance(state, storage).shutdown(mode == VCI_DBSHUTDOWN_ABORT);
            return state.startupCount;
        });
        return VCI_SUCCESS;
    });
}

VCIAPI int32_t slzgetevar(const char* name, char* buffer, uint32_t size) {
    if (!name) return -1;
    auto value = vorlix::readSetting(name);
    if (!value) return -1;
    if (buffer && size > 0) {
        size_t n = std::min<size_t>(value->size(), size);
        std::memcpy(buffer, value->data(), n);
        if (n < size) buffer[n] = '\0';
    }
    return int32_t(value->size());
}

}  // extern "C"
