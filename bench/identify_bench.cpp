// Times the identify event of one instance: inside the writer, from the
// event's start to its return, and end to end as the requester sees it. The
// writer-side time is split into the time inside the client library's calls
// (VCI.dll), inside the shadow-copy library's metadata calls, and the
// writer's own, by clocks around each call.
// Usage: identify_bench SID VSSREQ.EXE [ROUNDS]

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench_writer.h"
#include "bench/requester_run.h"
#include "snapscribe/db/vci_api.h"

namespace {

constexpr VSS_ID kBenchWriterId = {
    0x6e1d04a7, 0x38c2, 0x4f19, {0xa4, 0x0b, 0x7c, 0x55, 0x91, 0x2e, 0xd6, 0x03}};

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// Seconds spent inside one library's calls.
struct CallClock {
    double seconds = 0;
    long calls = 0;
};
CallClock vciClock, metadataClock;

class Stopwatch {
public:
    explicit Stopwatch(CallClock& clock) : clock_(clock) { QueryPerformanceCounter(&start_); }
    ~Stopwatch() {
        clock_.seconds += secondsSince(start_);
        ++clock_.calls;
    }

private:
    CallClock& clock_;
    LARGE_INTEGER start_;
};

// Stands in the library's table for one of its calls and times it.
template <auto Member, typename Function>
struct TimedVciCall;
template <auto Member, typename Result, typename... Args>
struct TimedVciCall<Member, Result (*)(Args...)> {
    static inline Result (*original)(Args...) = nullptr;
    static Result call(Args... args) {
        Stopwatch stopwatch(vciClock);
        return original(args...);
    }
    static void install(vorlix::VciLibrary& library) {
        original = library.*Member;
        library.*Member = &call;
    }
};

void timeVciCalls() {
    // The writer reaches the library only through this table.
    auto& library = const_cast<vorlix::VciLibrary&>(*snapscribe::loadVci());
#define TIME_VCI_CALL(name) \
    TimedVciCall<&vorlix::VciLibrary::name, decltype(vorlix::VciLibrary::name)>::install(library);
    VCI_LIBRARY_FUNCTIONS(TIME_VCI_CALL)
#undef TIME_VCI_CALL
}

// Passes every metadata call on to the shadow-copy library's object, timed.
class TimedMetadata final : public IVssCreateWriterMetadata {
public:
    explicit TimedMetadata(IVssCreateWriterMetadata* inner) : inner_(inner) {}

    HRESULT STDMETHODCALLTYPE AddIncludeFiles(LPCWSTR path, LPCWSTR filespec, boolean recursive,
                                              LPCWSTR alternate) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddIncludeFiles(path, filespec, recursive, alternate);
    }
    HRESULT STDMETHODCALLTYPE AddExcludeFiles(LPCWSTR path, LPCWSTR filespec,
                                              boolean recursive) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddExcludeFiles(path, filespec, recursive);
    }
    HRESULT STDMETHODCALLTYPE AddComponent(VSS_COMPONENT_TYPE type, LPCWSTR logicalPath,
                                           LPCWSTR name, LPCWSTR caption, const BYTE* icon,
                                           UINT iconBytes, boolean restoreMetadata,
                                           boolean notifyOnBackupComplete, boolean selectable,
                                           boolean selectableForRestore, DWORD flags) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddComponent(type, logicalPath, name, caption, icon, iconBytes,
                                    restoreMetadata, notifyOnBackupComplete, selectable,
                                    selectableForRestore, flags);
    }
    HRESULT STDMETHODCALLTYPE AddDatabaseFiles(LPCWSTR logicalPath, LPCWSTR database, LPCWSTR path,
                                               LPCWSTR filespec, DWORD mask) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddDatabaseFiles(logicalPath, database, path, filespec, mask);
    }
    HRESULT STDMETHODCALLTYPE AddDatabaseLogFiles(LPCWSTR logicalPath, LPCWSTR database,
                                                  LPCWSTR path, LPCWSTR filespec,
                                                  DWORD mask) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddDatabaseLogFiles(logicalPath, database, path, filespec, mask);
    }
    HRESULT STDMETHODCALLTYPE AddFilesToFileGroup(LPCWSTR logicalPath, LPCWSTR group, LPCWSTR path,
                                                  LPCWSTR filespec, boolean recursive,
                                                  LPCWSTR alternate, DWORD mask) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddFilesToFileGroup(logicalPath, group, path, filespec, recursive, alternate,
                                           mask);
    }
    HRESULT STDMETHODCALLTYPE SetRestoreMethod(VSS_RESTOREMETHOD_ENUM method, LPCWSTR service,
                                               LPCWSTR procedure, VSS_WRITERRESTORE_ENUM restore,
                                               boolean reboot) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->SetRestoreMethod(method, service, procedure, restore, reboot);
    }
    HRESULT STDMETHODCALLTYPE AddAlternateLocationMapping(LPCWSTR path, LPCWSTR filespec,
                                                          boolean recursive,
                                                          LPCWSTR destination) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddAlternateLocationMapping(path, filespec, recursive, destination);
    }
    HRESULT STDMETHODCALLTYPE AddComponentDependency(LPCWSTR forLogicalPath, LPCWSTR forName,
                                                     VSS_ID onWriter, LPCWSTR onLogicalPath,
                                                     LPCWSTR onName) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->AddComponentDependency(forLogicalPath, forName, onWriter, onLogicalPath,
                                              onName);
    }
    HRESULT STDMETHODCALLTYPE SetBackupSchema(DWORD mask) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->SetBackupSchema(mask);
    }
    HRESULT STDMETHODCALLTYPE GetDocument(IXMLDOMDocument** document) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->GetDocument(document);
    }
    HRESULT STDMETHODCALLTYPE SaveAsXML(BSTR* xml) override {
        Stopwatch stopwatch(metadataClock);
        return inner_->SaveAsXML(xml);
    }

