// The engine's exported calls: aliases in the configuration file, connections
// and queries through the vendor client library.

#include "interfaces/bde/dbengine.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/bde/alias_config.h"
#include "interfaces/vorlix/vci_library.h"
#include "support/code_page_text.h"
#include "support/unique_handle.h"

namespace dbengine {
namespace {

constexpr wchar_t kConfigVariable[] = L"DBENGINE_CONFIG";
constexpr wchar_t kConfigFileName[] = L"dbengine.cfg";
constexpr wchar_t kDriversKey[] = L"SOFTWARE\\Borland\\Database Engine\\Settings\\DRIVERS\\";
// The one driver library this engine carries.
constexpr char kDriverLibrary[] = "SQLVLX8.DLL";
constexpr int kFieldCapacity = 32 * 1024;

class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

thread_local std::wstring lastError;

using support::toNarrow;
using support::toWide;

std::vector<std::string> splitList(const wchar_t* list) {
    std::vector<std::string> entries;
    for (const wchar_t* at = list; at && *at; at += wcslen(at) + 1) entries.push_back(toNarrow(at));
    return entries;
}

template <typename Work>
int guarded(Work work) {
    try {
        work();
        return DBE_OK;
    } catch (const std::exception& error) {
        lastError = toWide(error.what());
        return DBE_ERROR;
    }
}

int copyOut(const std::wstring& text, wchar_t* buffer, int capacity, int* required) {
    const int needed = static_cast<int>(text.size()) + 1;
    if (required) *required = needed;
    if (!buffer || capacity < needed) {
        lastError = L"The buffer is too small: " + std::to_wstring(needed) + L" characters needed";
        return DBE_ERROR;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    return DBE_OK;
}

std::wstring moduleDirectory() {
    HMODULE self = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&moduleDirectory), &self);
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring full(path);
    return full.substr(0, full.find_last_of(L'\\') + 1);
}

std::wstring configPath() {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(kConfigVariable, value, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return value;
    return moduleDirectory() + kConfigFileName;
}

std::optional<std::string> readFile(const std::wstring& path) {
    support::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::nullopt;
        throw EngineError("Cannot open the configuration file " + toNarrow(path));
    }
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        text.append(chunk, read);
    return text;
}

// The session's aliases: the configuration file as loaded, plus those added since.
class Session {
public:
    std::vector<Alias> aliases() {
        std::lock_guard lock(mutex_);
        load();
        return aliases_;
    }

    void add(Alias alias) {
        std::lock_guard lock(mutex_);
        load();
        for (const Alias& existing : aliases_) {
            if (equalNoCase(existing.name, alias.name)) {
                throw EngineError("Duplicate database alias name: " + alias.name + " (exists as " +
                                  existing.name + ")");
            }
        }
        aliases_.push_back(std::move(alias));
    }

    void save() {
        std::lock_guard lock(mutex_);
        load();
        const std::wstring path = configPath();
        const std::wstring temporary = path + L".new";
        const std::string text = formatConfig(aliases_);
        {
            support::KernelHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD written = 0;
            if (!file ||
                !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                           nullptr) ||
                written != text.size()) {
                throw EngineError("Cannot write the configuration file " + toNarrow(path));
            }
        }
        if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            DeleteFileW(temporary.c_str());
            throw EngineError("Cannot replace the configuration file " + toNarrow(path));
        }
    }

private:
    void load() {
        if (loaded_) return;
        const std::wstring path = configPath();
        try {
            aliases_ = parseConfig(readFile(path).value_or(""));
        } catch (const ConfigError& error) {
            throw EngineError("Configuration file " + toNarrow(path) + ": " + error.what());
        }
        loaded_ = true;
    }

    std::mutex mutex_;
    bool loaded_ = false;
    std::vector<Alias> aliases_;
};

Session& session() {
    static Session instance;
    return instance;
}

Alias findAlias(const std::string& name) {
    for (Alias& alias : session().aliases()) {
        if (equalNoCase(alias.name, name)) return alias;
    }
    throw EngineError("Unknown database: " + name);
}

std::string driverSetting(const std::string& driver, const wchar_t* value) {
    const std::wstring key = kDriversKey + toWide(driver) + L"\\INIT";
    wchar_t data[MAX_PATH];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        throw EngineError("Driver " + driver + " is not configured: its setting " +
                          toNarrow(value) + " is missing");
    }
    return toNarrow(data);
}

