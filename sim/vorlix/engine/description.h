#pragma once
// An instance described in a short JSON text, for tests and the demo: its
// tablespaces and files, log mode, destinations, parameters, users and tables,
// and the state to bring it to.

#include <map>
#include <string>
#include <vector>

#include "sim/vorlix/engine/state.h"
#include "sim/vorlix/engine/storage.h"
#include "sim/vorlix/engine/value.h"

namespace vorlix {

struct Description {
    InstanceState state;      // status Down, files not yet created
    std::string targetState;  // down, starting, started, mounted, open, readonly
    bool serviceRunning = true;
    int archivedLogs = 0;                     // log switches to make once open
    std::vector<std::string> backupPieces;    // created in the recovery area
    std::vector<std::string> datafileCopies;  // created in the recovery area
    std::vector<std::string> netServiceNames;
    std::map<std::string, std::vector<std::vector<Value>>> tableRows;  // by table name
};

// Relative file names are taken inside `directory`. Throws std::exception on bad input.
Description parseDescription(const std::string& json, const std::string& sid,
                             const std::string& directory);

// Creates the instance's files and writes the described rows into the tables'
// datafiles, logged as any change, then checkpoints so the headers cover them.
void createDescribedFiles(Description& description, Storage& storage);

// `name` inside `directory` unless it is already a full path.
std::string inside(const std::string& directory, const std::string& name);

}  // namespace vorlix
