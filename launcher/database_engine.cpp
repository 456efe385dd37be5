#include "launcher/database_engine.h"

#include <windows.h>

#include <stdexcept>

#include "launcher/win_text.h"

namespace launcher {
namespace {

constexpr wchar_t kEngineLibrary[] = L"dbengine.dll";

template <typename Function>
void resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!function) throw std::runtime_error(std::string("The database engine lacks ") + name);
}

std::wstring parameterText(const NamedValues& parameters) {
    std::wstring text;
    for (const auto& [name, value] : parameters) text += name + L"=" + value + L'\0';
    return text + L'\0';
}

}  // namespace

struct DatabaseEngine::Calls {
    decltype(&DbeGetLastError) getLastError;
    decltype(&DbeGetAliasNames) getAliasNames;
    decltype(&DbeAddAlias) addAlias;
    decltype(&DbeSaveConfigFile) saveConfigFile;
    decltype(&DbeOpenDatabase) openDatabase;
    decltype(&DbeCloseDatabase) closeDatabase;
    decltype(&DbeOpenQuery) openQuery;
    decltype(&DbeNextRow) nextRow;
    decltype(&DbeGetFieldText) getFieldText;
    decltype(&DbeCloseQuery) closeQuery;

    // Throws the engine's text for the failure that gave `status`.
    void check(int status) const {
        if (status == DBE_OK) return;
        wchar_t text[2048] = L"";
        getLastError(text, 2048);
        throw std::runtime_error(toNarrow(text));
    }
};

DatabaseEngine::DatabaseEngine() : library_(LoadLibraryW(kEngineLibrary)), calls_(new Calls) {
    launcher::check(library_.valid(), "cannot load the database engine dbengine.dll");
    HMODULE m = library_.get();
    resolve(m, "DbeGetLastError", calls_->getLastError);
    resolve(m, "DbeGetAliasNames", calls_->getAliasNames);
    resolve(m, "DbeAddAlias", calls_->addAlias);
    resolve(m, "DbeSaveConfigFile", calls_->saveConfigFile);
    resolve(m, "DbeOpenDatabase", calls_->openDatabase);
    resolve(m, "DbeCloseDatabase", calls_->closeDatabase);
    resolve(m, "DbeOpenQuery", calls_->openQuery);
    resolve(m, "DbeNextRow", calls_->nextRow);
    resolve(m, "DbeGetFieldText", calls_->getFieldText);
    resolve(m, "DbeCloseQuery", calls_->closeQuery);
}

DatabaseEngine::~DatabaseEngine() {
    if (database_) calls_->closeDatabase(database_);
}

std::vector<std::wstring> DatabaseEngine::aliasNames() {
    int required = 0;
    calls_->getAliasNames(nullptr, 0, &required);
    std::wstring list(static_cast<std::size_t>(required), L'\0');
    calls_->check(calls_->getAliasNames(list.data(), required, &required));
    std::vector<std::wstring> names;
    for (const wchar_t* at = list.c_str(); *at; at += wcslen(at) + 1) names.emplace_back(at);
    return names;
}

void DatabaseEngine::addAlias(const std::wstring& name, const std::wstring& driver,
                              const NamedValues& parameters) {
    calls_->check(
        calls_->addAlias(name.c_str(), driver.c_str(), parameterText(parameters).c_str()));
}

void DatabaseEngine::saveConfigFile() { calls_->check(calls_->saveConfigFile()); }

void DatabaseEngine::connect(const std::wstring& alias, const NamedValues& parameters) {
    DbeDatabase* database = nullptr;
    calls_->check(
        calls_->openDatabase(alias.c_str(), parameterText(parameters).c_str(), &database));
    if (database_) calls_->closeDatabase(database_);
    database_ = database;
}

std::wstring DatabaseEngine::readField(DbeQuery* query, const wchar_t* column) {
    int required = 0;
    calls_->getFieldText(query, column, nullptr, 0, &required);
    if (required == 0) calls_->check(DBE_ERROR);
    std::wstring value(static_cast<std::size_t>(required), L'\0');
    calls_->check(calls_->getFieldText(query, column, value.data(), required, &required));
    value.resize(static_cast<std::size_t>(required - 1));
    return value;
}

std::optional<ReleaseRow> DatabaseEngine::firstReleaseRow(const std::wstring& sql) {
    if (!database_) throw std::runtime_error("Database DBtbO is not connected");
    DbeQuery* opened = nullptr;
    calls_->check(calls_->openQuery(database_, sql.c_str(), &opened));
    const std::unique_ptr<DbeQuery, decltype(calls_->closeQuery)> query(opened, calls_->closeQuery);
    const int status = calls_->nextRow(query.get());
    if (status == DBE_END_OF_ROWS) return std::nullopt;
    calls_->check(status);
    return ReleaseRow{readField(query.get(), L"EXFILE"), readField(query.get(), L"VERSON"),
                      readField(query.get(), L"EXSIZE"), readField(query.get(), L"INDATE"),
                      readField(query.get(), L"UPTEXT")};
}

}  // namespace launcher
