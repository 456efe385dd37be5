#pragma once
// Setting up the database engine when the window is created: its registry
// settings, the delivery database's alias, and the connection.

#include "launcher/database_engine.h"
#include "launcher/settings.h"

namespace launcher {

// Writes the engine's driver and system settings under HKEY_LOCAL_MACHINE,
// whatever they held before. Throws Win32Error.
void writeEngineSettings();

// Adds the alias "TRVN_DATA" and saves the engine's configuration unless an
// alias of exactly that name (letter case included) exists, whatever its
// parameters. Throws with the engine's text when the engine refuses.
void ensureDeliveryAlias(DatabaseEngine& engine, const Settings& settings);

void connectDeliveryDatabase(DatabaseEngine& engine, const Settings& settings);

}  // namespace launcher
