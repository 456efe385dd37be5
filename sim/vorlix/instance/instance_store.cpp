#include "sim/vorlix/instance/instance_store.h"

#include <windows.h>

#include <cstdlib>
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

InstanceState& InstanceStore::load() const {
    auto stamp = stampOnDisk();
    if (stamp && kept_->stamp == stamp) return kept_->state;
    forgetState();
    auto text = readWholeFile(statePath());
    if (!text) throw std::runtime_error("no state file in " + directory_);
    kept_->state = stateFromJson(*text);
    kept_->stamp = stamp;
    return kept_->state;
}

InstanceState InstanceStore::read() const {
    Lock lock(*this);
    return load();  // a copy: the kept state changes only under the lock
}

void InstanceStore::create(const InstanceState& state) const {
    Lock lock(*this);
    createDirectories(widen(directory_));
    save(state);
}

void InstanceStore::save(const InstanceState& state) const {
    forgetState();
    std::wstring path = statePath();
    std::wstring temporary = path + L".new";
    if (!WinStorage().createFile(narrow(temporary), toJson(state)) ||
        !MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw std::runtime_error("cannot write the state file in " + directory_);
    auto stamp = stampOnDisk();
    uint64_t generation = stamp ? stamp->generation + 1 : 1;
    if (!WinStorage().createFile(narrow(generationPath()), std::to_string(generation)))
        throw std::runtime_error("cannot write the state generation in " + directory_);
    if (&kept_->state != &state) kept_->state = state;
    kept_->stamp = stampOnDisk();
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
