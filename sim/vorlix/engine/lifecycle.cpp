#include "sim/vorlix/engine/lifecycle.h"

#include <algorithm>
#include <cstdio>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/redo.h"
#include "sim/vorlix/engine/row_store.h"

namespace vorlix {

namespace {

std::string trim(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    size_t end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

std::string unquote(const std::string& s) {
    std::string t = trim(s);
    if (t.size() >= 2 && (t.front() == '\'' || t.front() == '"') && t.back() == t.front())
        return t.substr(1, t.size() - 2);
    return t;
}

std::string parameterValue(std::string raw) {
    raw = trim(raw);
    if (raw.size() < 2 || raw.front() != '(' || raw.back() != ')') return unquote(raw);
    std::string list, inner = raw.substr(1, raw.size() - 2);
    size_t start = 0;
    for (;;) {
        size_t comma = inner.find(',', start);
        std::string item =
            unquote(inner.substr(start, comma == std::string::npos ? comma : comma - start));
        if (!item.empty()) list += (list.empty() ? "" : ", ") + item;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return list;
}

bool sameFile(const std::string& a, const std::string& b) { return upper(a) == upper(b); }

}  // namespace

std::map<std::string, std::string> parseParameterFile(const std::string& text) {
    std::map<std::string, std::string> parameters;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string name = lower(trim(line.substr(0, equals)));
        size_t dot = name.find('.');  // "*.db_name" applies to every instance
        if (dot != std::string::npos) name = name.substr(dot + 1);
        if (!name.empty()) parameters[name] = parameterValue(line.substr(equals + 1));
    }
    return parameters;
}

std::string formatParameterFile(const std::map<std::string, std::string>& parameters) {
    std::string text;
    for (const auto& [name, value] : parameters) {
        if (name == "spfile") continue;
        text += name + " = '" + value + "'\r\n";
    }
    return text;
}

void Instance::requireStatus(InstanceStatus wanted) {
    if (s_.status == wanted) return;
    switch (s_.status) {
        case InstanceStatus::Down: raiseError(1034);
        case InstanceStatus::Starting: raiseError(1033);
        case InstanceStatus::Started: raiseError(1507);
        case InstanceStatus::Mounted: raiseError(wanted == InstanceStatus::Open ? 1109 : 1100);
        case InstanceStatus::Open: raiseError(wanted == InstanceStatus::Started ? 1100 : 1531);
    }
}

void Instance::requireMounted() {
    if (s_.status != InstanceStatus::Open) requireStatus(InstanceStatus::Mounted);
}

Datafile& Instance::findDatafile(int number) {
    Datafile* file = s_.datafile(number);
    if (!file) raiseError(1516, std::to_string(number));
    return *file;
}

void Instance::startup(const std::string& parameterFile) {
    if (s_.status != InstanceStatus::Down) raiseError(1081);
    std::string file = parameterFile;
    bool server = false;
    if (file.empty()) {
        server = !s_.serverParameterFile.empty() && storage_.exists(s_.serverParameterFile);
        file = server ? s_.serverParameterFile : s_.initParameterFile;
    }
    auto text = file.empty() ? std::nullopt : storage_.readStart(file, 1 << 20);
    if (!text) raiseError(1078, "could not open parameter file '" + file + "'");
    s_.parameters = parseParameterFile(*text);
    if (server)
        s_.parameters["spfile"] = file;
    else
        s_.parameters.erase("spfile");
    s_.status = InstanceStatus::Started;
    s_.readOnly = false;
    ++s_.startupCount;
}

void Instance::mount() {
    requireStatus(InstanceStatus::Started);
    auto names = s_.controlFiles();
    if (names.empty()) raiseError(205, "control_files is not set");
    std::optional<ControlFileHeader> header;
    for (const auto& name : names) {
        auto block = storage_.readStart(name, kHeaderBlockSize);
        auto decoded = block ? decodeControlFileHeader(*block) : std::nullopt;
        if (!decoded || decoded->dbid != s_.dbid) raiseError(205, name);
        if (!header) header = decoded;
    }
    s_.controlFileType = header->type;
    if (header->type == "BACKUP") s_.checkpointChange = header->checkpoint;
    for (auto& file : s_.datafiles) {
        if (auto h = readDatafileHeader(file)) {
            file.checkpoint = h->checkpoint;
            file.fuzzy = h->fuzzy;
            file.backupMode = h->backupMode;
        }
    }
    s_.status = InstanceStatus::Mounted;
}

void Instance::open(bool readOnly, bool resetlogs) {
    requireStatus(InstanceStatus::Mounted);
    bool needsResetlogs = s_.controlFileType == "BACKUP" || s_.resetlogsRequired;
    if (needsResetlogs && !resetlogs) raiseError(1589);
    if (resetlogs && !needsResetlogs) raiseError(1139);
    for (const auto& file : s_.datafiles) {
        if (!file.online) continue;
        auto header = readDatafileHeader(file);
        if (!header) raiseError(1157, std::to_string(file.number));
        if (header->checkpoint < s_.checkpointChange || header->backupMode)
            raiseError(1113, std::to_string(file.number) + ": '" + file.name + "'");
    }
    if (resetlogs) newIncarnation();
    s_.status = InstanceStatus::Open;
    s_.readOnly = readOnly;
    checkpoint();
}

void Instance::newIncarnation() {
    uint64_t prior = s_.resetlogsChange;
    s_.resetlogsChange = s_.nextChange();
    int number = 0;
    for (const auto& i : s_.incarnations) number = std::max(number, i.number);
    s_.incarnations.push_back({number + 1, s_.resetlogsChange, prior});
    s_.logSequence = 1;
    s_.logFirstChange = s_.resetlogsChange;
    s_.controlFileType = "CURRENT";
    s_.resetlogsRequired = false;
    if (!OnlineLog(s_, storage_).createAll()) raiseError(313, "1");  // the changes after are gone
}

uint64_t Instance::followLogs(uint64_t from, const std::function<void(const std::string&)>& visit) {
    // The online log holds everything since the last log switch.
    if (from >= s_.logFirstChange && !s_.resetlogsRequired && s_.controlFileType == "CURRENT") {
        if (visit) {
            auto body = OnlineLog(s_, storage_).currentBody();
            if (!body) raiseError(313, std::to_string(OnlineLog(s_, storage_).currentGroup()));
            visit(*body);
        }
        return s_.currentChange;
    }
    for (const auto& log : s_.archivedLogs) {
        if (log.resetlogsChange != s_.resetlogsChange || log.status != "A") continue;
        if (log.firstChange > from || log.nextChange <= from) continue;
        auto bytes =
            visit ? storage_.readAll(log.name) : storage_.readStart(log.name, kHeaderBlockSize);
        auto header = bytes ? decodeArchivedLogHeader(*bytes) : std::nullopt;
        if (!header || header->dbid != s_.dbid) continue;  // gone or not ours: try another copy
        if (visit) visit(bytes->substr(kHeaderBlockSize));
        return followLogs(header->nextChange, visit);
    }
    return from;
}

void Instance::checkNothingAfter(const Datafile& file, uint64_t until) {
    checkBlocks(storage_, file, until, 1152);
}

void Instance::recover(const std::vector<Datafile*>& files, uint64_t target,
                       std::optional<uint64_t> until) {
    requireStatus(InstanceStatus::Mounted);
    std::vector<std::pair<Datafile*, uint64_t>> stale;  // with the change recovery starts at
    for (Datafile* file : files) {
        auto header = readDatafileHeader(*file);
        if (!header) raiseError(1157, std::to_string(file->number));
        if (header->checkpoint >= target && !header->backupMode) {
            if (until) checkNothingAfter(*file, *until);
            continue;
        }
        uint64_t reached = reachableChange(header->checkpoint);
        if (reached < target)
            raiseError(279, std::to_string(reached) + " needed for data file " +
                                std::to_string(file->number));
        stale.emplace_back(file, header->checkpoint);
    }
    if (stale.empty()) return;
    uint64_t from = stale.front().second;
    for (const auto& [file, start] : stale) from = std::min(from, start);
    std::vector<RedoRecord> redo;
    followLogs(from, [&](const std::string& body) {
        for (auto& record : decodeRedo(body)) redo.push_back(std::move(record));
    });
    for (auto& [file, start] : stale) {
        BlockReplay replay(storage_, *file);
        for (const auto& record : redo) {
            if (record.file == file->number && record.change >= start &&
                (!until || record.change < *until))
                replay.apply(record);
        }
        replay.finish(until);
        file->checkpoint = target;
        file->fuzzy = false;
        file->backupMode = false;
        writeDatafileHeader(*file);
    }
}

void Instance::recoverDatabase(std::optional<uint64_t> untilChange) {
    std::vector<Datafile*> files;
    for (auto& file : s_.datafiles) {
        if (file.online) files.push_back(&file);
    }
    if (untilChange) {
        recover(files, *untilChange, untilChange);
        s_.checkpointChange = *untilChange;
        s_.resetlogsRequired = true;
        return;
    }
    uint64_t target = s_.checkpointChange;
    if (s_.controlFileType == "BACKUP") {
        // A backup control file knows no end: go as far as the logs lead.
        target = 0;
        for (auto* file : files) {
            auto header = readDatafileHeader(*file);
            if (header) target = std::max(target, reachableChange(header->checkpoint));
        }
        s_.checkpointChange = target;
    }
    recover(files, target);
}

void Instance::recoverDatafiles(const std::vector<int>& numbers) {
    std::vector<Datafile*> files;
    for (int number : numbers) files.push_back(&findDatafile(number));
    recover(files, s_.checkpointChange);
}

void Instance::recoverTablespaces(const std::vector<std::string>& names) {
    std::vector<Datafile*> files;
    for (const auto& name : names) {
        Tablespace* ts = s_.tablespace(name);
        if (!ts) raiseError(959, name);
        for (auto& file : s_.datafiles) {
            if (file.tablespace == ts->number) files.push_back(&file);
        }
    }
    recover(files, s_.checkpointChange);
}

void Instance::registerArchivedLog(const std::string& name) {
    requireMounted();
    auto block = storage_.readStart(name, kHeaderBlockSize);
    auto header = block ? decodeArchivedLogHeader(*block) : std::nullopt;
    if (!header) raiseError(308, name);
    if (header->dbid != s_.dbid) raiseError(1284, name);
    for (const auto& log : s_.archivedLogs) {
        if (upper(log.name) == upper(name)) return;  // known already
    }
    FileRecord r;
    r.recid = s_.nextRecid++;
    r.stamp = s_.nextStamp++;
    r.name = name;
    r.sequence = header->sequence;
    r.firstChange = header->firstChange;
    r.nextChange = header->nextChange;
    r.blocks = header->blocks;
    r.resetlogsChange = header->resetlogsChange;
    for (const auto& dest : s_.archiveDests) {
        std::string prefix = upper(dest.location) + "\\";
        if (upper(name).compare(0, prefix.size(), prefix) == 0) {
            r.destId = dest.id;
            r.recoveryArea = dest.recoveryArea;
        }
    }
    s_.archivedLogs.push_back(r);
}

void Instance::resetIncarnation(int number) {
    requireStatus(InstanceStatus::Mounted);
    for (const auto& i : s_.incarnations) {
        if (i.number == number) {
            s_.resetlogsChange = i.resetlogsChange;
            return;
        }
    }
    raiseError(19571, "incarnation " + std::to_string(number));
}

void Instance::shutdown(bool abort) {
    if (s_.status == InstanceStatus::Down) raiseError(1034);
    if (!abort) {
        for (const auto& file : s_.datafiles) {
            if (file.backupMode) raiseError(1149, std::to_string(file.number));
        }
        if (s_.status == InstanceStatus::Open) {
            s_.status = InstanceStatus::Mounted;  // closed: headers are written clean
            checkpoint();
        }
    }
    s_.status = InstanceStatus::Down;
    s_.readOnly = false;
    s_.usingSnapshotControlFile = false;
    s_.pipes.clear();  // pipes live in the instance's memory
    ++s_.startupCount;
}

void Instance::checkpoint() {
    requireMounted();
    advanceCheckpoint();
}

void Instance::advanceCheckpoint() {
    s_.checkpointChange = s_.nextChange();
    for (auto& file : s_.datafiles) {
        if (!file.online || file.backupMode) continue;
        file.checkpoint = s_.checkpointChange;
        file.fuzzy = headersFuzzy();
        writeDatafileHeader(file);
    }
    writeControlFiles("CURRENT");
}

void Instance::writeDatafileHeader(const Datafile& file) {
    DatafileHeader h;
    h.dbid = s_.dbid;
    h.fileNumber = file.number;
    h.checkpoint = file.checkpoint;
    h.fuzzy = file.fuzzy;
    h.backupMode = file.backupMode;
    h.tablespace = s_.tablespaceName(file.tablespace);
    std::string block = encodeHeader(h);
    bool written =
        storage_.exists(file.name)
            ? storage_.overwriteStart(file.name, block)
            : storage_.createFile(file.name, block + std::string(16 * kDatafileBlockSize, '\0'));
    if (!written) raiseError(19504, file.name);
}

std::optional<DatafileHeader> Instance::readDatafileHeader(const Datafile& file) {
    auto block = storage_.readStart(file.name, kHeaderBlockSize);
    return block ? decodeDatafileHeader(*block) : std::nullopt;
}

void Instance::writeControlFiles(const std::string& type) {
    ControlFileHeader h{s_.dbid, type, s_.checkpointChange};
    std::string block = encodeHeader(h);
    for (const auto& name : s_.controlFiles()) {
        if (!storage_.createFile(name, block + std::string(4 * kHeaderBlockSize, '\0')))
            raiseError(19504, name);
    }
}

void Instance::createFiles() {
    for (const auto& file : s_.datafiles) writeDatafileHeader(file);
    writeControlFiles("CURRENT");
    if (!OnlineLog(s_, storage_).createAll()) raiseError(19504, "(online log)");
    for (const auto& temp : s_.tempFiles)
        storage_.createFile(temp, std::string(kDatafileBlockSize, '\0'));
    if (!s_.blockChangeTrackingFile.empty())
        storage_.createFile(s_.blockChangeTrackingFile, std::string(kDatafileBlockSize, '\0'));
    std::string parameters = formatParameterFile(s_.parameters);
    if (!s_.serverParameterFile.empty()) storage_.createFile(s_.serverParameterFile, parameters);
    if (!s_.initParameterFile.empty()) storage_.createFile(s_.initParameterFile, parameters);
}

void Instance::archiveTo(const ArchiveDest& dest, int sequence, uint64_t first, uint64_t next,
                         const std::string& body) {
    uint32_t blocks = uint32_t(body.size() / kHeaderBlockSize);
    char fileName[64];
    std::snprintf(fileName, sizeof fileName, "ARC%05d_%llu.%s", sequence,
                  static_cast<unsigned long long>(s_.resetlogsChange),
                  dest.recoveryArea ? "RA" : "ARC");
    FileRecord r;
    r.recid = s_.nextRecid++;
    r.stamp = s_.nextStamp++;
    r.name = dest.location + (dest.location.empty() || dest.location.back() == '\\' ? "" : "\\") +
             fileName;
    r.destId = dest.id;
    r.sequence = sequence;
    r.firstChange = first;
    r.nextChange = next;
    r.blocks = blocks;
    r.blockSize = kHeaderBlockSize;
    r.recoveryArea = dest.recoveryArea;
    r.resetlogsChange = s_.resetlogsChange;
    ArchivedLogHeader h{s_.dbid, sequence, first, next, s_.resetlogsChange, blocks};
    // The file's size is (blocks + 1) * block size: the header block and the redo.
    if (!storage_.createFile(r.name, encodeHeader(h) + body)) raiseError(19504, r.name);
    s_.archivedLogs.push_back(r);
}

void Instance::archiveLogCurrent() {
    requireStatus(InstanceStatus::Open);
    if (!s_.archiveLog) raiseError(258);
    int sequence = s_.logSequence;
    uint64_t first = s_.logFirstChange;
    OnlineLog online(s_, storage_);
    auto body = online.currentBody();
    if (!body) raiseError(313, std::to_string(online.currentGroup()));
    std::string redo = padToLogBlocks(*body);
    uint64_t next = s_.nextChange(10);
    for (const auto& dest : s_.archiveDests) {
        if (dest.status == "VALID" && !dest.location.empty())
            archiveTo(dest, sequence, first, next, redo);
    }
    startNextLog(next);
}

void Instance::switchLogfile() {
    requireStatus(InstanceStatus::Open);
    if (s_.archiveLog) {
        archiveLogCurrent();
        return;
    }
    startNextLog(s_.nextChange(10));
}

void Instance::startNextLog(uint64_t firstChange) {
    ++s_.logSequence;
    s_.logFirstChange = firstChange;
    if (!OnlineLog(s_, storage_).startCurrent())
        raiseError(313, std::to_string(OnlineLog(s_, storage_).currentGroup()));
    // The datafile headers move at checkpoints only. Archived, the redo since
    // their checkpoint stays at hand; otherwise the log just reused held it.
    if (!s_.archiveLog) checkpoint();
}

void Instance::beginBackup(const std::string& name) {
    requireStatus(InstanceStatus::Open);
    Tablespace* ts = s_.tablespace(name);
    if (!ts) raiseError(959, name);
    if (!s_.archiveLog) raiseError(1123);
    for (const auto& file : s_.datafiles) {
        if (file.tablespace == ts->number && file.backupMode)
            raiseError(1146, std::to_string(file.number));
    }
    uint64_t change = s_.nextChange();
    for (auto& file : s_.datafiles) {
        if (file.tablespace != ts->number || !file.online) continue;
        file.checkpoint = change;
        file.fuzzy = true;
        file.backupMode = true;
        writeDatafileHeader(file);
    }
}

void Instance::endBackup(const std::string& name) {
    requireStatus(InstanceStatus::Open);
    Tablespace* ts = s_.tablespace(name);
    if (!ts) raiseError(959, name);
    bool any = false;
    uint64_t change = s_.nextChange();
    for (auto& file : s_.datafiles) {
        if (file.tablespace != ts->number || !file.backupMode) continue;
        any = true;
        file.backupMode = false;
        file.checkpoint = change;
        file.fuzzy = headersFuzzy();
        writeDatafileHeader(file);
    }
    if (!any) raiseError(1142);
}

void Instance::renameFile(const std::string& from, const std::string& to) {
    requireMounted();
    if (!storage_.exists(to)) raiseError(1511, "new file '" + to + "' not found");
    for (auto& file : s_.datafiles) {
        if (!sameFile(file.name, from)) continue;
        if (s_.status == InstanceStatus::Open && file.online)
            raiseError(1511, "data file " + std::to_string(file.number) + " is online");
        file.name = to;
        return;
    }
    if (s_.status == InstanceStatus::Open) raiseError(1511, "database is open");
    for (auto& log : s_.logMembers) {
        if (sameFile(log.member, from)) {
            log.member = to;
            return;
        }
    }
    for (auto& temp : s_.tempFiles) {
        if (sameFile(temp, from)) {
            temp = to;
            return;
        }
    }
    if (!s_.blockChangeTrackingFile.empty() && sameFile(s_.blockChangeTrackingFile, from)) {
        s_.blockChangeTrackingFile = to;
        return;
    }
    raiseError(1516, from);
}

void Instance::setArchiveLogMode(bool archiveLog) {
    requireStatus(InstanceStatus::Mounted);
    s_.archiveLog = archiveLog;
}

void Instance::makeSnapshotControlFile() {
    requireMounted();
    if (s_.snapshotControlFile.empty()) raiseError(19504, "(no snapshot control file name)");
    ControlFileHeader h{s_.dbid, "BACKUP", s_.checkpointChange};
    if (!storage_.createFile(s_.snapshotControlFile,
                             encodeHeader(h) + std::string(4 * kHeaderBlockSize, '\0')))
        raiseError(19504, s_.snapshotControlFile);
    s_.usingSnapshotControlFile = true;
}

void Instance::useCurrentControlFile() {
    requireMounted();
    s_.usingSnapshotControlFile = false;
}

void Instance::copyControlFile(const std::string& from, const std::string& to) {
    if (s_.status == InstanceStatus::Down) raiseError(1034);
    auto block = storage_.readStart(from, kHeaderBlockSize);
    if (!block || !decodeControlFileHeader(*block)) raiseError(19505, from);
    if (!storage_.copyFile(from, to)) raiseError(19504, to);
}

void Instance::markBackedUp(int recordKind, uint32_t recid, uint32_t stamp) {
    requireMounted();
    std::vector<FileRecord>* records = nullptr;
    const char* what = "";
    switch (recordKind) {
        case kArchivedLogRecord:
            records = &s_.archivedLogs;
            what = "archived log";
            break;
        case kBackupPieceRecord:
            records = &s_.backupPieces;
            what = "backup piece";
            break;
        case kDatafileCopyRecord:
            records = &s_.datafileCopies;
            what = "datafile copy";
            break;
        default: raiseError(19571, "record kind " + std::to_string(recordKind));
    }
    for (auto& r : *records) {
        if (r.recid == recid && r.stamp == stamp) {
            r.backedUp = true;
            return;
        }
    }
    raiseError(19571,
               std::string(what) + " " + std::to_string(recid) + "/" + std::to_string(stamp));
}

void Instance::setDatafileOnline(int number, bool online) {
    Datafile& file = findDatafile(number);
    file.online = online;
}

void Instance::setDatafileFuzzy(int number, bool fuzzy) {
    Datafile& file = findDatafile(number);
    file.fuzzy = fuzzy;
    writeDatafileHeader(file);
}

}  // namespace vorlix
