// Times the post-snapshot event of a hot full backup whose restore metadata
// carries one archived log of a given size: inside the writer, from the
// event's start to its return, and the whole backup as the requester runs
// it, with the writer's peak private bytes.
// Usage: post_snapshot_bench SID VSSREQ.EXE SETDIR LOGBYTES
//
// The stand-in's logs hold only the redo of the changes made, so the log the
// thaw switch archives is grown to LOGBYTES (its file and its recorded
// block count) just before post-snapshot, outside the timed event.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_writer.h"
#include "bench/requester_run.h"
#include "bench/timing.h"
#include "support/unique_handle.h"

namespace {

constexpr std::uint64_t kLogBlockBytes = 512;

std::string readText(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The state file's last archived-log record: its file name and block count
// are rewritten in place of the text.
struct NewestLog {
    std::string name;
    std::size_t blocksAt = 0, blocksEnd = 0;
};

NewestLog newestLog(const std::string& state) {
    NewestLog log;
    const std::size_t section = state.find("\"archivedLogs\"");
    const std::size_t end = state.find("\"backupPieces\"", section);
    const std::size_t record = state.rfind("{", state.rfind("\"blocks\": ", end));
    log.blocksAt = state.find("\"blocks\": ", record) + 10;
    log.blocksEnd = state.find_first_of(",\r\n", log.blocksAt);
    const std::size_t nameAt = state.find("\"name\": \"", record) + 9;
    for (std::size_t at = nameAt; state[at] != '"'; ++at) {
        if (state[at] == '\\') ++at;
        log.name += state[at];
    }
    return log;
}

// The log keeps its header and records; a zero block after them ends the
// records for recovery, and bytes of every value fill the rest, so the
// encoding is not the one of a blank file.
bool fillFile(const std::string& name, std::uint64_t bytes) {
    support::KernelHandle file(
        CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) ||
        !SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END))
        return false;
    std::vector<char> chunk(1 << 20);
    std::uint32_t seed = 2463534242u;
    for (char& byte : chunk) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        byte = static_cast<char>(seed);
    }
    const std::vector<char> endOfRecords(kLogBlockBytes, '\0');
    DWORD written = 0;
    if (!WriteFile(file.get(), endOfRecords.data(), kLogBlockBytes, &written, nullptr))
        return false;
    for (std::uint64_t done = static_cast<std::uint64_t>(size.QuadPart) + kLogBlockBytes;
         done < bytes; done += chunk.size()) {
        const DWORD part = static_cast<DWORD>(std::min<std::uint64_t>(chunk.size(), bytes - done));
        if (!WriteFile(file.get(), chunk.data(), part, &written, nullptr)) return false;
    }
    return SetEndOfFile(file.get()) != 0;
}

std::string growNewestLog(const std::wstring& sid, std::uint64_t bytes) {
    wchar_t home[MAX_PATH];
    GetEnvironmentVariableW(L"VORLIX_HOME", home, MAX_PATH);
    const std::wstring state = std::wstring(home) + L"\\instances\\" + sid + L"\\state.json";
    support::KernelHandle mutex(CreateMutexW(nullptr, FALSE, (L"VorlixInstance." + sid).c_str()));
    WaitForSingleObject(mutex.get(), INFINITE);
    std::string text = readText(state);
    const NewestLog log = newestLog(text);
    text.replace(log.blocksAt, log.blocksEnd - log.blocksAt,
                 std::to_string(bytes / kLogBlockBytes - 1));
    std::ofstream((state + L".grow").c_str(), std::ios::binary) << text;
    MoveFileExW((state + L".grow").c_str(), state.c_str(), MOVEFILE_REPLACE_EXISTING);
    ReleaseMutex(mutex.get());
    return fillFile(log.name, bytes) ? log.name : std::string();
}

class GrowingWriter : public snapscribe::CVssWriterVorlix {
public:
    GrowingWriter(std::wstring sid, std::uint64_t bytes) : sid_(std::move(sid)), bytes_(bytes) {}

    bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* components) override {
        grownLog = growNewestLog(sid_, bytes_);
        bool result = false;
        eventSeconds = bench::timed([&] { result = CVssWriterVorlix::OnPostSnapshot(components); });
        // Said at once: what follows the event (the framework sending the
        // document) may not survive a document this large in a 32-bit process.
        std::printf(
            "post-snapshot %s, writer-side %.2f s (%.1f MB/s of log), working set %.0f MiB\n",
            result ? "succeeded" : "FAILED", eventSeconds, bytes_ / 1e6 / eventSeconds,
            bench::memoryCounters().PeakWorkingSetSize / 1048576.0);
        std::fflush(stdout);
        return result;
    }

    std::string grownLog;
    double eventSeconds = 0;

private:
    std::wstring sid_;
    std::uint64_t bytes_;
};

DWORD runBackup(const std::wstring& vssreq, const std::wstring& sid, const std::wstring& set,
                const std::wstring& outputFile) {
    return bench::runWithOutputIn(L"\"" + vssreq + L"\" backup --type FULL --instance " + sid +
                                      L" --set \"" + set + L"\" --component \"" + sid +
                                      L"\\Vorlix Database\"",
                                  outputFile);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fwprintf(stderr, L"usage: post_snapshot_bench SID VSSREQ.EXE SETDIR LOGBYTES\n");
        return 1;
    }
    const std::wstring sid = argv[1];
    const std::uint64_t bytes = _wcstoui64(argv[4], nullptr, 10);
    bench::prepareWriterSettings(sid);
    GrowingWriter writer(sid, bytes);
    if (!bench::subscribeWriter(writer, bench::kBackupWriterId, sid)) {
        std::fwprintf(stderr, L"post_snapshot_bench: the writer cannot subscribe\n");
        return 2;
    }
    const std::wstring outputFile = std::wstring(argv[3]) + L".txt";
    const PROCESS_MEMORY_COUNTERS_EX before = bench::memoryCounters();
    DWORD code = 0;
    const double endToEnd =
        bench::timed([&] { code = runBackup(argv[2], sid, argv[3], outputFile); });
    writer.Unsubscribe();

    const PROCESS_MEMORY_COUNTERS_EX after = bench::memoryCounters();
    const double mib = 1024.0 * 1024.0;
    std::printf("archived log %s: %.0f MiB\n", writer.grownLog.c_str(), bytes / mib);
    std::printf("requester exit code %lu\n", code);
    std::printf("whole backup through vssreq %.2f s\n", endToEnd);
    // Wine's private-bytes counters leave heap blocks out; the blocks the
    // event fills are private to the process and all touched, so the peak
    // working set above the one before the backup stands for them.
    std::printf(
        "writer peak working set %.0f MiB, %.0f MiB above its %.0f MiB before the backup; "
        "floor 4/3 x log %.0f MiB\n",
        after.PeakWorkingSetSize / mib, (after.PeakWorkingSetSize - before.WorkingSetSize) / mib,
        before.WorkingSetSize / mib, bytes * 4.0 / 3.0 / mib);
    return code == 0 && !writer.grownLog.empty() ? 0 : 3;
}
