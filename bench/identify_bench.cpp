// Times the identify event of one instance: inside the writer, from the
// event's start to its return, and end to end as the requester sees it.
// Usage: identify_bench SID VSSREQ.EXE [ROUNDS]

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "snapscribe/backup/writer.h"
#include "snapscribe/host/code_page.h"
#include "snapscribe/host/writer_settings.h"
#include "support/unique_handle.h"

namespace {

constexpr VSS_ID kBenchWriterId = {
    0x6e1d04a7, 0x38c2, 0x4f19, {0xa4, 0x0b, 0x7c, 0x55, 0x91, 0x2e, 0xd6, 0x03}};

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

class TimedWriter : public snapscribe::CVssWriterVorlix {
public:
    bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* metadata) override {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        const bool result = CVssWriterVorlix::OnIdentify(metadata);
        eventSeconds.push_back(secondsSince(start));
        return result;
    }
    std::vector<double> eventSeconds;
};

// Runs the requester's listing with its output in `outputFile`; the seconds it took.
double listWriters(const std::wstring& vssreq, const std::wstring& sid,
                   const std::wstring& outputFile) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    support::KernelHandle output(CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                             &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + vssreq + L"\" writers --instance " + sid;
    PROCESS_INFORMATION started{};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return -1;
    }
    support::KernelHandle process(started.hProcess), thread(started.hThread);
    WaitForSingleObject(process.get(), INFINITE);
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: identify_bench SID VSSREQ.EXE [ROUNDS]\n");
        return 1;
    }
    const std::wstring sid = argv[1];
    const int rounds = argc > 3 ? _wtoi(argv[3]) : 3;
    snapscribe::WriterSettings& settings = snapscribe::writerSettings();
    settings.Sid = sid;
    settings.SidNarrow = snapscribe::systemNarrow(sid);
    settings.TlsIndex = TlsAlloc();
    SetEnvironmentVariableW(L"VORLIX_SID", sid.c_str());

    TimedWriter writer;
    if (FAILED(writer.Initialize(kBenchWriterId, L"Vorlix VSS Writer", VSS_UT_USERDATA,
                                 VSS_ST_TRANSACTEDDB, VSS_APP_FRONT_END, 60000,
                                 VSS_AWS_NO_ALTERNATE_WRITER, false, sid.c_str())) ||
        FAILED(writer.Subscribe(6))) {
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
    std::printf(
        "identify %ls: %s, %d components, %d files; best of %d: writer-side %.1f ms, "
        "end to end through vssreq %.1f ms\n",
        sid.c_str(), counts.succeeded ? "succeeded" : "FAILED", counts.components, counts.files,
        rounds, minimum(writer.eventSeconds) * 1000, minimum(endToEnd) * 1000);
    return counts.succeeded ? 0 : 3;
}
