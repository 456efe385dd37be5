#pragma once
// The database client library, loaded once by name through the DLL search
// order (its installation folder is on the path) and kept for the process.

#include "interfaces/vorlix/vci_library.h"

namespace snapscribe {

// Null when "VCI.dll" or one of its calls cannot be found.
const vorlix::VciLibrary* loadVci();

// The loaded library; only valid once loadVci() has succeeded.
const vorlix::VciLibrary& vci();

}  // namespace snapscribe
