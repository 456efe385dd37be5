// IDAPI32.DLL: the engine's exported calls. Aliases live in the configuration
// file the engine's registry settings name; databases of the VORLIX driver
// are reached through the vendor client library of its "VENDOR INIT" setting.

#include "interfaces/bde/idapi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "sim/bde/alias_config.h"
#include "sim/bde/cursors.h"
#include "sim/bde/engine_error.h"
#include "sim/bde/vendor_connection.h"
#include "support/code_page_text.h"
#include "support/unique_handle.h"

namespace idapi {
namespace {

constexpr wchar_t kEngineKey[] = L"SOFTWARE\\Borland\\Database Engine";
constexpr wchar_t kConfigFileValue[] = L"CONFIGFILE01";
constexpr wchar_t kDefaultConfigFile[] = L"IDAPI.CFG";
constexpr wchar_t kDriversKey[] = L"SOFTWARE\\Borland\\Database Engine\\Settings\\DRIVERS\\";
// The one driver library this engine carries.
constexpr char kDriverLibrary[] = "SQLVLX8.DLL";

using support::toNarrow;
using support::toWide;

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

std::optional<std::wstring> registryText(const std::wstring& key, const wchar_t* value) {
    wchar_t data[MAX_PATH];
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

// The file DbiInit was given, else the registered one, else IDAPI.CFG beside the engine.
std::wstring configPath(const DBIEnv* environment) {
    if (environment && environment->szIniFile[0]) {
        return toWide(environment->szIniFile, CP_ACP);
    }
    return registryText(kEngineKey, kConfigFileValue)
        .value_or(moduleDirectory() + kDefaultConfigFile);
}

std::optional<std::string> readFile(const std::wstring& path) {
    support::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::nullopt;
        throw EngineError(DBIERR_SYSFILEOPEN, {toNarrow(path, CP_ACP)});
    }
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        text.append(chunk, read);
    return text;
}

// A new file beside the old one, then renamed over it.
void writeFile(const std::wstring& path, const std::string& text) {
    const std::wstring temporary = path + L".new";
    {
        support::KernelHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file ||
            !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) ||
            written != text.size()) {
            throw EngineError(DBIERR_CFGCANNOTWRITE, {toNarrow(path, CP_ACP)});
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        throw EngineError(DBIERR_CFGCANNOTWRITE, {toNarrow(path, CP_ACP)});
    }
}

std::string driverSetting(const std::string& driver, const wchar_t* value) {
    const std::optional<std::wstring> data =
        registryText(kDriversKey + toWide(driver, CP_OEMCP) + L"\\INIT", value);
    if (!data) {
        throw EngineError(DBIERR_UNKNOWNDRIVER,
                          {driver, "Driver " + driver + " is not configured: its setting " +
                                       toNarrow(value, CP_ACP) + " is missing"});
    }
    return toNarrow(*data, CP_ACP);
}

std::unique_ptr<vorlix::VciLibrary> loadDriver(const std::string& driver) {
    const std::string driverLibrary = driverSetting(driver, L"DLL32");
    if (!equalNoCase(driverLibrary, kDriverLibrary)) {
        throw EngineError(DBIERR_CANTLOADLIBRARY, {driverLibrary});
    }
    const std::string vendor = driverSetting(driver, L"VENDOR INIT");
    auto library = std::make_unique<vorlix::VciLibrary>();
    if (!library->load(toWide(vendor, CP_ACP))) {
        throw EngineError(DBIERR_CANTLOADLIBRARY,
                          {vendor, "error " + std::to_string(GetLastError())});
    }
    return library;
}

std::string boundedText(const char* text, std::size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

// DbiOpenDatabase's optional fields: NUL-terminated texts at their offsets.
Parameters optionalParameters(UINT16 count, const FLDDesc* fields, const BYTE* values) {
    Parameters parameters;
    if (count == 0) return parameters;
    if (!fields || !values) throw EngineError(DBIERR_INVALIDPARAM);
    for (const FLDDesc* field = fields; field != fields + count; ++field) {
        if (field->iFldType != fldZSTRING) throw EngineError(DBIERR_INVALIDPARAM, {field->szName});
        parameters.emplace_back(
            boundedText(field->szName, sizeof field->szName),
            boundedText(reinterpret_cast<const char*>(values + field->iOffset), field->iLen));
    }
    return parameters;
}

const std::vector<Column> kDatabaseListColumns = {
    {"NAME", DBIMAXNAMELEN, false},
    {"TEXT", DBIMAXNAMELEN, false},
    {"PHYNAME", DBIMAXPATHLEN, false},
    {"DBTYPE", DBIMAXNAMELEN, false},
};
static_assert(sizeof(DBDesc) == (DBIMAXNAMELEN + 1) * 3 + DBIMAXPATHLEN + 1);

struct Database {
    std::unique_ptr<VendorConnection> connection;
};

struct OpenCursor {
    std::unique_ptr<Cursor> cursor;
    Database* database;  // null for a list
};

// The process's one engine session.
class Session {
public:
    void initialize(const DBIEnv* environment) {
        if (initialized_) return;
        const std::wstring path = configPath(environment);
        try {
            aliases_ = parseConfig(readFile(path).value_or(""));
        } catch (const ConfigError& error) {
            throw EngineError(DBIERR_SYSFILEIO, {toNarrow(path, CP_ACP), error.what()});
        }
        sessionAliases_.clear();
        configPath_ = path;
        initialized_ = true;
    }

    void exit() {
        checkInitialized();
        cursors_.clear();
        databases_.clear();
        initialized_ = false;
    }

    void addAlias(Alias alias, bool persistent) {
        checkInitialized();
        for (const Alias& existing : allAliases()) {
            if (equalNoCase(existing.name, alias.name)) {
                throw EngineError(DBIERR_NAMENOTUNIQUE,
                                  {"Duplicate database alias name: " + alias.name + " (exists as " +
                                   existing.name + ")"});
            }
        }
        (persistent ? aliases_ : sessionAliases_).push_back(std::move(alias));
    }

    void save(const char* file) {
        checkInitialized();
        writeFile(file ? toWide(file, CP_ACP) : configPath_, formatConfig(aliases_));
    }

    hDBICur openDatabaseList() {
        checkInitialized();
        std::vector<Row> rows;
        for (const Alias& alias : allAliases()) {
            rows.push_back({alias.name, std::string(), parameter(alias.parameters, "SERVER NAME"),
                            alias.driver});
        }
        return track(std::make_unique<ListCursor>(kDatabaseListColumns, std::move(rows)), nullptr);
    }

    hDBIDb openDatabase(const std::string& name, const Parameters& given, const char* password) {
        checkInitialized();
        const Alias alias = findAlias(name);
        const Parameters parameters = merged(alias.parameters, given);
        auto database = std::make_unique<Database>();
        database->connection = std::make_unique<VendorConnection>(
            loadDriver(alias.driver), alias.name, parameters,
            password && *password ? std::string(password) : parameter(parameters, "PASSWORD"));
        Database* handle = database.get();
        databases_.emplace(handle, std::move(database));
        return reinterpret_cast<hDBIDb>(handle);
    }

    void closeDatabase(hDBIDb handle) {
        Database& database = databaseOf(handle);
        std::erase_if(cursors_,
                      [&](const auto& entry) { return entry.second.database == &database; });
        databases_.erase(&database);
    }

    hDBICur query(hDBIDb handle, const std::string& sql) {
        Database& database = databaseOf(handle);
        return track(database.connection->query(sql), &database);
    }

    Cursor& cursorOf(hDBICur handle) {
        checkInitialized();
        const auto found = cursors_.find(reinterpret_cast<Cursor*>(handle));
        if (found == cursors_.end()) throw EngineError(DBIERR_INVALIDHNDL);
        return *found->second.cursor;
    }

    void closeCursor(hDBICur handle) { cursors_.erase(&cursorOf(handle)); }

private:
    void checkInitialized() const {
        if (!initialized_) throw EngineError(DBIERR_NOTINITIALIZED);
    }

    std::vector<Alias> allAliases() const {
        std::vector<Alias> all = aliases_;
        all.insert(all.end(), sessionAliases_.begin(), sessionAliases_.end());
        return all;
    }

    Alias findAlias(const std::string& name) const {
        for (const Alias& alias : allAliases()) {
            if (equalNoCase(alias.name, name)) return alias;
        }
        throw EngineError(DBIERR_UNKNOWNDB, {"Unknown database: " + name});
    }

    Database& databaseOf(hDBIDb handle) {
        checkInitialized();
        const auto found = databases_.find(reinterpret_cast<Database*>(handle));
        if (found == databases_.end()) throw EngineError(DBIERR_INVALIDHNDL);
        return *found->second;
    }

    hDBICur track(std::unique_ptr<Cursor> cursor, Database* database) {
        Cursor* handle = cursor.get();
        cursors_.emplace(handle, OpenCursor{std::move(cursor), database});
        return reinterpret_cast<hDBICur>(handle);
    }

    bool initialized_ = false;
    std::wstring configPath_;
    std::vector<Alias> aliases_;         // saved by DbiCfgSave
    std::vector<Alias> sessionAliases_;  // added for this session only
    std::map<Database*, std::unique_ptr<Database>> databases_;
    std::map<Cursor*, OpenCursor> cursors_;
};

std::mutex sessionMutex;

Session& theSession() {
    static Session session;
    return session;
}

// Runs `work` on the session under its lock, as one guarded engine call.
template <typename Work>
DBIResult withSession(Work work) {
    std::lock_guard lock(sessionMutex);
    return guarded([&] { work(theSession()); });
}

void require(bool condition) {
    if (!condition) throw EngineError(DBIERR_INVALIDPARAM);
}

}  // namespace
}  // namespace idapi

