#include "launcher/database_engine.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "launcher/engine_parameters.h"
#include "launcher/win_text.h"

namespace launcher {
namespace {

constexpr wchar_t kEngineLibrary[] = L"IDAPI32.DLL";
constexpr wchar_t kEngineKey[] = L"SOFTWARE\\Borland\\Database Engine";
constexpr wchar_t kEngineDirectoryValue[] = L"DLLPATH";

// clang-format off
#define ENGINE_CALLS(X) \
    X(DbiInitFn) X(DbiExit) X(DbiOpenDatabaseList) X(DbiAddAlias) X(DbiCfgSave) \
    X(DbiOpenDatabase) X(DbiCloseDatabase) X(DbiQExecDirect) X(DbiGetCursorProps) \
    X(DbiGetFieldDescs) X(DbiGetNextRecord) X(DbiGetField) X(DbiCloseCursor) \
    X(DbiGetErrorInfo) X(DbiGetErrorString)
// clang-format on

// The directories the engine's installation names ("DLLPATH", several
// separated by semicolons), in order.
std::vector<std::wstring> registeredDirectories() {
    wchar_t data[2048];
    DWORD size = sizeof data;
    // An expandable value comes back expanded.
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kEngineKey, kEngineDirectoryValue, RRF_RT_REG_SZ, nullptr,
                     data, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<std::wstring> directories;
    std::wstring list = data;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t end = std::min(list.find(L';', start), list.size());
        if (end > start) directories.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return directories;
}

// The engine where its installation says, else wherever the system's search
// for libraries finds it.
HMODULE loadEngine() {
    for (std::wstring directory : registeredDirectories()) {
        if (directory.back() != L'\\') directory += L'\\';
        const std::wstring path = directory + kEngineLibrary;
        if (HMODULE engine = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
            return engine;
        }
    }
    return LoadLibraryW(kEngineLibrary);
}

template <std::size_t Size>
std::string boundedText(const char (&text)[Size]) {
    return std::string(text, strnlen(text, Size));
}

}  // namespace

struct DatabaseEngine::Calls {
#define ENGINE_DECLARE(name) decltype(&::name) name = nullptr;
    ENGINE_CALLS(ENGINE_DECLARE)
#undef ENGINE_DECLARE

