// vssreq: plays the backup software against subscribed writers.

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "sim/vss/common/wide.h"
#include "sim/vss/vssreq/requester.h"

using namespace vsssim;

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  vssreq writers [--instance NAME] [--writer {GUID}]\n"
    "  vssreq backup --set DIR [--type FULL|INCREMENTAL|DIFFERENTIAL|LOG|COPY]\n"
    "         [--instance NAME] [--writer {GUID}] [--previous DIR]\n"
    "         (--component PATH [--options TEXT])... | (--volume PATH)...\n"
    "         [--abort-after PrepareBackup|PrepareSnapshot|Freeze|Thaw|PostSnapshot]\n"
    "         [--wait-ms N]\n"
    "  vssreq restore --set DIR [--instance NAME] [--writer {GUID}]\n"
    "         (--component PATH [--options TEXT] [--subcomponent PATH]...\n"
    "          [--new-target PATH|FILESPEC|ALTERNATE[|recursive]]...)...\n"
    "         [--additional-restores] [--wait-ms N]\n";

struct UsageError {
    std::string message;
};

std::wstring fullDirectory(const wchar_t* path) {
    wchar_t buffer[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(path, MAX_PATH * 2, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) throw UsageError{"bad directory"};
    std::wstring full(buffer, length);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full;
}

// "PATH|FILESPEC|ALTERNATE[|recursive]"
FileSpec parseNewTarget(const Text& text) {
    std::vector<Text> parts;
    std::size_t start = 0;
    for (std::size_t bar; (bar = text.find(u'|', start)) != Text::npos; start = bar + 1)
        parts.push_back(text.substr(start, bar - start));
    parts.push_back(text.substr(start));
    if (parts.size() < 3 || parts.size() > 4 || (parts.size() == 4 && parts[3] != u"recursive"))
        throw UsageError{"--new-target wants PATH|FILESPEC|ALTERNATE[|recursive]"};
    return {parts[0], parts[1], parts.size() == 4, parts[2], 0xF0F};
}

Selection& lastSelection(RequestOptions& options, const char* option) {
    if (options.components.empty())
        throw UsageError{std::string(option) + " must follow a --component"};
    return options.components.back();
}

RequestOptions parseOptions(int argc, wchar_t** argv) {
    RequestOptions options;
    for (int i = 2; i < argc; ++i) {
        std::wstring option = argv[i];
        if (option == L"--additional-restores") {
            options.additionalRestores = true;
            continue;
        }
        if (i + 1 >= argc) throw UsageError{"a value is missing"};
        const wchar_t* value = argv[++i];
        Text text = toText(value);
        if (option == L"--instance") {
            options.instanceName = text;
        } else if (option == L"--writer") {
            options.writerId = text;
        } else if (option == L"--set") {
            options.setDirectory = fullDirectory(value);
        } else if (option == L"--previous") {
            options.previousSet = fullDirectory(value);
        } else if (option == L"--type") {
            options.backupType = backupTypeFromName(toAscii(text));
            if (options.backupType == kUndefined || options.backupType == kOther)
                throw UsageError{"unknown backup type"};
        } else if (option == L"--component") {
            options.components.push_back({text, std::nullopt, {}, {}});
        } else if (option == L"--options") {
            lastSelection(options, "--options").options = text;
        } else if (option == L"--subcomponent") {
            lastSelection(options, "--subcomponent").subcomponents.push_back(text);
        } else if (option == L"--new-target") {
            lastSelection(options, "--new-target").newTargets.push_back(parseNewTarget(text));
        } else if (option == L"--volume") {
            options.volumes.push_back(text);
        } else if (option == L"--abort-after") {
            options.abortAfter = eventFromName(toAscii(text));
            if (!options.abortAfter || *options.abortAfter < Event::PrepareBackup ||
                *options.abortAfter > Event::PostSnapshot)
                throw UsageError{"--abort-after takes an event from PrepareBackup to PostSnapshot"};
        } else if (option == L"--wait-ms") {
            options.waitMs = static_cast<DWORD>(std::wcstoul(value, nullptr, 10));
        } else {
            throw UsageError{"unknown option"};
        }
    }
    return options;
}

int run(const std::wstring& command, const RequestOptions& options) {
    if (command == L"writers") return listWriters(options);
    bool needsSet = command == L"backup" || command == L"restore";
    if (!needsSet) throw UsageError{"unknown command"};
    if (options.setDirectory.empty()) throw UsageError{"--set is required"};
    if (command == L"restore") {
        if (options.components.empty()) throw UsageError{"restore needs a --component"};
        return runRestore(options);
    }
    if (options.components.empty() == options.volumes.empty())
        throw UsageError{"backup needs components or volumes, not both"};
    return runBackup(options);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Output goes to pipes and files as often as to a console.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status;
    try {
        status = run(argv[1], parseOptions(argc, argv));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "vssreq: %s\n%s", error.message.c_str(), kUsage);
        status = kExitUsage;
    } catch (const FormatError& error) {
        std::fprintf(stderr, "vssreq: %s\n", error.what());
        status = kExitUsage;
    }
    CoUninitialize();
    return status;
}
