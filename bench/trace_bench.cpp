// Entries per second of the writer's trace, which formats, writes and flushes
// each entry at once, against the same entries written through a buffered
// stream without flushing, and with the time stamp that TRC_TIME adds.
// Usage: trace_bench <directory for the trace files>

#include <windows.h>

#include <cstdio>
#include <string>

#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_settings.h"
#include "timing.h"

namespace {

constexpr int kEntries = 100000;
constexpr const char* kFormat = "\nProcessing pre SQL command=%s number %d";
constexpr const char* kCommand = "alter system archive log current";

using bench::timed;

double traceRate(const std::string& file, std::uint32_t level) {
    snapscribe::WriterSettings& settings = snapscribe::writerSettings();
    settings.TraceLevel = level;
    settings.TraceFile = file;
    snapscribe::initTrace("BENCH");
    const double elapsed = timed([] {
        for (int i = 0; i < kEntries; ++i) snapscribe::traceMsgA(kFormat, kCommand, i);
    });
    snapscribe::closeTrace();
    return kEntries / elapsed;
}

double bufferedRate(const std::string& file) {
    std::FILE* stream = std::fopen(file.c_str(), "at");
    if (stream == nullptr) return 0;
    const double elapsed = timed([stream] {
        for (int i = 0; i < kEntries; ++i) std::fprintf(stream, kFormat, kCommand, i);
    });
    std::fclose(stream);
    return kEntries / elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trace_bench <directory>\n");
        return 2;
    }
    const std::wstring wide = argv[1];
    const std::string directory(wide.begin(), wide.end());
    std::printf("traceMsgA %.0f entries/s\n",
                traceRate(directory + "\\trace.trc", snapscribe::TRC_MISC));
    std::printf("traceMsgA+time %.0f entries/s\n",
                traceRate(directory + "\\timed.trc", snapscribe::TRC_MISC | snapscribe::TRC_TIME));
    std::printf("buffered fprintf %.0f entries/s\n", bufferedRate(directory + "\\buffered.trc"));
    return 0;
}