using idapi::EngineError;
using idapi::require;
using idapi::Session;
using idapi::withSession;

extern "C" {

DBIResult DBIFN DbiInitFn(UINT16, pDBIEnv pEnv) {
    return withSession([&](Session& session) { session.initialize(pEnv); });
}

DBIResult DBIFN DbiExit(void) {
    return withSession([](Session& session) { session.exit(); });
}

DBIResult DBIFN DbiOpenDatabaseList(phDBICur phCur) {
    return withSession([&](Session& session) {
        require(phCur);
        *phCur = session.openDatabaseList();
    });
}

DBIResult DBIFN DbiAddAlias(hDBICfg hCfg, pCHAR pszAliasName, pCHAR pszDriverType, pCHAR pszParams,
                            BOOL bPersist) {
    return withSession([&](Session& session) {
        if (hCfg) throw EngineError(DBIERR_NOTSUPPORTED);
        require(pszAliasName && *pszAliasName);
        idapi::Parameters parameters;
        try {
            parameters = idapi::parseAliasParameters(pszParams ? pszParams : "");
        } catch (const idapi::ConfigError& error) {
            throw EngineError(DBIERR_INVALIDPARAM, {error.what()});
        }
        session.addAlias({pszAliasName, pszDriverType ? pszDriverType : "STANDARD", parameters},
                         bPersist);
    });
}

DBIResult DBIFN DbiCfgSave(hDBICfg hCfg, pCHAR pszCfgFile, BOOL) {
    return withSession([&](Session& session) {
        if (hCfg) throw EngineError(DBIERR_NOTSUPPORTED);
        session.save(pszCfgFile);
    });
}

DBIResult DBIFN DbiOpenDatabase(pCHAR pszDbName, pCHAR, DBIOpenMode, DBIShareMode,
                                pCHAR pszPassword, UINT16 iOptFlds, pFLDDesc pOptFldDesc,
                                pBYTE pOptParams, phDBIDb phDb) {
    return withSession([&](Session& session) {
        require(phDb);
        *phDb = nullptr;
        // The standard database of local tables is not carried.
        if (!pszDbName) throw EngineError(DBIERR_NOTSUPPORTED);
        *phDb = session.openDatabase(
            pszDbName, idapi::optionalParameters(iOptFlds, pOptFldDesc, pOptParams), pszPassword);
    });
}

DBIResult DBIFN DbiCloseDatabase(phDBIDb phDb) {
    return withSession([&](Session& session) {
        require(phDb);
        session.closeDatabase(*phDb);
        *phDb = nullptr;
    });
}

DBIResult DBIFN DbiQExecDirect(hDBIDb hDb, DBIQryLang eQryLang, pCHAR pszQuery, phDBICur phCur) {
    return withSession([&](Session& session) {
        require(pszQuery && phCur);
        *phCur = nullptr;
        if (eQryLang != qrylangSQL) throw EngineError(DBIERR_NOTSUPPORTED);
        *phCur = session.query(hDb, pszQuery);
    });
}

DBIResult DBIFN DbiGetCursorProps(hDBICur hCursor, pCURProps pcurProps) {
    return withSession([&](Session& session) {
        require(pcurProps);
        *pcurProps = session.cursorOf(hCursor).properties();
    });
}

DBIResult DBIFN DbiGetFieldDescs(hDBICur hCursor, pFLDDesc pfldDesc) {
    return withSession([&](Session& session) {
        require(pfldDesc);
        const std::vector<FLDDesc>& fields = session.cursorOf(hCursor).fields();
        std::copy(fields.begin(), fields.end(), pfldDesc);
    });
}

DBIResult DBIFN DbiGetNextRecord(hDBICur hCursor, DBILockType, pBYTE pRecBuff,
                                 pRECProps precProps) {
    return withSession([&](Session& session) {
        if (!session.cursorOf(hCursor).next(pRecBuff)) throw EngineError(DBIERR_EOF);
        if (precProps) *precProps = {};
    });
}

DBIResult DBIFN DbiGetField(hDBICur hCursor, UINT16 iField, pBYTE pRecBuff, pBYTE pDest,
                            pBOOL pbBlank) {
    return withSession([&](Session& session) {
        session.cursorOf(hCursor).field(iField, pRecBuff, pDest, pbBlank);
    });
}

DBIResult DBIFN DbiCloseCursor(phDBICur phCursor) {
    return withSession([&](Session& session) {
        require(phCursor);
        session.closeCursor(*phCursor);
        *phCursor = nullptr;
    });
}

// The error calls report the last failure; they do not reset it.
DBIResult DBIFN DbiGetErrorInfo(BOOL, pDBIErrInfo pErrInfo) {
    if (!pErrInfo) return DBIERR_INVALIDPARAM;
    idapi::describeLastError(*pErrInfo);
    return DBIERR_NONE;
}

DBIResult DBIFN DbiGetErrorString(DBIResult rslt, pCHAR pszError) {
    if (!pszError) return DBIERR_INVALIDPARAM;
    const char* text = idapi::messageOf(rslt);
    const std::size_t length = std::min<std::size_t>(std::strlen(text), DBIMAXMSGLEN);
    std::memcpy(pszError, text, length);
    pszError[length] = '\0';
    return DBIERR_NONE;
}

}  // extern "C"
