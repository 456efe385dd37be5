// Times installPackage on one release package: every entry checked and
// unpacked into a staging folder, then moved over the installed files.
// Prints the package's unpacked MB/s.
// Usage: install_bench <package.zip> <directory with trailing backslash>

#include <windows.h>

#include <cstdio>
#include <string>

#include "launcher/package_installer.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: install_bench <package.zip> <directory\\>\n");
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    try {
        launcher::installPackage(argv[1], argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "install failed: %s\n", error.what());
        return 1;
    }
    QueryPerformanceCounter(&end);
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    std::printf("installPackage %.3f s\n", seconds);
    return 0;
}
