#pragma once
// The database engine as the launcher uses it: aliases, one connection and
// the version query. The engine library is installed beside the launcher and
// loaded at run time, so a missing engine is an error box, not a dead start.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "launcher/release_record.h"
#include "launcher/settings.h"
#include "interfaces/bde/dbengine.h"
#include "support/unique_handle.h"

namespace launcher {

class DatabaseEngine {
public:
    // Loads the engine library; throws std::runtime_error when it is missing.
    DatabaseEngine();
    ~DatabaseEngine();
    DatabaseEngine(const DatabaseEngine&) = delete;
    DatabaseEngine& operator=(const DatabaseEngine&) = delete;

    // Every call below throws std::runtime_error with the engine's own text.
    std::vector<std::wstring> aliasNames();
    void addAlias(const std::wstring& name, const std::wstring& driver,
                  const NamedValues& parameters);
    void saveConfigFile();

    void connect(const std::wstring& alias, const NamedValues& parameters);
    bool connected() const { return database_ != nullptr; }

    // The first row of the query, or nothing when it has no rows.
    std::optional<ReleaseRow> firstReleaseRow(const std::wstring& sql);

private:
    struct Calls;

    std::wstring readField(DbeQuery* query, const wchar_t* column);

    support::ModuleHandle library_;
    std::unique_ptr<Calls> calls_;
    DbeDatabase* database_ = nullptr;
};

}  // namespace launcher
