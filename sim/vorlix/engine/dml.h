#pragma once
// Statements that change user tables: CREATE TABLE, INSERT, UPDATE and
// DELETE. Each commits at once, so COMMIT finds nothing left to do.

#include <string>

#include "sim/vorlix/engine/query.h"
#include "sim/vorlix/engine/row_store.h"

namespace vorlix {

// Runs one such statement (or COMMIT); returns the number of rows it changed.
// Throws DbError for anything the server would refuse (900 for other statements).
size_t runDml(const std::string& text, InstanceState& state, Storage& storage, TableSource& source,
              const Binds& binds);

// A user table's rows as a query sees them, read from its datafile.
Table readUserTable(InstanceState& state, Storage& storage, const UserTable& table);

}  // namespace vorlix
