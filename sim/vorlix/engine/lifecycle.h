#pragma once
// What the instance does to its state and its files: start-up, mount, open,
// shut-down, checkpoints, log switches, hot backup mode, renames and the
// control-file copies. Every operation throws DbError where the server would.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/vorlix/engine/file_headers.h"
#include "sim/vorlix/engine/state.h"
#include "sim/vorlix/engine/storage.h"

namespace vorlix {

// "name = value" lines; '#' starts a comment; ('a', 'b') lists become "a, b".
std::map<std::string, std::string> parseParameterFile(const std::string& text);
std::string formatParameterFile(const std::map<std::string, std::string>& parameters);

class Instance {
public:
    Instance(InstanceState& state, Storage& storage) : s_(state), storage_(storage) {}

    // From down to started (not mounted), reading the given parameter file, or
    // else the server parameter file, or else the instance's init file.
    void startup(const std::string& parameterFile);
    void mount();
    void open(bool readOnly, bool resetlogs = false);
    void shutdown(bool abort);

    void checkpoint();
    // Writes every datafile header not in backup mode and the control files
    // at a new checkpoint change, whatever the instance's state.
    void advanceCheckpoint();
    void archiveLogCurrent();
    void switchLogfile();
    void beginBackup(const std::string& tablespace);
    void endBackup(const std::string& tablespace);
    void renameFile(const std::string& from, const std::string& to);
    void setArchiveLogMode(bool archiveLog);

    void makeSnapshotControlFile();
    void useCurrentControlFile();
    void copyControlFile(const std::string& from, const std::string& to);
    std::string snapshotControlFileName() const { return s_.snapshotControlFile; }
    void markBackedUp(int recordKind, uint32_t recid, uint32_t stamp);
    void refreshAgedFiles() { ++s_.agedFileRefreshes; }
    void switchChangeTracking() { ++s_.bctSwitches; }

    // Media recovery from the archived logs (and the online log) on disk.
    // Complete: up to the control file's checkpoint; with `untilChange`: up
    // to that change, after which the database opens only with RESETLOGS.
    void recoverDatabase(std::optional<uint64_t> untilChange);
    void recoverDatafiles(const std::vector<int>& numbers);
    void recoverTablespaces(const std::vector<std::string>& names);
    // Records an archived log file of this database found on disk.
    void registerArchivedLog(const std::string& name);
    // Makes an earlier incarnation the current one, for a recovery into its past.
    void resetIncarnation(int number);

    void setDatafileOnline(int number, bool online);
    void setDatafileFuzzy(int number, bool fuzzy);

    Storage& storage() { return storage_; }
    void writeDatafileHeader(const Datafile& file);
    std::optional<DatafileHeader> readDatafileHeader(const Datafile& file);
    void writeControlFiles(const std::string& type);
    // Creates the datafiles, logs and control files a new instance has.
    void createFiles();

    // Record kinds of VssBackedRecord.
    static constexpr int kArchivedLogRecord = 11;
    static constexpr int kBackupPieceRecord = 13;
    static constexpr int kDatafileCopyRecord = 16;

private:
    void requireStatus(InstanceStatus wanted);
    void requireMounted();
    Datafile& findDatafile(int number);
    void archiveTo(const ArchiveDest& dest, int sequence, uint64_t first, uint64_t next,
                   const std::string& body);
    // Brings the files' headers to `target` and replays the redo onto them,
    // all of it or, with `until`, the changes before it.
    void recover(const std::vector<Datafile*>& files, uint64_t target,
                 std::optional<uint64_t> until = std::nullopt);
    uint64_t reachableChange(uint64_t from) { return followLogs(from, nullptr); }
    // Follows the archived logs on disk (then the online log) from a change;
    // hands each log's body to `visit` when given. Returns how far they lead.
    uint64_t followLogs(uint64_t from, const std::function<void(const std::string&)>& visit);
    void checkNothingAfter(const Datafile& file, uint64_t until);
    void newIncarnation();
    void startNextLog(uint64_t firstChange);
    bool headersFuzzy() const { return s_.status == InstanceStatus::Open && !s_.readOnly; }

    InstanceState& s_;
    Storage& storage_;
};

}  // namespace vorlix
