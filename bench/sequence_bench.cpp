// Backup and restore sequences of one instance through the requester, each
// event timed inside the writer, and the re-creation of archived logs from
// a backup's restore metadata.
//
// sequence_bench recreate SETDIR PAYLOAD
//   Reads the set's backup document, writes the largest archived log's
//   base64 text to PAYLOAD (the reference decodes it), moves the logs the
//   restore metadata names out of their place and times the writer's
//   re-creation of them from the metadata, then compares them with the logs
//   moved away (which are deleted).
// sequence_bench backup|restore SID VSSREQ.EXE SETDIR [FREEZE_TIMEOUT_MS]
//   The writer subscribed in this process, a hot FULL backup of
//   "SID\Vorlix Database" into SETDIR, or its restore, through the
//   requester: the whole sequence, the writer-side time of each event and
//   the writer's peak working set. The freeze timeout is the writer
//   program's 60 s unless given.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_writer.h"
#include "bench/timed_writer.h"
#include "bench/requester_run.h"
#include "bench/timing.h"
#include "sim/vss/model/documents.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/restore/metadata_tokens.h"
#include "snapscribe/restore/restore_metadata_reader.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

std::string wholeFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary | std::ios::ate);
    std::string text(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

// The restore metadata of the set's "Vorlix Database" component, or empty.
std::wstring databaseRestoreMetadata(const std::wstring& set) {
    vsssim::BackupDocument document =
        vsssim::backupDocumentFrom(vsssim::readRecord(wholeFile(set + L"\\backup-document.txt")));
    for (vsssim::WriterSection& section : document.writers)
        for (vsssim::ComponentState& component : section.components)
            if (component.name == u"Vorlix Database" && component.restoreMetadata)
                return std::wstring(
                    reinterpret_cast<const wchar_t*>(component.restoreMetadata->data()),
                    component.restoreMetadata->size());
    return std::wstring();
}

bool sameFiles(const std::wstring& a, const std::wstring& b) {
    std::ifstream left(a.c_str(), std::ios::binary), right(b.c_str(), std::ios::binary);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (left && right) {
        left.read(x.data(), static_cast<std::streamsize>(x.size()));
        right.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (left.gcount() != right.gcount() ||
            !std::equal(x.begin(), x.begin() + left.gcount(), y.begin()))
            return false;
    }
    return !left && !right;
}

int recreate(const std::wstring& set, const std::wstring& payloadFile) {
    const std::wstring metadata = databaseRestoreMetadata(set);
    std::vector<std::wstring> logs;
    const snapscribe::MetadataToken* largest = nullptr;
    const auto tokens = snapscribe::restoreMetadataTokens(metadata.c_str());
    std::wstring largestLog;
    for (const snapscribe::MetadataToken& token : tokens) {
        if (token.key == snapscribe::MetadataKey::FileName) logs.push_back(token.value);
        if (token.key == snapscribe::MetadataKey::Data && !logs.empty() &&
            (!largest || token.payloadBytes > largest->payloadBytes)) {
            largest = &token;
            largestLog = logs.back();
        }
    }
    if (!largest) {
        std::fwprintf(stderr, L"sequence_bench: the set carries no archived log\n");
        return 2;
    }
    std::ofstream(payloadFile.c_str(), std::ios::binary)
        .write(largest->payload, static_cast<std::streamsize>(largest->payloadBytes));
    for (const std::wstring& log : logs)
        MoveFileExW(log.c_str(), (log + L".orig").c_str(), MOVEFILE_REPLACE_EXISTING);

    snapscribe::Conversation conversation;
    bool recreated = true;
    const double seconds = bench::timed([&] {
        try {
            snapscribe::restoreArchivedLogs(metadata.c_str(), conversation);
        } catch (const snapscribe::WriterFailureError& failure) {
            std::printf("re-creating the logs failed: 0x%08lX\n",
                        static_cast<unsigned long>(failure.code()));
            recreated = false;
        }
    });
    double bytes = 0;
    bool identical = recreated;
    for (const std::wstring& log : logs) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExW(log.c_str(), GetFileExInfoStandard, &data);
        bytes += static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow;
        identical &= sameFiles(log, log + L".orig");
        DeleteFileW((log + L".orig").c_str());
        std::printf("log %ls\n", log.c_str());
    }
    std::printf("largest %ls\n", largestLog.c_str());
    std::printf(
        "restore metadata %.0f MiB of text; %zu logs re-created (%.0f MiB), "
        "highest next change %llu\n",
        metadata.size() * 2 / kMiB, conversation.extractedLogs.size(), bytes / kMiB,
        static_cast<unsigned long long>(conversation.maxNextScn));
    std::printf("re-creating the logs from the document %.2f s (%.1f MB/s of log); %s\n", seconds,
                bytes / 1e6 / seconds,
                identical ? "identical to the logs backed up" : "NOT the logs backed up");
    return identical ? 0 : 3;
}

// Runs `vssreq <sequence> --instance SID --set SET --component "SID\Vorlix
// Database" <more>` with the writer subscribed in this process.
int runSequence(const std::wstring& sequence, const std::wstring& sid, const std::wstring& vssreq,
                const std::wstring& set, const std::wstring& more, DWORD freezeTimeoutMs) {
    bench::prepareWriterSettings(sid);
    bench::TimedEventsWriter writer;
    if (!bench::subscribeWriter(writer, bench::kBackupWriterId, sid, freezeTimeoutMs)) {
        std::fwprintf(stderr, L"sequence_bench: the writer cannot subscribe\n");
        return 2;
    }
    const std::wstring outputFile = set + L"." + sequence + L".txt";
    const PROCESS_MEMORY_COUNTERS_EX before = bench::memoryCounters();
    DWORD code = 0;
    const double endToEnd = bench::timed([&] {
        code = bench::runWithOutputIn(L"\"" + vssreq + L"\" " + sequence + L" --instance " + sid +
                                          L" --set \"" + set + L"\" --component \"" + sid +
                                          L"\\Vorlix Database\"" + more,
                                      outputFile);
    });
    writer.Unsubscribe();
    const PROCESS_MEMORY_COUNTERS_EX after = bench::memoryCounters();
    std::fputs(wholeFile(outputFile).c_str(), stdout);
    const std::string label(sequence.begin(), sequence.end());
    std::printf("requester exit code %lu\n", code);
    std::printf("whole %s through vssreq %.2f s\n", label.c_str(), endToEnd);
    writer.printEvents(label.c_str());
    std::printf("writer peak working set %.0f MiB, %.0f MiB above its %.0f MiB before\n",
                after.PeakWorkingSetSize / kMiB,
                (after.PeakWorkingSetSize - before.WorkingSetSize) / kMiB,
                before.WorkingSetSize / kMiB);
    return code == 0 ? 0 : 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"recreate" && argc == 4) return recreate(argv[2], argv[3]);
    const DWORD freezeTimeoutMs = argc == 6 ? static_cast<DWORD>(_wtoi(argv[5])) : 60000;
    if (mode == L"backup" && argc >= 5)
        return runSequence(mode, argv[2], argv[3], argv[4], L" --type FULL", freezeTimeoutMs);
    if (mode == L"restore" && argc >= 5)
        return runSequence(mode, argv[2], argv[3], argv[4], L"", freezeTimeoutMs);
    std::fwprintf(
        stderr,
        L"usage: sequence_bench recreate SETDIR PAYLOAD\n"
        L"       sequence_bench backup|restore SID VSSREQ.EXE SETDIR [FREEZE_TIMEOUT_MS]\n");
    return 1;
}
