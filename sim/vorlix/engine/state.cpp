#include "sim/vorlix/engine/state.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <type_traits>
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

namespace {

// A digest of a record's fields, mixed in one 64-bit word at a time.
class Fingerprint {
public:
    void add(uint64_t word) {
        value_ ^= word;
        value_ *= 0x9e3779b97f4a7c15ull;
        value_ ^= value_ >> 29;
    }
    uint64_t value() const { return value_; }

private:
    uint64_t value_ = 0x6a09e667f3bcc908ull;
};

template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
void fingerprint(Fingerprint& digest, Number number) {
    digest.add(uint64_t(number));
}

void fingerprint(Fingerprint& digest, const std::string& text) {
    digest.add(text.size());
    size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + at, 8);
        digest.add(word);
    }
    uint64_t rest = 0;
    std::memcpy(&rest, text.data() + at, text.size() - at);
    digest.add(rest);
}

template <typename Item>
void fingerprint(Fingerprint& digest, const std::vector<Item>& items) {
    digest.add(items.size());
    for (const auto& item : items) fingerprint(digest, item);
}

}  // namespace

// Each record's fields, named once for its JSON form and its fingerprint.
#define VORLIX_FINGERPRINT_FIELD(field) fingerprint(digest, record.field);
#define VORLIX_RECORD(Type, ...)                                                         \
    NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Type, __VA_ARGS__)                   \
    [[maybe_unused]] void fingerprint(Fingerprint& digest, const Type& record) {         \
        NLOHMANN_JSON_EXPAND(NLOHMANN_JSON_PASTE(VORLIX_FINGERPRINT_FIELD, __VA_ARGS__)) \
    }

VORLIX_RECORD(Tablespace, number, name)
VORLIX_RECORD(Datafile, number, name, tablespace, online, fuzzy, backupMode, error, checkpoint,
              blocks)
VORLIX_RECORD(LogMember, group, member)
VORLIX_RECORD(ArchiveDest, id, location, target, status, recoveryArea)
VORLIX_RECORD(FileRecord, recid, stamp, name, destId, sequence, firstChange, nextChange, blocks,
              blockSize, status, recoveryArea, resetlogsChange, archived, backedUp, fileNumber)
VORLIX_RECORD(Incarnation, number, resetlogsChange, priorResetlogsChange)
VORLIX_RECORD(Pipe, name, type, messages)
VORLIX_RECORD(UserTable, name, columns, tablespace, id, nextKey)
VORLIX_RECORD(InjectedFailure, match, error, message, every, atClose)

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

namespace {

// Calls `use` with the list itself, whatever its record type.
template <typename State, typename Use>
decltype(auto) withList(State& s, LongList list, Use&& use) {
    switch (list) {
        case LongList::Tablespaces: return use(s.tablespaces);
        case LongList::Datafiles: return use(s.datafiles);
        case LongList::ArchivedLogs: return use(s.archivedLogs);
        case LongList::BackupPieces: return use(s.backupPieces);
        case LongList::DatafileCopies: return use(s.datafileCopies);
        case LongList::Pipes: break;
    }
    return use(s.pipes);
}

template <typename Records>
auto partRange(Records& records, size_t part) {
    const size_t first = std::min(records.size(), part * kRecordsPerPart);
    const size_t last = std::min(records.size(), first + kRecordsPerPart);
    return std::pair(records.begin() + first, records.begin() + last);
}

nlohmann::json coreOf(const InstanceState& s) {
    return {
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
        {"logMembers", s.logMembers},
        {"tempFiles", s.tempFiles},
        {"blockChangeTrackingFile", s.blockChangeTrackingFile},
        {"parameters", s.parameters},
        {"archiveDests", s.archiveDests},
        {"incarnations", s.incarnations},
        {"users", s.users},
        {"tables", s.tables},
        {"failures", s.failures},
    };
}

// Reads every field the text has, long lists included.
InstanceState stateOf(const nlohmann::json& j) {
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
    get("logMembers", s.logMembers);
    get("tempFiles", s.tempFiles);
    get("blockChangeTrackingFile", s.blockChangeTrackingFile);
    get("parameters", s.parameters);
    get("archiveDests", s.archiveDests);
    get("incarnations", s.incarnations);
    get("users", s.users);
    get("tables", s.tables);
    get("failures", s.failures);
    for (LongList list : kLongLists)
        withList(s, list, [&](auto& records) { get(listName(list), records); });
    return s;
}

}  // namespace

const char* listName(LongList list) {
    static const char* const kNames[] = {"tablespaces",  "datafiles",      "archivedLogs",
                                         "backupPieces", "datafileCopies", "pipes"};
    return kNames[size_t(list)];
}

size_t partCount(const InstanceState& state, LongList list) {
    return withList(state, list, [](const auto& records) {
        return (records.size() + kRecordsPerPart - 1) / kRecordsPerPart;
    });
}

std::string toJson(const InstanceState& s) {
    nlohmann::json j = coreOf(s);
    for (LongList list : kLongLists)
        withList(s, list, [&](const auto& records) { j[listName(list)] = records; });
    return j.dump(1);
}

InstanceState stateFromJson(const std::string& text) {
    return stateOf(nlohmann::json::parse(text));
}

std::string coreToJson(const InstanceState& state, const PartFiles& parts) {
    nlohmann::json j = coreOf(state);
    for (LongList list : kLongLists) j["parts"][listName(list)] = parts[size_t(list)];
    return j.dump(1);
}

InstanceState stateFromCore(const std::string& text, PartFiles& parts) {
    auto j = nlohmann::json::parse(text);
    parts = {};
    if (j.contains("parts")) {
        for (LongList list : kLongLists)
            j.at("parts").at(listName(list)).get_to(parts[size_t(list)]);
    }
    return stateOf(j);
}

std::string partToJson(const InstanceState& state, LongList list, size_t part) {
    return withList(state, list, [&](const auto& records) {
        auto [first, last] = partRange(records, part);
        return nlohmann::json(std::vector(first, last)).dump(1);
    });
}

void appendPartFromJson(InstanceState& state, LongList list, const std::string& text) {
    withList(state, list, [&](auto& records) {
        auto part = nlohmann::json::parse(text).get<std::decay_t<decltype(records)>>();
        records.insert(records.end(), std::make_move_iterator(part.begin()),
                       std::make_move_iterator(part.end()));
    });
}

void appendPartFrom(InstanceState& to, InstanceState& from, LongList list, size_t part) {
    withList(to, list, [&](auto& records) {
        withList(from, list, [&](auto& source) {
            if constexpr (std::is_same_v<decltype(records), decltype(source)>) {
                auto [first, last] = partRange(source, part);
                records.insert(records.end(), std::make_move_iterator(first),
                               std::make_move_iterator(last));
            }
        });
    });
}

uint64_t partFingerprint(const InstanceState& state, LongList list, size_t part) {
    return withList(state, list, [&](const auto& records) {
        auto [first, last] = partRange(records, part);
        Fingerprint digest;
        digest.add(uint64_t(last - first));
        for (auto record = first; record != last; ++record) fingerprint(digest, *record);
        return digest.value();
    });
}

}  // namespace vorlix