std::unique_ptr<vorlix::VciLibrary> loadDriver(const std::string& driver) {
    const std::string driverLibrary = driverSetting(driver, L"DLL32");
    if (!equalNoCase(driverLibrary, kDriverLibrary)) {
        throw EngineError("Cannot load driver library " + driverLibrary + " of driver " + driver);
    }
    const std::string vendor = driverSetting(driver, L"VENDOR INIT");
    auto library = std::make_unique<vorlix::VciLibrary>();
    if (!library->load(toWide(vendor))) {
        throw EngineError("Cannot load the vendor client library " + vendor + " (error " +
                          std::to_string(GetLastError()) + ")");
    }
    return library;
}

}  // namespace

// Vendor calls answer a return code; anything but success becomes an
// EngineError carrying the vendor's own error text.
class VciCall {
public:
    VciCall(const vorlix::VciLibrary& vci, VCIError* error) : vci_(vci), error_(error) {}

    void operator()(int32_t status, const char* what) const {
        if (status == VCI_SUCCESS || status == VCI_SUCCESS_WITH_INFO) return;
        char text[1025] = "";
        int32_t code = 0;
        if (status != VCI_ERROR || !error_ ||
            vci_.VCIErrorGet(error_, 1, nullptr, &code, text, sizeof text, VCI_HTYPE_ERROR) !=
                VCI_SUCCESS) {
            std::snprintf(text, sizeof text, "vendor call failed with status %d",
                          static_cast<int>(status));
        }
        throw EngineError(std::string(what) + "\r\n" + toNarrow(toWide(text, CP_ACP)));
    }

private:
    const vorlix::VciLibrary& vci_;
    VCIError* error_;
};

}  // namespace dbengine

using namespace dbengine;

struct DbeDatabase {
    std::unique_ptr<vorlix::VciLibrary> vci;
    VCIEnv* environment = nullptr;
    VCIError* error = nullptr;
    VCIServer* server = nullptr;
    VCISvcCtx* context = nullptr;
    VCISession* userSession = nullptr;
    bool attached = false;
    bool begun = false;

    VciCall call() const { return VciCall(*vci, error); }

    ~DbeDatabase() {
        if (begun) vci->VCISessionEnd(context, error, userSession, VCI_DEFAULT);
        if (attached) vci->VCIServerDetach(server, error, VCI_DEFAULT);
        if (userSession) vci->VCIHandleFree(userSession, VCI_HTYPE_SESSION);
        if (context) vci->VCIHandleFree(context, VCI_HTYPE_SVCCTX);
        if (server) vci->VCIHandleFree(server, VCI_HTYPE_SERVER);
        if (error) vci->VCIHandleFree(error, VCI_HTYPE_ERROR);
        if (environment) vci->VCIHandleFree(environment, VCI_HTYPE_ENV);
    }
};

struct DbeQuery {
    DbeDatabase* database = nullptr;
    VCIStmt* statement = nullptr;
    std::vector<std::string> columns;
    std::vector<std::vector<char>> values;
    std::vector<int16_t> indicators;

    ~DbeQuery() {
        if (statement) database->vci->VCIHandleFree(statement, VCI_HTYPE_STMT);
    }
};

