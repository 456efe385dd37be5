#pragma once
// Where instances live and how processes share them: the directory
// <VORLIX_HOME>\instances\<SID> holds the state file "state.json" (the small
// core of the state, naming the files under "parts" that hold the long lists
// in parts); a named mutex per instance makes every read-change-write atomic
// across processes. A store keeps the state it last read or wrote and reads
// again only what another process has replaced since: every write bumps a
// generation counter kept beside it ("state.generation"), checked under the
// lock together with the state file's size and time, and a part is read again
// only when the state file names another file for it.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/state.h"
#include "support/unique_handle.h"

namespace vorlix {

std::optional<std::string> vorlixHome();  // the setting VORLIX_HOME
std::string instanceDirectory(const std::string& home, const std::string& sid);
std::wstring serviceNameOf(const std::string& sid);  // VorlixService<SID>
bool serviceRunning(const std::string& sid);

// Net service names: "<home>\network\names.txt", lines "NAME = SID".
std::optional<std::string> resolveNetServiceName(const std::string& home, const std::string& name);
bool addNetServiceName(const std::string& home, const std::string& name, const std::string& sid);

class InstanceStore {
public:
    InstanceStore(std::string directory, std::string sid);
    // The instance of that name under VORLIX_HOME, when its state file exists.
    static std::optional<InstanceStore> find(const std::string& sid);

    const std::string& directory() const { return directory_; }
    const std::string& sid() const { return sid_; }
    bool exists() const;

    // Reads the state under the lock; throws std::runtime_error when it cannot.
    InstanceState read() const;
    void create(const InstanceState& state) const;

    // Runs `change` on the state under the lock and writes what it changed,
    // also when `change` throws a database error; any other throw leaves
    // nothing changed. `mayChange` tells from the state before the change
    // whether `change` can change it at all: only then is the state looked
    // over for changes, so a change that only reads costs nothing that grows
    // with the instance.
    template <typename Change, typename MayChange>
    auto update(Change change, MayChange mayChange) const {
        Lock lock(*this);
        InstanceState& state = load();
        const bool mayHaveChanged = mayChange(std::as_const(state));
        const auto saveChanges = [&] {
            if (mayHaveChanged) save(state);
        };
        try {
            if constexpr (std::is_void_v<decltype(change(state))>) {
                change(state);
                saveChanges();
            } else {
                auto result = change(state);
                saveChanges();
                return result;
            }
        } catch (const DbError&) {
            saveChanges();  // a failing statement may have changed things first
            throw;
        } catch (...) {
            forgetState();  // the kept state holds changes that were not written
            throw;
        }
    }
    template <typename Change>
    auto update(Change change) const {
        return update(change, [](const InstanceState&) { return true; });
    }

    // Only inside `update`: makes `state` visible to other processes, then
    // polls without the lock until `ready` holds for the stored state (loaded
    // into `state`) or the time is up (false).
    bool waitUnlocked(InstanceState& state, const std::function<bool(const InstanceState&)>& ready,
                      unsigned long timeoutMillis) const;

private:
    class Lock {
    public:
        explicit Lock(const InstanceStore& store);
        ~Lock();

    private:
        support::KernelHandle mutex_;
    };

    // What identifies one write of the state file.
    struct FileStamp {
        uint64_t generation = 0;
        uint64_t size = 0;
        uint64_t lastWrite = 0;
        bool operator==(const FileStamp&) const = default;
    };
    using Fingerprints = std::array<std::vector<uint64_t>, std::size(kLongLists)>;
    // The state as last read or written, and what is on disk for it.
    struct KeptState {
        std::optional<FileStamp> stamp;  // none: nothing kept, read it all again
        InstanceState state;
        std::string core;           // the state file's text
        PartFiles parts;            // the file of each part
        Fingerprints fingerprints;  // of each part
    };
    // The files a state is written in: a part that did not change keeps its
    // file, the others get new ones.
    struct PartsPlan {
        PartFiles files;
        Fingerprints fingerprints;
        std::vector<std::pair<LongList, size_t>> changed;
    };

    std::wstring statePath() const;
    std::wstring generationPath() const;
    std::wstring partsDirectory() const;
    std::wstring partPath(const std::string& file) const;
    std::wstring mutexName() const;
    std::optional<FileStamp> stampOnDisk() const;
    // Only under the lock: the kept state, brought up to date with the files.
    InstanceState& load() const;
    void readParts(InstanceState& state, const PartFiles& parts) const;
    // Only under the lock: writes the parts of `state` that differ from the
    // kept ones and the state file when anything differs.
    void save(const InstanceState& state) const;
    uint64_t storedGeneration() const;
    PartsPlan planParts(const InstanceState& state, uint64_t generation) const;
    void writeParts(const InstanceState& state, const PartsPlan& plan) const;
    void replaceStateFile(const std::string& core, uint64_t generation) const;
    void removeReplacedParts(const PartFiles& before, const PartFiles& after) const;
    void removePartsOtherThan(const PartFiles& parts) const;
    void forgetState() const;

    std::string directory_;
    std::string sid_;
    std::shared_ptr<KeptState> kept_ = std::make_shared<KeptState>();
};

}  // namespace vorlix
