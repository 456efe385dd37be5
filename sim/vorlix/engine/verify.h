#pragma once
// A check of an instance's files against its control file (the state): what
// tests and the demo use to tell a database that holds its data from one that
// was put together from unusable copies.

#include <string>
#include <vector>

#include "sim/vorlix/engine/state.h"
#include "sim/vorlix/engine/storage.h"

namespace vorlix {

// One line per problem found; empty when the files agree with the state.
std::vector<std::string> verifyInstance(const InstanceState& state, Storage& storage);

}  // namespace vorlix
