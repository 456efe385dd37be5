#pragma once
// The database engine as the launcher uses it, through the engine's own C
// interface (IDAPI32.DLL): aliases, one connection and the version query.
// The engine is loaded at run time from where its installation says, so a
// missing engine is an error box, not a dead start.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/bde/idapi.h"
#include "launcher/release_record.h"
#include "launcher/settings.h"
#include "support/unique_handle.h"

namespace launcher {

class DatabaseEngine {
public:
    // Loads and starts the engine; throws std::runtime_error when it is
    // missing or refuses to start.
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

    struct Calls;

private:
    support::ModuleHandle library_;
    std::unique_ptr<Calls> calls_;
    bool started_ = false;
    hDBIDb database_ = nullptr;
};

}  // namespace launcher
