#pragma once
// The tables a query can name: the instance's v$ views, built from its state
// (and, for datafile headers, from the files), DUAL, and ordinary tables.

#include "sim/vorlix/engine/lifecycle.h"
#include "sim/vorlix/engine/query.h"

namespace vorlix {

extern const char* const kVersionBanner;

class Catalog : public TableSource {
public:
    Catalog(InstanceState& state, Instance& instance) : s_(state), instance_(instance) {}
    Table table(const std::string& name) override;

private:
    Table view(const std::string& name);
    Table userTable(const std::string& name);
    Table database();
    Table datafiles();
    Table datafileHeaders();
    Table tablespaces();
    Table controlFiles();
    Table logFiles();
    Table tempFiles();
    Table changeTracking();
    Table parameters();
    Table archivedLogs();
    Table backupPieces();
    Table datafileCopies();
    Table archiveDests();
    Table incarnations();
    Table pipes();
    Table instanceView();

    InstanceState& s_;
    Instance& instance_;
};

}  // namespace vorlix