namespace dbengine {
namespace {

void allocate(DbeDatabase& database, void** handle, uint32_t type, const char* what) {
    database.call()(database.vci->VCIHandleAlloc(database.environment, handle, type, 0, nullptr),
                    what);
}

void setText(DbeDatabase& database, void* handle, uint32_t type, const std::string& text,
             uint32_t attribute) {
    database.call()(
        database.vci->VCIAttrSet(handle, type, const_cast<char*>(text.data()),
                                 static_cast<uint32_t>(text.size()), attribute, database.error),
        "Cannot set a connection parameter");
}

void connect(DbeDatabase& database, const Parameters& parameters, const std::string& alias) {
    DbeDatabase& d = database;
    const vorlix::VciLibrary& vci = *d.vci;
    if (vci.VCIEnvCreate(&d.environment, VCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0,
                         nullptr) != VCI_SUCCESS) {
        throw EngineError("The vendor client library cannot start");
    }
    allocate(d, reinterpret_cast<void**>(&d.error), VCI_HTYPE_ERROR,
             "Cannot allocate an error handle");
    allocate(d, reinterpret_cast<void**>(&d.server), VCI_HTYPE_SERVER,
             "Cannot allocate a server handle");
    allocate(d, reinterpret_cast<void**>(&d.context), VCI_HTYPE_SVCCTX,
             "Cannot allocate a service context");
    allocate(d, reinterpret_cast<void**>(&d.userSession), VCI_HTYPE_SESSION,
             "Cannot allocate a session");
    const std::string context = "Unable to connect to database " + alias;
    const std::string server = toNarrow(toWide(parameter(parameters, "SERVER NAME")), CP_ACP);
    d.call()(vci.VCIServerAttach(d.server, d.error, server.c_str(),
                                 static_cast<int32_t>(server.size()), VCI_DEFAULT),
             context.c_str());
    d.attached = true;
    d.call()(vci.VCIAttrSet(d.context, VCI_HTYPE_SVCCTX, d.server, 0, VCI_ATTR_SERVER, d.error),
             context.c_str());
    setText(d, d.userSession, VCI_HTYPE_SESSION,
            toNarrow(toWide(parameter(parameters, "USER NAME")), CP_ACP), VCI_ATTR_USERNAME);
    setText(d, d.userSession, VCI_HTYPE_SESSION,
            toNarrow(toWide(parameter(parameters, "PASSWORD")), CP_ACP), VCI_ATTR_PASSWORD);
    d.call()(vci.VCISessionBegin(d.context, d.error, d.userSession, VCI_CRED_RDBMS, VCI_DEFAULT),
             context.c_str());
    d.begun = true;
    d.call()(
        vci.VCIAttrSet(d.context, VCI_HTYPE_SVCCTX, d.userSession, 0, VCI_ATTR_SESSION, d.error),
        context.c_str());
}

void describe(DbeQuery& query) {
    DbeDatabase& d = *query.database;
    uint32_t count = 0;
    d.call()(d.vci->VCIAttrGet(query.statement, VCI_HTYPE_STMT, &count, nullptr,
                               VCI_ATTR_PARAM_COUNT, d.error),
             "Cannot describe the query");
    query.values.assign(count, std::vector<char>(kFieldCapacity));
    query.indicators.assign(count, 0);
    for (uint32_t position = 1; position <= count; ++position) {
        void* column = nullptr;
        d.call()(d.vci->VCIParamGet(query.statement, VCI_HTYPE_STMT, d.error, &column, position),
                 "Cannot describe the query");
        char* name = nullptr;
        uint32_t length = 0;
        const int32_t status =
            d.vci->VCIAttrGet(column, VCI_DTYPE_PARAM, &name, &length, VCI_ATTR_NAME, d.error);
        query.columns.emplace_back(name ? std::string(name, length) : std::string());
        d.vci->VCIDescriptorFree(column, VCI_DTYPE_PARAM);
        d.call()(status, "Cannot describe the query");
        VCIDefine* define = nullptr;
        d.call()(
            d.vci->VCIDefineByPos(query.statement, &define, d.error, position,
                                  query.values[position - 1].data(), kFieldCapacity, SQLT_STR,
                                  &query.indicators[position - 1], nullptr, nullptr, VCI_DEFAULT),
            "Cannot describe the query");
    }
}

void runQuery(DbeQuery& query, const std::wstring& sql) {
    DbeDatabase& d = *query.database;
    const std::string text = toNarrow(sql, CP_ACP);
    allocate(d, reinterpret_cast<void**>(&query.statement), VCI_HTYPE_STMT,
             "Cannot allocate a statement");
    d.call()(d.vci->VCIStmtPrepare(query.statement, d.error, text.c_str(),
                                   static_cast<uint32_t>(text.size()), VCI_NTV_SYNTAX, VCI_DEFAULT),
             "General SQL error.");
    uint16_t type = 0;
    d.call()(d.vci->VCIAttrGet(query.statement, VCI_HTYPE_STMT, &type, nullptr, VCI_ATTR_STMT_TYPE,
                               d.error),
             "General SQL error.");
    if (type != VCI_STMT_SELECT)
        throw EngineError("Only queries can be opened; this statement is no query");
    d.call()(d.vci->VCIStmtExecute(d.context, query.statement, d.error, 0, 0, nullptr, nullptr,
                                   VCI_DESCRIBE_ONLY),
             "General SQL error.");
    describe(query);
    d.call()(d.vci->VCIStmtExecute(d.context, query.statement, d.error, 0, 0, nullptr, nullptr,
                                   VCI_DEFAULT),
             "General SQL error.");
}

}  // namespace
}  // namespace dbengine

