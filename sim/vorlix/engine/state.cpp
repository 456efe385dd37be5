#include "sim/vorlix/engine/state.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

namespace nlohmann {
template <>
struct adl_serializer<std::optional<std::string>> {
    static void to_json(json& j, const std::optional<std::string>& value) {
        if (value)
            j = *value;
        else
            j = nullptr;
    }
    static void from_json(const json& j, std::optional<std::string>& value) {
        if (j.is_null())
            value.reset();
        else
            value = j.get<std::string>();
    }
};
}  // namespace nlohmann

namespace vorlix {

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Tablespace, number, name)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Datafile, number, name, tablespace, online, fuzzy,
                                                backupMode, error, checkpoint, blocks)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(LogMember, group, member)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(ArchiveDest, id, location, target, status,
                                                recoveryArea)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(FileRecord, recid, stamp, name, destId, sequence,
                                                firstChange, nextChange, blocks, blockSize, status,
                                                recoveryArea, resetlogsChange, archived, backedUp,
                                                fileNumber)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Incarnation, number, resetlogsChange,
                                                priorResetlogsChange)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Pipe, name, type, messages)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(UserTable, name, columns, tablespace, id, nextKey)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(InjectedFailure, match, error, message, every,
                                                atClose)

namespace {

const char* const kStatusNames[] = {"down", "starting", "started", "mounted", "open"};

}  // namespace

const char* statusName(InstanceStatus status) { return kStatusNames[int(status)]; }

InstanceStatus statusFromName(const std::string& name) {
    for (int i = 0; i < 5; ++i) {
        if (lower(name) == kStatusNames[i]) return InstanceStatus(i);
    }
    throw std::invalid_argument("unknown instance status '" + name + "'");
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::vector<std::string> InstanceState::controlFiles() const {
    std::vector<std::string> names;
    auto found = parameters.find("control_files");
    if (found == parameters.end()) return names;
    const std::string& list = found->second;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string part =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t first = part.find_first_not_of(" \t");
        size_t last = part.find_last_not_of(" \t");
        if (first != std::string::npos) names.push_back(part.substr(first, last - first + 1));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return names;
}

Datafile* InstanceState::datafile(int number) {
    for (auto& file : datafiles) {
        if (file.number == number) return &file;
    }
    return nullptr;
}

Tablespace* InstanceState::tablespace(const std::string& upperName) {
    for (auto& ts : tablespaces) {
        if (ts.name == upperName) return &ts;
    }
    return nullptr;
}

UserTable* InstanceState::table(const std::string& upperName) {
    for (auto& t : tables) {
        if (t.name == upperName) return &t;
    }
    return nullptr;
}

Pipe* InstanceState::pipe(const std::string& upperName) {
    return const_cast<Pipe*>(std::as_const(*this).pipe(upperName));
}

const Pipe* InstanceState::pipe(const std::string& upperName) const {
    for (const auto& p : pipes) {
        if (p.name == upperName) return &p;
    }
    return nullptr;
}

std::string InstanceState::tablespaceName(int number) const {
    for (const auto& ts : tablespaces) {
        if (ts.number == number) return ts.name;
    }
    return {};
}

std::string toJson(const InstanceState& s) {
    nlohmann::json j = {
        {"sid", s.sid},
        {"directory", s.directory},
        {"dbid", s.dbid},
        {"dbName", s.dbName},
        {"status", statusName(s.status)},
        {"readOnly", s.readOnly},
        {"archiveLog", s.archiveLog},
        {"controlFileType", s.controlFileType},
        {"currentChange", s.currentChange},
        {"checkpointChange", s.checkpointChange},
        {"logFirstChange", s.logFirstChange},
        {"logSequence", s.logSequence},
        {"resetlogsChange", s.resetlogsChange},
        {"nextRecid", s.nextRecid},
        {"nextStamp", s.nextStamp},
        {"startupCount", s.startupCount},
        {"bctSwitches", s.bctSwitches},
        {"agedFileRefreshes", s.agedFileRefreshes},
        {"usingSnapshotControlFile", s.usingSnapshotControlFile},
        {"resetlogsRequired", s.resetlogsRequired},
        {"snapshotControlFile", s.snapshotControlFile},
        {"serverParameterFile", s.serverParameterFile},
        {"initParameterFile", s.initParameterFile},
        {"tablespaces", s.tablespaces},
        {"datafiles", s.datafiles},
        {"logMembers", s.logMembers},
        {"tempFiles", s.tempFiles},
        {"blockChangeTrackingFile", s.blockChangeTrackingFile},
        {"parameters", s.parameters},
        {"archiveDests", s.archiveDests},
        {"archivedLogs", s.archivedLogs},
        {"backupPieces", s.backupPieces},
        {"datafileCopies", s.datafileCopies},
        {"incarnations", s.incarnations},
        {"pipes", s.pipes},
        {"users", s.users},
        {"tables", s.tables},
        {"failures", s.failures},
    };
    return j.dump(1);
}

InstanceState stateFromJson(const std::string& text) {
    auto j = nlohmann::json::parse(text);
    InstanceState s;
    auto get = [&j](const char* key, auto& field) {
        if (j.contains(key)) j.at(key).get_to(field);
    };
    get("sid", s.sid);
    get("directory", s.directory);
    get("dbid", s.dbid);
    get("dbName", s.dbName);
    if (j.contains("status")) s.status = statusFromName(j.at("status").get<std::string>());
    get("readOnly", s.readOnly);
    get("archiveLog", s.archiveLog);
    get("controlFileType", s.controlFileType);
    get("currentChange", s.currentChange);
    get("checkpointChange", s.checkpointChange);
    get("logFirstChange", s.logFirstChange);
    get("logSequence", s.logSequence);
    get("resetlogsChange", s.resetlogsChange);
    get("nextRecid", s.nextRecid);
    get("nextStamp", s.nextStamp);
    get("startupCount", s.startupCount);
    get("bctSwitches", s.bctSwitches);
    get("agedFileRefreshes", s.agedFileRefreshes);
    get("usingSnapshotControlFile", s.usingSnapshotControlFile);
    get("resetlogsRequired", s.resetlogsRequired);
    get("snapshotControlFile", s.snapshotControlFile);
    get("serverParameterFile", s.serverParameterFile);
    get("initParameterFile", s.initParameterFile);
    get("tablespaces", s.tablespaces);
    get("datafiles", s.datafiles);
    get("logMembers", s.logMembers);
    get("tempFiles", s.tempFiles);
    get("blockChangeTrackingFile", s.blockChangeTrackingFile);
    get("parameters", s.parameters);
    get("archiveDests", s.archiveDests);
    get("archivedLogs", s.archivedLogs);
    get("backupPieces", s.backupPieces);
    get("datafileCopies", s.datafileCopies);
    get("incarnations", s.incarnations);
    get("pipes", s.pipes);
    get("users", s.users);
    get("tables", s.tables);
    get("failures", s.failures);
    return s;
}

}  // namespace vorlix
