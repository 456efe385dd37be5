// Times fileToBase64 and base64ToFile on one file; prints MB/s of each.
// Usage: base64_bench <input file> <decoded output file>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "snapscribe/host/file_utils.h"
#include "timing.h"

namespace {

using bench::timed;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: base64_bench <input file> <decoded output file>\n");
        return 2;
    }
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExW(argv[1], GetFileExInfoStandard, &info)) {
        std::fprintf(stderr, "cannot read the input file\n");
        return 1;
    }
    const double megabytes = static_cast<double>(info.nFileSizeLow) / 1e6;
    std::vector<char> text(static_cast<std::size_t>(info.nFileSizeLow) / 3 * 4 + 16);

    std::uint32_t characters = 0;
    const double encodeSeconds = timed([&] {
        characters =
            snapscribe::fileToBase64(argv[1], text.data(), static_cast<std::uint32_t>(text.size()));
    });
    DeleteFileW(argv[2]);
    std::vector<wchar_t> target(snapscribe::kPathCapacity, L'\0');
    std::wstring(argv[2]).copy(target.data(), snapscribe::kPathCapacity - 1);
    bool usedTemporary = false;
    std::uint32_t bytes = 0;
    const double decodeSeconds = timed([&] {
        bytes = snapscribe::base64ToFile(target.data(), text.data(), characters, &usedTemporary);
    });
    if (characters == 0 || bytes != info.nFileSizeLow) {
        std::fprintf(stderr, "round trip failed: %u characters, %u bytes\n", characters, bytes);
        return 1;
    }
    std::printf("fileToBase64 %.1f MB/s\nbase64ToFile %.1f MB/s\n", megabytes / encodeSeconds,
                megabytes / decodeSeconds);
    return 0;
}