extern "C" {

DBEAPI int DbeGetLastError(wchar_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) return DBE_ERROR;
    const std::size_t count =
        std::min<std::size_t>(lastError.size(), static_cast<std::size_t>(capacity - 1));
    std::copy_n(lastError.begin(), count, buffer);
    buffer[count] = L'\0';
    return DBE_OK;
}

DBEAPI int DbeGetAliasNames(wchar_t* buffer, int capacity, int* required) {
    std::wstring names;
    if (guarded([&] {
            for (const Alias& alias : session().aliases()) names += toWide(alias.name) + L'\0';
        }) != DBE_OK) {
        return DBE_ERROR;
    }
    // copyOut adds the list's closing NUL.
    return copyOut(names, buffer, capacity, required);
}

DBEAPI int DbeAddAlias(const wchar_t* name, const wchar_t* driver, const wchar_t* parameters) {
    return guarded([&] {
        if (!name || !*name || !driver || !*driver)
            throw EngineError("An alias needs a name and a driver");
        session().add(
            {toNarrow(name), toNarrow(driver), parseParameterList(splitList(parameters))});
    });
}

DBEAPI int DbeSaveConfigFile(void) {
    return guarded([] { session().save(); });
}

DBEAPI int DbeOpenDatabase(const wchar_t* alias, const wchar_t* parameters,
                           DbeDatabase** database) {
    return guarded([&] {
        if (!alias || !database) throw EngineError("DbeOpenDatabase needs an alias and a result");
        *database = nullptr;
        const Alias found = findAlias(toNarrow(alias));
        auto opened = std::make_unique<DbeDatabase>();
        opened->vci = loadDriver(found.driver);
        connect(*opened, merged(found.parameters, parseParameterList(splitList(parameters))),
                found.name);
        *database = opened.release();
    });
}

DBEAPI void DbeCloseDatabase(DbeDatabase* database) { delete database; }

DBEAPI int DbeOpenQuery(DbeDatabase* database, const wchar_t* sql, DbeQuery** query) {
    return guarded([&] {
        if (!database || !sql || !query)
            throw EngineError("DbeOpenQuery needs a database, a text and a result");
        *query = nullptr;
        auto opened = std::make_unique<DbeQuery>();
        opened->database = database;
        runQuery(*opened, sql);
        *query = opened.release();
    });
}

DBEAPI int DbeNextRow(DbeQuery* query) {
    int32_t status = VCI_SUCCESS;
    const int result = guarded([&] {
        if (!query) throw EngineError("DbeNextRow needs a query");
        DbeDatabase& d = *query->database;
        status = d.vci->VCIStmtFetch(query->statement, d.error, 1, VCI_FETCH_NEXT, VCI_DEFAULT);
        if (status != VCI_NO_DATA) d.call()(status, "Cannot read the next row");
    });
    return result == DBE_OK && status == VCI_NO_DATA ? DBE_END_OF_ROWS : result;
}

DBEAPI int DbeGetFieldText(DbeQuery* query, const wchar_t* column, wchar_t* buffer, int capacity,
                           int* required) {
    std::wstring value;
    if (guarded([&] {
            if (!query || !column) throw EngineError("DbeGetFieldText needs a query and a column");
            const std::string name = toNarrow(column);
            for (std::size_t i = 0; i < query->columns.size(); ++i) {
                if (!equalNoCase(query->columns[i], name)) continue;
                if (query->indicators[i] != -1) value = toWide(query->values[i].data(), CP_ACP);
                return;
            }
            throw EngineError("Field '" + name + "' not found");
        }) != DBE_OK) {
        return DBE_ERROR;
    }
    return copyOut(value, buffer, capacity, required);
}

DBEAPI void DbeCloseQuery(DbeQuery* query) { delete query; }

}  // extern "C"
