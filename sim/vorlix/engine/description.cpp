#include "sim/vorlix/engine/description.h"

#include <nlohmann/json.hpp>

#include "sim/vorlix/engine/lifecycle.h"
#include "sim/vorlix/engine/row_store.h"

namespace vorlix {

using nlohmann::json;

std::string inside(const std::string& directory, const std::string& name) {
    bool full = name.find(':') != std::string::npos || (!name.empty() && name[0] == '\\');
    return full ? name : directory + "\\" + name;
}

namespace {

template <typename T>
T field(const json& j, const char* key, T fallback) {
    return j.contains(key) ? j.at(key).get<T>() : fallback;
}

void addTablespaces(const json& d, InstanceState& s) {
    json spaces = field<json>(d, "tablespaces",
                              json::array({
                                  {{"name", "SYSTEM"}, {"datafiles", {"system01.dbf"}}},
                                  {{"name", "SYSAUX"}, {"datafiles", {"sysaux01.dbf"}}},
                                  {{"name", "USERS"}, {"datafiles", {"users01.dbf"}}},
                              }));
    int fileNumber = 1;
    for (const auto& ts : spaces) {
        Tablespace t{int(s.tablespaces.size()), upper(ts.at("name").get<std::string>())};
        s.tablespaces.push_back(t);
        for (const auto& name : ts.at("datafiles")) {
            Datafile f;
            f.number = fileNumber++;
            f.name = inside(s.directory, name.get<std::string>());
            f.tablespace = t.number;
            f.checkpoint = s.checkpointChange;
            s.datafiles.push_back(f);
        }
    }
}

void addLogsAndFiles(const json& d, InstanceState& s) {
    json groups = field<json>(d, "logGroups", json::array({{"redo01.log"}, {"redo02.log"}}));
    int group = 1;
    for (const auto& members : groups) {
        for (const auto& m : members)
            s.logMembers.push_back({group, inside(s.directory, m.get<std::string>())});
        ++group;
    }
    for (const auto& t : field<json>(d, "tempFiles", json::array({"temp01.dbf"})))
        s.tempFiles.push_back(inside(s.directory, t.get<std::string>()));
    std::string bct = field<std::string>(d, "blockChangeTracking", "");
    if (!bct.empty()) s.blockChangeTrackingFile = inside(s.directory, bct);
}

void addParameters(const json& d, InstanceState& s) {
    std::string controlFiles;
    for (const auto& c :
         field<json>(d, "controlFiles", json::array({"control01.ctl", "control02.ctl"})))
        controlFiles +=
            (controlFiles.empty() ? "" : ", ") + inside(s.directory, c.get<std::string>());
    auto& p = s.parameters;
    p["db_name"] = s.dbName;
    p["control_files"] = controlFiles;
    p["db_block_size"] = "8192";
    p["background_dump_dest"] = inside(s.directory, "bdump");
    p["user_dump_dest"] = inside(s.directory, "udump");
    p["core_dump_dest"] = inside(s.directory, "cdump");
    p["audit_file_dest"] = inside(s.directory, "adump");
    int id = 1;
    for (const auto& location : field<json>(d, "archiveDests", json::array({"arch"}))) {
        ArchiveDest dest;
        dest.id = id;
        dest.location = inside(s.directory, location.get<std::string>());
        dest.target = id == 1 ? "PRIMARY" : "LOCAL";
        s.archiveDests.push_back(dest);
        p["log_archive_dest_" + std::to_string(id++)] = "location=" + dest.location;
    }
    std::string area = field<std::string>(d, "recoveryArea", "");
    if (!area.empty()) {
        ArchiveDest dest;
        dest.id = 10;
        dest.location = inside(s.directory, area);
        dest.target = "LOCAL";
        dest.recoveryArea = true;
        s.archiveDests.push_back(dest);
        p["db_recovery_file_dest"] = dest.location;
        p["log_archive_dest_10"] = "location=USE_DB_RECOVERY_FILE_DEST";
    }
    json extra = field<json>(d, "parameters", json::object());
    for (const auto& [name, value] : extra.items()) p[lower(name)] = value.get<std::string>();
}

std::string defaultTablespace(const InstanceState& s) {
    for (const auto& ts : s.tablespaces) {
        if (ts.name == "USERS") return ts.name;
    }
    return s.tablespaces.empty() ? "USERS" : s.tablespaces.back().name;
}

Value valueOf(const json& v) {
    if (v.is_null()) return {};
    if (v.is_number()) return Value::number(v.get<double>());
    return Value::text(v.is_string() ? v.get<std::string>() : v.dump());
}

void addSchema(const json& d, Description& out) {
    InstanceState& s = out.state;
    json users = field<json>(d, "users", json::object({{"dlv", "dlv4826"}}));
    for (const auto& [name, password] : users.items())
        s.users[upper(name)] = password.get<std::string>();
    for (const auto& t : field<json>(d, "tables", json::array())) {
        UserTable table;
        table.name = upper(t.at("name").get<std::string>());
        for (const auto& c : t.at("columns")) table.columns.push_back(upper(c.get<std::string>()));
        table.tablespace = upper(field<std::string>(t, "tablespace", defaultTablespace(s)));
        table.id = uint32_t(s.tables.size() + 1);
        auto& rows = out.tableRows[table.name];
        for (const auto& row : field<json>(t, "rows", json::array())) {
            std::vector<Value> values;
            for (const auto& v : row) values.push_back(valueOf(v));
            rows.push_back(std::move(values));
        }
        s.tables.push_back(std::move(table));
    }
}

}  // namespace

Description parseDescription(const std::string& text, const std::string& sid,
                             const std::string& directory) {
    json d = json::parse(text);
    Description out;
    InstanceState& s = out.state;
    s.sid = upper(sid);
    s.directory = directory;
    s.dbName = field<std::string>(d, "dbName", s.sid);
    s.dbid = field<uint32_t>(d, "dbid",
                             1000000 + uint32_t(std::hash<std::string>{}(s.sid) % 3000000000u));
    s.archiveLog = field<std::string>(d, "logMode", "ARCHIVELOG") == "ARCHIVELOG";
    s.incarnations.push_back({1, s.resetlogsChange, 0});
    s.snapshotControlFile =
        inside(directory, field<std::string>(d, "snapshotControlFile", "SNCF" + s.sid + ".ORA"));
    s.initParameterFile = inside(directory, "init" + s.sid + ".ora");
    json spfile = field<json>(d, "spfile", true);
    if (spfile.is_string())
        s.serverParameterFile = inside(directory, spfile.get<std::string>());
    else if (spfile.get<bool>())
        s.serverParameterFile = inside(directory, "SPFILE" + s.sid + ".ORA");
    addTablespaces(d, s);
    addLogsAndFiles(d, s);
    addParameters(d, s);
    addSchema(d, out);
    out.targetState = lower(field<std::string>(d, "state", "open"));
    out.serviceRunning = field<bool>(d, "service", true);
    out.archivedLogs = field<int>(d, "archivedLogs", 0);
    out.backupPieces = field<std::vector<std::string>>(d, "backupPieces", {});
    out.datafileCopies = field<std::vector<std::string>>(d, "datafileCopies", {});
    out.netServiceNames = field<std::vector<std::string>>(d, "netServiceNames", {});
    return out;
}

void createDescribedFiles(Description& d, Storage& storage) {
    Instance instance(d.state, storage);
    instance.createFiles();
    RowStore rows(d.state, storage);
    for (auto& table : d.state.tables) {
        for (const auto& values : d.tableRows[table.name]) rows.insert(table, values);
    }
    instance.advanceCheckpoint();
}

}  // namespace vorlix
