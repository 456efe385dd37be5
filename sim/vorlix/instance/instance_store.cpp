#include "sim/vorlix/instance/instance_store.h"

#include <windows.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "sim/vorlix/instance/settings.h"
#include "sim/vorlix/instance/text.h"
#include "sim/vorlix/instance/win_storage.h"

namespace vorlix {

namespace {

std::string trim(const std::string& s) {
    size_t begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    return s.substr(begin, s.find_last_not_of(" \t\r\n") - begin + 1);
}

std::string namesFile(const std::string& home) { return home + "\\network\\names.txt"; }

std::optional<std::string> readWholeFile(const std::wstring& path) {
    support::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    std::string data;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        data.append(buffer, read);
    return data;
}

}  // namespace

std::optional<std::string> vorlixHome() {
    auto home = readSetting("VORLIX_HOME");
    if (!home || home->empty()) return std::nullopt;
    while (home->size() > 3 && (home->back() == '\\' || home->back() == '/')) home->pop_back();
    return home;
}

std::string instanceDirectory(const std::string& home, const std::string& sid) {
    return home + "\\instances\\" + upper(sid);
}

std::wstring serviceNameOf(const std::string& sid) { return L"VorlixService" + widen(upper(sid)); }

bool serviceRunning(const std::string& sid) {
    support::ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    support::ServiceHandle service(
        OpenServiceW(manager.get(), serviceNameOf(sid).c_str(), SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    return service && QueryServiceStatus(service.get(), &status) &&
           status.dwCurrentState == SERVICE_RUNNING;
}

std::optional<std::string> resolveNetServiceName(const std::string& home, const std::string& name) {
    auto text = readWholeFile(widen(namesFile(home)));
    if (!text) return std::nullopt;
    size_t start = 0;
    while (start < text->size()) {
        size_t end = text->find('\n', start);
        std::string line = text->substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text->size() : end + 1;
        size_t equals = line.find('=');
        if (line.find('#') == 0 || equals == std::string::npos) continue;
        if (upper(trim(line.substr(0, equals))) == upper(trim(name)))
            return upper(trim(line.substr(equals + 1)));
    }
    return std::nullopt;
}

bool addNetServiceName(const std::string& home, const std::string& name, const std::string& sid) {
    std::wstring path = widen(namesFile(home));
    std::string text = readWholeFile(path).value_or("# net service name = instance\r\n");
    text += upper(name) + " = " + upper(sid) + "\r\n";
    return WinStorage().createFile(namesFile(home), text);
}

InstanceStore::InstanceStore(std::string directory, std::string sid)
    : directory_(std::move(directory)), sid_(upper(std::move(sid))) {}

std::optional<InstanceStore> InstanceStore::find(const std::string& sid) {
    auto home = vorlixHome();
    if (!home || sid.empty()) return std::nullopt;
    InstanceStore store(instanceDirectory(*home, sid), sid);
    if (!store.exists()) return std::nullopt;
    return store;
}

std::wstring InstanceStore::statePath() const { return widen(directory_) + L"\\state.json"; }

bool InstanceStore::exists() const {
    return GetFileAttributesW(statePath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring InstanceStore::mutexName() const { return L"VorlixInstance." + widen(sid_); }

InstanceStore::Lock::Lock(const InstanceStore& store)
    : mutex_(CreateMutexW(nullptr, FALSE, store.mutexName().c_str())) {
    if (!mutex_) throw std::runtime_error("cannot create the instance lock");
    DWORD wait = WaitForSingleObject(mutex_.get(), INFINITE);
    // An owner that died left the state file whole (it is replaced, never rewritten in place).
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        throw std::runtime_error("cannot take the instance lock");
}

InstanceStore::Lock::~Lock() { ReleaseMutex(mutex_.get()); }

std::wstring InstanceStore::generationPath() const {
    return widen(directory_) + L"\\state.generation";
}

std::optional<InstanceStore::FileStamp> InstanceStore::stampOnDisk() const {
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(statePath().c_str(), GetFileExInfoStandard, &attributes))
        return std::nullopt;
    FileStamp stamp;
    stamp.size = (uint64_t(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    stamp.lastWrite = (uint64_t(attributes.ftLastWriteTime.dwHighDateTime) << 32) |
                      attributes.ftLastWriteTime.dwLowDateTime;
    auto generation = readWholeFile(generationPath());
    stamp.generation = generation ? std::strtoull(generation->c_str(), nullptr, 10) : 0;
    return stamp;
}

std::wstring InstanceStore::partsDirectory() const { return widen(directory_) + L"\\parts"; }

std::wstring InstanceStore::partPath(const std::string& file) const {
    return partsDirectory() + L"\\" + widen(file);
}

void InstanceStore::forgetState() const { kept_->stamp.reset(); }

InstanceState& InstanceStore::load() const {
    auto stamp = stampOnDisk();
    KeptState& kept = *kept_;
    if (stamp && kept.stamp == stamp) return kept.state;
    try {
        auto core = readWholeFile(statePath());
        if (!core) throw std::runtime_error("no state file in " + directory_);
        PartFiles parts;
        InstanceState state = stateFromCore(*core, parts);
        readParts(state, parts);
        kept.state = std::move(state);
        kept.core = std::move(*core);
        kept.parts = std::move(parts);
        kept.stamp = stamp;
        return kept.state;
    } catch (...) {
        forgetState();  // parts may have been taken from it
        throw;
    }
}

// Fills the long lists part by part: a part the kept state has in the same
// file is taken from it, any other read from its file.
void InstanceStore::readParts(InstanceState& state, const PartFiles& parts) const {
    KeptState& kept = *kept_;
    for (LongList list : kLongLists) {
        const auto& files = parts[size_t(list)];
        const auto& keptFiles = kept.parts[size_t(list)];
        auto& fingerprints = kept.fingerprints[size_t(list)];
        std::vector<uint64_t> read;
        for (size_t part = 0; part < files.size(); ++part) {
            if (kept.stamp && part < keptFiles.size() && keptFiles[part] == files[part]) {
                appendPartFrom(state, kept.state, list, part);
                read.push_back(fingerprints[part]);
                continue;
            }
            auto text = readWholeFile(partPath(files[part]));
            if (!text)
                throw std::runtime_error("no state part " + files[part] + " in " + directory_);
            appendPartFromJson(state, list, *text);
            read.push_back(partFingerprint(state, list, part));
        }
        fingerprints = std::move(read);
    }
}

InstanceState InstanceStore::read() const {
    Lock lock(*this);
    return load();  // a copy: the kept state changes only under the lock
}

void InstanceStore::create(const InstanceState& state) const {
    Lock lock(*this);
    forgetState();  // every part is written
    createDirectories(widen(directory_));
    save(state);
}

void InstanceStore::save(const InstanceState& state) const {
    KeptState& kept = *kept_;
    const uint64_t generation = storedGeneration() + 1;
    PartsPlan plan = planParts(state, generation);
    std::string core = coreToJson(state, plan.files);
    const bool partsOnDiskKnown = kept.stamp.has_value();
    if (partsOnDiskKnown && plan.changed.empty() && core == kept.core) return;

    forgetState();  // until all is written
    writeParts(state, plan);
    replaceStateFile(core, generation);
    if (partsOnDiskKnown)
        removeReplacedParts(kept.parts, plan.files);
    else
        removePartsOtherThan(plan.files);
    if (&kept.state != &state) kept.state = state;
    kept.core = std::move(core);
    kept.parts = std::move(plan.files);
    kept.fingerprints = std::move(plan.fingerprints);
    kept.stamp = stampOnDisk();
}

// A kept stamp was checked against the files under this lock; only without
// one is the generation read from disk.
uint64_t InstanceStore::storedGeneration() const {
    if (kept_->stamp) return kept_->stamp->generation;
    const auto stamp = stampOnDisk();
    return stamp ? stamp->generation : 0;
}

InstanceStore::PartsPlan InstanceStore::planParts(const InstanceState& state,
                                                  uint64_t generation) const {
    const KeptState& kept = *kept_;
    PartsPlan plan;
    for (LongList list : kLongLists) {
        const auto& keptFiles = kept.parts[size_t(list)];
        const auto& keptFingerprints = kept.fingerprints[size_t(list)];
        auto& files = plan.files[size_t(list)];
        for (size_t part = 0; part < partCount(state, list); ++part) {
            const uint64_t fingerprint = partFingerprint(state, list, part);
            plan.fingerprints[size_t(list)].push_back(fingerprint);
            if (kept.stamp && part < keptFiles.size() && keptFingerprints[part] == fingerprint) {
                files.push_back(keptFiles[part]);
                continue;
            }
            files.push_back(std::string(listName(list)) + "." + std::to_string(part) + "." +
                            std::to_string(generation) + ".json");
            plan.changed.emplace_back(list, part);
        }
    }
    return plan;
}

void InstanceStore::writeParts(const InstanceState& state, const PartsPlan& plan) const {
    if (!plan.changed.empty()) createDirectories(partsDirectory());
    for (auto [list, part] : plan.changed) {
        const std::wstring path = partPath(plan.files[size_t(list)][part]);
        if (!WinStorage().createFile(narrow(path), partToJson(state, list, part)))
            throw std::runtime_error("cannot write a state part in " + directory_);
    }
}

// Replacing the state file is what makes the new parts the state's. The new
// text is written beside the parts, not among the instance's datafiles:
// making a file that is not there yet costs Wine a look at every name in its
// directory.
void InstanceStore::replaceStateFile(const std::string& core, uint64_t generation) const {
    const std::wstring temporary = partsDirectory() + L"\\state.json.new";
    if (!WinStorage().createFile(narrow(temporary), core) ||
        !MoveFileExW(temporary.c_str(), statePath().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw std::runtime_error("cannot write the state file in " + directory_);
    if (!WinStorage().createFile(narrow(generationPath()), std::to_string(generation)))
        throw std::runtime_error("cannot write the state generation in " + directory_);
}

// A part's file is replaced only by the file of the same part, so comparing
// them part by part finds every file the state no longer names.
void InstanceStore::removeReplacedParts(const PartFiles& before, const PartFiles& after) const {
    for (size_t list = 0; list < before.size(); ++list) {
        for (size_t part = 0; part < before[list].size(); ++part) {
            if (part >= after[list].size() || after[list][part] != before[list][part])
                DeleteFileW(partPath(before[list][part]).c_str());
        }
    }
}

// Parts no state file names, when the files on disk are not known: also those
// of a write that died before replacing the state file.
void InstanceStore::removePartsOtherThan(const PartFiles& parts) const {
    std::set<std::wstring> named;
    for (const auto& files : parts) {
        for (const auto& file : files) named.insert(widen(file));
    }
    const std::wstring directory = partsDirectory();
    WIN32_FIND_DATAW found;
    support::FindHandle search(FindFirstFileW((directory + L"\\*.json").c_str(), &found));
    if (!search) return;
    do {
        if (!named.count(found.cFileName))
            DeleteFileW((directory + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search.get(), &found));
}

bool InstanceStore::waitUnlocked(InstanceState& state,
                                 const std::function<bool(const InstanceState&)>& ready,
                                 unsigned long timeoutMillis) const {
    constexpr DWORD kPollMillis = 100;
    save(state);
    // Another handle to the mutex this thread owns through `update`'s lock.
    support::KernelHandle mutex(CreateMutexW(nullptr, FALSE, mutexName().c_str()));
    if (!mutex) throw std::runtime_error("cannot open the instance lock");
    for (DWORD waited = 0;; waited += kPollMillis) {
        ReleaseMutex(mutex.get());
        Sleep(kPollMillis);
        WaitForSingleObject(mutex.get(), INFINITE);
        const InstanceState& stored = load();
        if (&stored != &state) state = stored;
        if (ready(state)) return true;
        if (waited >= timeoutMillis) return false;
    }
}

}  // namespace vorlix
