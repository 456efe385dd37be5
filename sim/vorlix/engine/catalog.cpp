#include "sim/vorlix/engine/catalog.h"

#include <set>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/dml.h"

namespace vorlix {

const char* const kVersionBanner =
    "Vorlix Database 11g Enterprise Edition Release 11.2.0.1.0 - Production";

namespace {

using C = ColumnType;

Value num(double n) { return Value::number(n); }
Value txt(const std::string& s) { return Value::text(s); }
Value yesNo(bool b) { return Value::text(b ? "YES" : "NO"); }

Table makeTable(std::initializer_list<Column> columns) {
    Table t;
    t.columns = columns;
    return t;
}

// Views a started instance answers before its database is mounted.
const std::set<std::string> kUnmountedViews = {"V$VERSION",  "V$PARAMETER",    "V$INSTANCE",
                                               "V$DB_PIPES", "V$ARCHIVE_DEST", "V$CONTROLFILE",
                                               "DUAL"};

std::string withoutSchema(const std::string& name) {
    for (const char* schema : {"SYS.", "PUBLIC.", "DLV."}) {
        std::string prefix = schema;
        if (name.compare(0, prefix.size(), prefix) == 0) return name.substr(prefix.size());
    }
    return name;
}

}  // namespace

Table Catalog::table(const std::string& qualified) {
    std::string name = withoutSchema(qualified);
    if (name.compare(0, 3, "V_$") == 0) name = "V$" + name.substr(3);
    bool isView = name.compare(0, 2, "V$") == 0 || name == "DUAL";
    if (!isView) return userTable(name);
    if (s_.status == InstanceStatus::Down) raiseError(1034);
    if (s_.status == InstanceStatus::Starting) raiseError(1033);
    if (s_.status == InstanceStatus::Started && !kUnmountedViews.count(name)) {
        Table probe = view(name);  // an unknown name is still 942
        raiseError(1507);
    }
    return view(name);
}

Table Catalog::view(const std::string& name) {
    if (name == "DUAL") {
        Table t = makeTable({{"DUMMY", C::Text}});
        t.rows.push_back({txt("X")});
        return t;
    }
    if (name == "V$VERSION") {
        Table t = makeTable({{"BANNER", C::Text}});
        for (const char* line : {kVersionBanner, "PL/SQL Release 11.2.0.1.0 - Production",
                                 "CORE\t11.2.0.1.0\tProduction",
                                 "TNS for 32-bit Windows: Version 11.2.0.1.0 - Production"})
            t.rows.push_back({txt(line)});
        return t;
    }
    if (name == "V$DATABASE") return database();
    if (name == "V$DATAFILE") return datafiles();
    if (name == "V$DATAFILE_HEADER") return datafileHeaders();
    if (name == "V$TABLESPACE") return tablespaces();
    if (name == "V$CONTROLFILE") return controlFiles();
    if (name == "V$LOGFILE") return logFiles();
    if (name == "V$TEMPFILE") return tempFiles();
    if (name == "V$BLOCK_CHANGE_TRACKING") return changeTracking();
    if (name == "V$PARAMETER") return parameters();
    if (name == "V$ARCHIVED_LOG") return archivedLogs();
    if (name == "V$BACKUP_PIECE") return backupPieces();
    if (name == "V$DATAFILE_COPY") return datafileCopies();
    if (name == "V$ARCHIVE_DEST") return archiveDests();
    if (name == "V$DATABASE_INCARNATION") return incarnations();
    if (name == "V$DB_PIPES") return pipes();
    if (name == "V$INSTANCE") return instanceView();
    raiseError(942);
}

Table Catalog::userTable(const std::string& name) {
    UserTable* table = s_.table(name);
    if (!table) raiseError(942);
    if (s_.status == InstanceStatus::Down) raiseError(1034);
    if (s_.status != InstanceStatus::Open) raiseError(1219);
    return readUserTable(s_, instance_.storage(), *table);
}

Table Catalog::database() {
    Table t = makeTable({{"DBID", C::Number},
                         {"NAME", C::Text},
                         {"LOG_MODE", C::Text},
                         {"OPEN_MODE", C::Text},
                         {"CONTROLFILE_TYPE", C::Text},
                         {"CHECKPOINT_CHANGE#", C::Number},
                         {"RESETLOGS_CHANGE#", C::Number},
                         {"CURRENT_SCN", C::Number}});
    const char* openMode =
        s_.status == InstanceStatus::Open ? (s_.readOnly ? "READ ONLY" : "READ WRITE") : "MOUNTED";
    t.rows.push_back({num(s_.dbid), txt(upper(s_.dbName)),
                      txt(s_.archiveLog ? "ARCHIVELOG" : "NOARCHIVELOG"), txt(openMode),
                      txt(s_.controlFileType), num(double(s_.checkpointChange)),
                      num(double(s_.resetlogsChange)), num(double(s_.currentChange))});
    return t;
}

Table Catalog::datafiles() {
    Table t = makeTable({{"FILE#", C::Number},
                         {"NAME", C::Text},
                         {"TS#", C::Number},
                         {"STATUS", C::Text},
                         {"ENABLED", C::Text},
                         {"CHECKPOINT_CHANGE#", C::Number},
                         {"BYTES", C::Number}});
    for (const auto& f : s_.datafiles) {
        const char* status = !f.online ? "OFFLINE" : (f.tablespace == 0 ? "SYSTEM" : "ONLINE");
        t.rows.push_back({num(f.number), txt(f.name), num(f.tablespace), txt(status),
                          txt(s_.readOnly ? "READ ONLY" : "READ WRITE"), num(double(f.checkpoint)),
                          num(16.0 * kDatafileBlockSize)});
    }
    return t;
}

// Read from the files themselves, as the header view always is.
Table Catalog::datafileHeaders() {
    Table t = makeTable({{"FILE#", C::Number},
                         {"NAME", C::Text},
                         {"TABLESPACE_NAME", C::Text},
                         {"TS#", C::Number},
                         {"STATUS", C::Text},
                         {"FUZZY", C::Text},
                         {"ERROR", C::Text},
                         {"RECOVER", C::Text},
                         {"CHECKPOINT_CHANGE#", C::Number}});
    for (const auto& f : s_.datafiles) {
        auto header = instance_.readDatafileHeader(f);
        std::string error = f.error;
        if (!f.online && error.empty()) error = "OFFLINE NORMAL";
        if (!header && error.empty()) error = "FILE NOT FOUND";
        Value fuzzy = header && f.online ? yesNo(header->fuzzy) : Value();
        Value recover = header && f.online
                            ? yesNo(header->checkpoint < s_.checkpointChange || header->backupMode)
                            : Value();
        t.rows.push_back({num(f.number), txt(f.name), txt(s_.tablespaceName(f.tablespace)),
                          num(f.tablespace), txt(f.online ? "ONLINE" : "OFFLINE"), fuzzy,
                          txt(error), recover, header ? num(double(header->checkpoint)) : Value()});
    }
    return t;
}

Table Catalog::tablespaces() {
    Table t = makeTable({{"TS#", C::Number}, {"NAME", C::Text}});
    for (const auto& ts : s_.tablespaces) t.rows.push_back({num(ts.number), txt(ts.name)});
    return t;
}

Table Catalog::controlFiles() {
    Table t = makeTable({{"STATUS", C::Text}, {"NAME", C::Text}});
    for (const auto& name : s_.controlFiles()) t.rows.push_back({Value(), txt(name)});
    return t;
}

Table Catalog::logFiles() {
    Table t = makeTable(
        {{"GROUP#", C::Number}, {"STATUS", C::Text}, {"TYPE", C::Text}, {"MEMBER", C::Text}});
    for (const auto& m : s_.logMembers)
        t.rows.push_back({num(m.group), Value(), txt("ONLINE"), txt(m.member)});
    return t;
}

Table Catalog::tempFiles() {
    Table t = makeTable({{"FILE#", C::Number}, {"NAME", C::Text}, {"TS#", C::Number}});
    int number = 1;
    for (const auto& name : s_.tempFiles) t.rows.push_back({num(number++), txt(name), Value()});
    return t;
}

Table Catalog::changeTracking() {
    Table t = makeTable({{"STATUS", C::Text}, {"FILENAME", C::Text}, {"BYTES", C::Number}});
    bool enabled = !s_.blockChangeTrackingFile.empty();
    t.rows.push_back({txt(enabled ? "ENABLED" : "DISABLED"), txt(s_.blockChangeTrackingFile),
                      enabled ? num(kDatafileBlockSize) : Value()});
    return t;
}

Table Catalog::parameters() {
    Table t =
        makeTable({{"NUM", C::Number}, {"NAME", C::Text}, {"TYPE", C::Number}, {"VALUE", C::Text}});
    std::map<std::string, std::string> all = s_.parameters;
    all.try_emplace("spfile", "");  // shown, empty, when started from a text parameter file
    int number = 1;
    for (const auto& [name, value] : all)
        t.rows.push_back({num(number++), txt(name), num(2), txt(value)});
    return t;
}

namespace {

Table recordTable(const std::vector<FileRecord>& records, const char* nameColumn) {
    Table t = makeTable({{"RECID", C::Number},
                         {"STAMP", C::Number},
                         {nameColumn, C::Text},
                         {"DEST_ID", C::Number},
                         {"THREAD#", C::Number},
                         {"SEQUENCE#", C::Number},
                         {"FIRST_CHANGE#", C::Number},
                         {"NEXT_CHANGE#", C::Number},
                         {"BLOCKS", C::Number},
                         {"BLOCK_SIZE", C::Number},
                         {"STATUS", C::Text},
                         {"IS_RECOVERY_DEST_FILE", C::Text},
                         {"RESETLOGS_CHANGE#", C::Number},
                         {"ARCHIVED", C::Text},
                         {"FILE#", C::Number}});
    for (const auto& r : records) {
        t.rows.push_back({num(r.recid), num(r.stamp), txt(r.name), num(r.destId), num(1),
                          num(r.sequence), num(double(r.firstChange)), num(double(r.nextChange)),
                          num(r.blocks), num(r.blockSize), txt(r.status), yesNo(r.recoveryArea),
                          num(double(r.resetlogsChange)), yesNo(r.archived), num(r.fileNumber)});
    }
    return t;
}

}  // namespace

Table Catalog::archivedLogs() { return recordTable(s_.archivedLogs, "NAME"); }
Table Catalog::backupPieces() { return recordTable(s_.backupPieces, "HANDLE"); }
Table Catalog::datafileCopies() { return recordTable(s_.datafileCopies, "NAME"); }

// Ten destinations, the unused ones inactive, as the server always lists them.
Table Catalog::archiveDests() {
    Table t = makeTable({{"DEST_ID", C::Number},
                         {"DEST_NAME", C::Text},
                         {"STATUS", C::Text},
                         {"TARGET", C::Text},
                         {"DESTINATION", C::Text},
                         {"VALID_NOW", C::Text}});
    for (int id = 1; id <= 10; ++id) {
        const ArchiveDest* dest = nullptr;
        for (const auto& d : s_.archiveDests) {
            if (d.id == id) dest = &d;
        }
        std::string name = "LOG_ARCHIVE_DEST_" + std::to_string(id);
        if (!dest) {
            t.rows.push_back(
                {num(id), txt(name), txt("INACTIVE"), txt("PRIMARY"), Value(), txt("UNKNOWN")});
            continue;
        }
        bool valid = dest->status == "VALID";
        t.rows.push_back({num(id), txt(name), txt(dest->status), txt(dest->target),
                          txt(dest->location), txt(valid ? "YES" : "NO")});
    }
    return t;
}

Table Catalog::incarnations() {
    Table t = makeTable({{"INCARNATION#", C::Number},
                         {"RESETLOGS_CHANGE#", C::Number},
                         {"PRIOR_RESETLOGS_CHANGE#", C::Number},
                         {"STATUS", C::Text}});
    for (const auto& i : s_.incarnations) {
        bool current = i.resetlogsChange == s_.resetlogsChange;
        t.rows.push_back({num(i.number), num(double(i.resetlogsChange)),
                          num(double(i.priorResetlogsChange)),
                          txt(current ? "CURRENT" : "PARENT")});
    }
    return t;
}

Table Catalog::pipes() {
    Table t = makeTable(
        {{"OWNERID", C::Number}, {"NAME", C::Text}, {"TYPE", C::Text}, {"PIPE_SIZE", C::Number}});
    for (const auto& p : s_.pipes) {
        size_t size = 0;
        for (const auto& message : p.messages) {
            for (const auto& item : message) size += item.size();
        }
        t.rows.push_back(
            {p.type == "PRIVATE" ? num(0) : Value(), txt(p.name), txt(p.type), num(double(size))});
    }
    return t;
}

Table Catalog::instanceView() {
    static const char* const kInstanceStatus[] = {"", "STARTED", "STARTED", "MOUNTED", "OPEN"};
    Table t = makeTable({{"INSTANCE_NAME", C::Text}, {"STATUS", C::Text}, {"VERSION", C::Text}});
    t.rows.push_back({txt(s_.sid), txt(kInstanceStatus[int(s_.status)]), txt("11.2.0.1.0")});
    return t;
}

}  // namespace vorlix