private:
    IVssCreateWriterMetadata* inner_;
};

// One event's writer-side seconds and the shares inside the two libraries.
struct EventTimes {
    double total = 0;
    double vci = 0;
    double metadata = 0;
    long vciCalls = 0;
    long metadataCalls = 0;
};

class TimedWriter : public snapscribe::CVssWriterVorlix {
public:
    bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* metadata) override {
        vciClock = {};
        metadataClock = {};
        TimedMetadata timed(metadata);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        const bool result = CVssWriterVorlix::OnIdentify(&timed);
        events.push_back({secondsSince(start), vciClock.seconds, metadataClock.seconds,
                          vciClock.calls, metadataClock.calls});
        return result;
    }
    std::vector<EventTimes> events;
};

// Runs the requester's listing with its output in `outputFile`; the seconds it took.
double listWriters(const std::wstring& vssreq, const std::wstring& sid,
                   const std::wstring& outputFile) {
    const std::wstring commandLine = L"\"" + vssreq + L"\" writers --instance " + sid;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (bench::runWithOutputIn(commandLine, outputFile) == 255) return -1;
    return secondsSince(start);
}

// Components and files in the listing, and whether the event succeeded.
struct Counts {
    int components = 0;
    int files = 0;
    bool succeeded = false;
};

Counts countListing(const std::wstring& outputFile) {
    Counts counts;
    FILE* listing = _wfopen(outputFile.c_str(), L"r");
    if (listing == nullptr) return counts;
    char line[2048];
    while (std::fgets(line, sizeof line, listing) != nullptr) {
        const std::string text(line);
        if (text.rfind("Identify", 0) == 0)
            counts.succeeded = text.find("succeeded") != std::string::npos;
        if (text.rfind("  component ", 0) == 0) ++counts.components;
        if (text.find(" mask 0x") != std::string::npos) ++counts.files;
    }
    std::fclose(listing);
    return counts;
}

double minimum(const std::vector<double>& values) {
    double least = values.empty() ? 0 : values.front();
    for (double value : values) least = value < least ? value : least;
    return least;
}

EventTimes fastest(const std::vector<EventTimes>& events) {
    EventTimes best = events.empty() ? EventTimes{} : events.front();
    for (const auto& event : events) best = event.total < best.total ? event : best;
    return best;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: identify_bench SID VSSREQ.EXE [ROUNDS]\n");
        return 1;
    }
    const std::wstring sid = argv[1];
    const int rounds = argc > 3 ? _wtoi(argv[3]) : 3;
    bench::prepareWriterSettings(sid);

    if (snapscribe::loadVci() == nullptr) {
        std::fwprintf(stderr, L"identify_bench: VCI.dll cannot be loaded\n");
        return 2;
    }
    timeVciCalls();
    TimedWriter writer;
    if (!bench::subscribeWriter(writer, kBenchWriterId, sid)) {
        std::fwprintf(stderr, L"identify_bench: the writer cannot subscribe\n");
        return 2;
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring outputFile = std::wstring(temp) + L"identify_bench_" + sid + L".txt";
    std::vector<double> endToEnd;
    for (int round = 0; round < rounds; ++round) {
        endToEnd.push_back(listWriters(argv[2], sid, outputFile));
    }
    writer.Unsubscribe();
    const Counts counts = countListing(outputFile);
    DeleteFileW(outputFile.c_str());
    const EventTimes best = fastest(writer.events);
    std::printf(
        "identify %ls: %s, %d components, %d files; best of %d: writer-side %.1f ms "
        "(VCI.dll %.1f ms in %ld calls, shadow-copy library %.1f ms in %ld calls, "
        "writer's own %.1f ms), end to end through vssreq %.1f ms\n",
        sid.c_str(), counts.succeeded ? "succeeded" : "FAILED", counts.components, counts.files,
        rounds, best.total * 1000, best.vci * 1000, best.vciCalls, best.metadata * 1000,
        best.metadataCalls, (best.total - best.vci - best.metadata) * 1000,
        minimum(endToEnd) * 1000);
    return counts.succeeded ? 0 : 3;
}