    void resolve(HMODULE engine) {
#define ENGINE_RESOLVE(name)                                                                      \
    name =                                                                                        \
        reinterpret_cast<decltype(name)>(reinterpret_cast<void*>(GetProcAddress(engine, #name))); \
    if (!name) throw std::runtime_error("The database engine lacks " #name);
        ENGINE_CALLS(ENGINE_RESOLVE)
#undef ENGINE_RESOLVE
    }

    // Throws the engine's message and contexts for the failure that gave `result`.
    void check(DBIResult result) const {
        if (result == DBIERR_NONE) return;
        throw std::runtime_error(toNarrow(toWide(errorText(result), CP_ACP)));
    }

    std::string errorText(DBIResult result) const {
        DBIErrInfo info{};
        if (DbiGetErrorInfo(TRUE, &info) != DBIERR_NONE || info.iError != result) {
            DBIMSG message = "";
            DbiGetErrorString(result, message);
            info = {};
            std::memcpy(info.szErrCode, message, sizeof message);
        }
        std::string text = boundedText(info.szErrCode);
        for (const DBIMSG* context :
             {&info.szContext1, &info.szContext2, &info.szContext3, &info.szContext4}) {
            if ((*context)[0]) text += "\r\n" + boundedText(*context);
        }
        if (text.empty()) text = "Database engine error " + std::to_string(result);
        return text;
    }
};

namespace {

// An open cursor, closed when it goes out of scope.
class Cursor {
public:
    Cursor(const DatabaseEngine::Calls& calls, hDBICur handle) : calls_(calls), handle_(handle) {}
    ~Cursor() { calls_.DbiCloseCursor(&handle_); }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    hDBICur get() const { return handle_; }

    // Copies the next record into `record`; false after the last one.
    bool next(void* record) const {
        const DBIResult result =
            calls_.DbiGetNextRecord(handle_, dbiNOLOCK, static_cast<pBYTE>(record), nullptr);
        if (result == DBIERR_EOF) return false;
        calls_.check(result);
        return true;
    }

private:
    const DatabaseEngine::Calls& calls_;
    hDBICur handle_;
};

const FLDDesc& fieldNamed(const std::vector<FLDDesc>& fields, const char* column) {
    for (const FLDDesc& field : fields) {
        if (lstrcmpiA(boundedText(field.szName).c_str(), column) == 0) return field;
    }
    throw std::runtime_error(std::string("Field '") + column + "' not found");
}

// The field's text in the record; a blank field reads as empty text.
std::wstring fieldText(const DatabaseEngine::Calls& calls, const Cursor& cursor,
                       const std::vector<FLDDesc>& fields, std::vector<BYTE>& record,
                       const char* column) {
    const FLDDesc& field = fieldNamed(fields, column);
    if (field.iFldType != fldZSTRING) {
        throw std::runtime_error(std::string("Field '") + column + "' is not text");
    }
    std::vector<BYTE> value(field.iLen + 1u, 0);
    BOOL blank = FALSE;
    calls.check(
        calls.DbiGetField(cursor.get(), field.iFldNum, record.data(), value.data(), &blank));
    return blank ? std::wstring() : toWide(reinterpret_cast<const char*>(value.data()), CP_ACP);
}

}  // namespace

DatabaseEngine::DatabaseEngine() : library_(loadEngine()), calls_(new Calls) {
    launcher::check(library_.valid(), "cannot load the database engine IDAPI32.DLL");
    calls_->resolve(library_.get());
    calls_->check(calls_->DbiInitFn(DBIINTFVER, nullptr));
    started_ = true;
}

DatabaseEngine::~DatabaseEngine() {
    if (database_) calls_->DbiCloseDatabase(&database_);
    if (started_) calls_->DbiExit();
}

std::vector<std::wstring> DatabaseEngine::aliasNames() {
    hDBICur handle = nullptr;
    calls_->check(calls_->DbiOpenDatabaseList(&handle));
    const Cursor list(*calls_, handle);
    std::vector<std::wstring> names;
    DBDesc description;
    while (list.next(&description)) {
        names.push_back(toWide(boundedText(description.szName), CP_OEMCP));
    }
    return names;
}

void DatabaseEngine::addAlias(const std::wstring& name, const std::wstring& driver,
                              const NamedValues& parameters) {
    std::string alias = toNarrow(name, CP_OEMCP);
    std::string driverType = toNarrow(driver, CP_OEMCP);
    std::string text = aliasParameterText(parameters);
    calls_->check(calls_->DbiAddAlias(nullptr, alias.data(), driverType.data(), text.data(), TRUE));
}

void DatabaseEngine::saveConfigFile() { calls_->check(calls_->DbiCfgSave(nullptr, nullptr, TRUE)); }

void DatabaseEngine::connect(const std::wstring& alias, const NamedValues& parameters) {
    std::string name = toNarrow(alias, CP_OEMCP);
    const auto password = std::find_if(parameters.begin(), parameters.end(), [](const auto& entry) {
        return entry.first == L"PASSWORD";
    });
    std::string passwordText =
        password == parameters.end() ? std::string() : toNarrow(password->second, CP_ACP);
    OptionalFields fields(parameters);
    hDBIDb database = nullptr;
    calls_->check(calls_->DbiOpenDatabase(name.data(), nullptr, dbiREADWRITE, dbiOPENSHARED,
                                          passwordText.data(), fields.count(), fields.descriptors(),
                                          fields.values(), &database));
    if (database_) calls_->DbiCloseDatabase(&database_);
    database_ = database;
}

std::optional<ReleaseRow> DatabaseEngine::firstReleaseRow(const std::wstring& sql) {
    if (!database_) throw std::runtime_error("Database DBtbO is not connected");
    std::string query = toNarrow(sql, CP_ACP);
    hDBICur handle = nullptr;
    calls_->check(calls_->DbiQExecDirect(database_, qrylangSQL, query.data(), &handle));
    const Cursor cursor(*calls_, handle);
    CURProps properties;
    calls_->check(calls_->DbiGetCursorProps(handle, &properties));
    std::vector<FLDDesc> fields(properties.iFields);
    calls_->check(calls_->DbiGetFieldDescs(handle, fields.data()));
    std::vector<BYTE> record(properties.iRecBufSize);
    if (!cursor.next(record.data())) return std::nullopt;
    const auto text = [&](const char* column) {
        return fieldText(*calls_, cursor, fields, record, column);
    };
    return ReleaseRow{text("EXFILE"), text("VERSON"), text("EXSIZE"), text("INDATE"),
                      text("UPTEXT")};
}

}  // namespace launcher
