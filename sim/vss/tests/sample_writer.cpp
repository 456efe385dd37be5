// A small writer for the tests: subscribes under a given instance name,
// describes a data directory as components, writes every event it receives
// to a log, and fails, raises, stalls or records documents on request.

#include <windows.h>

#include <objbase.h>
#include <vswriter.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <map>
#include <string>

namespace {

// {5B2E6C1A-9D47-4F3B-8A61-0C2D4E6F8A10}
const VSS_ID kSampleWriterId = {
    0x5b2e6c1a, 0x9d47, 0x4f3b, {0x8a, 0x61, 0x0c, 0x2d, 0x4e, 0x6f, 0x8a, 0x10}};

std::map<std::wstring, std::wstring> g_args;

std::wstring arg(const wchar_t* name) {
    auto found = g_args.find(name);
    return found == g_args.end() ? std::wstring() : found->second;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
    return out;
}

void logLine(const std::wstring& line) {
    std::ofstream log(arg(L"--log").c_str(), std::ios::app | std::ios::binary);
    log << narrow(line) << "\n";
}

std::wstring takeBstr(BSTR text) {
    std::wstring value = text ? std::wstring(text, SysStringLen(text)) : L"<none>";
    SysFreeString(text);
    return value;
}

void writeUnits(const std::wstring& file, BSTR text) {
    std::ofstream out(file.c_str(), std::ios::binary | std::ios::trunc);
    if (text) out.write(reinterpret_cast<const char*>(text), SysStringLen(text) * sizeof(wchar_t));
}

std::wstring readUnits(const std::wstring& file) {
    std::ifstream in(file.c_str(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

FILETIME parseStamp(const std::wstring& stamp) {
    unsigned long high = 0, low = 0;
    std::swscanf(stamp.c_str(), L"FILETIME=%lu,%lu;", &high, &low);
    return {low, high};
}

class SampleWriter : public CVssWriter {
public:
    bool STDMETHODCALLTYPE OnIdentify(IVssCreateWriterMetadata* metadata) override {
        if (!begin(L"Identify")) return false;
        std::wstring data = arg(L"--data"), instance = arg(L"--instance");
        std::wstring database = instance + L"\\Sample Database";
        bool ok =
            SUCCEEDED(metadata->SetBackupSchema(0x17B)) &&
            SUCCEEDED(metadata->SetRestoreMethod(VSS_RME_RESTORE_IF_CAN_REPLACE, nullptr, nullptr,
                                                 VSS_WRE_ALWAYS, false)) &&
            SUCCEEDED(metadata->AddComponent(VSS_CT_DATABASE, instance.c_str(), L"Sample Database",
                                             L"Sample Database", nullptr, 0, true, true, true, true,
                                             0)) &&
            SUCCEEDED(metadata->AddComponent(VSS_CT_DATABASE, database.c_str(), L"Data",
                                             L"Data files", nullptr, 0, true, true, false, true,
                                             0)) &&
            SUCCEEDED(metadata->AddDatabaseFiles(database.c_str(), L"Data", data.c_str(), L"*.dat",
                                                 0xF01)) &&
            SUCCEEDED(metadata->AddDatabaseLogFiles(database.c_str(), L"Data",
                                                    (data + L"\\logs").c_str(), L"*.log", 0xF0E)) &&
            SUCCEEDED(metadata->AddComponent(VSS_CT_FILEGROUP, database.c_str(), L"Archive",
                                             L"Archive", nullptr, 0, true, true, false, true, 0)) &&
            SUCCEEDED(metadata->AddFilesToFileGroup(database.c_str(), L"Archive",
                                                    (data + L"\\archive").c_str(), L"*", true,
                                                    nullptr, 0xF06)) &&
            SUCCEEDED(metadata->AddExcludeFiles(data.c_str(), L"*.tmp", false));
        return end(ok);
    }

    bool STDMETHODCALLTYPE OnPrepareBackup(IVssWriterComponents* components) override {
        if (!begin(L"PrepareBackup")) return false;
        logLine(L"  backup type " + std::to_wstring(GetBackupType()) + L", components selected " +
                (AreComponentsSelected() ? L"yes" : L"no"));
        bool ok = forEachComponent(components, [&](IVssComponent* component) {
            BSTR options = nullptr;
            component->GetBackupOptions(&options);
            std::wstring metadata =
                L"OPTIONS=" + takeBstr(options) + L";TYPE=" + std::to_wstring(GetBackupType());
            return SUCCEEDED(component->SetBackupMetadata(metadata.c_str()));
        });
        return end(ok);
    }

    bool STDMETHODCALLTYPE OnPrepareSnapshot() override {
        if (!begin(L"PrepareSnapshot")) return false;
        std::wstring probe = arg(L"--data") + L"\\a.dat";
        logLine(L"  path affected " + std::wstring(IsPathAffected(probe.c_str()) ? L"yes" : L"no"));
        return end(true);
    }

    bool STDMETHODCALLTYPE OnFreeze() override {
        if (!begin(L"Freeze")) return false;
        if (!arg(L"--freeze-ms").empty())
            Sleep(std::wcstoul(arg(L"--freeze-ms").c_str(), nullptr, 10));
        return end(true);
    }

    bool STDMETHODCALLTYPE OnThaw() override { return begin(L"Thaw") && end(true); }
    bool STDMETHODCALLTYPE OnAbort() override { return begin(L"Abort") && end(true); }

    bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* components) override {
        if (!begin(L"PostSnapshot")) return false;
        bool ok = forEachComponent(components, [&](IVssComponent* component) {
            BSTR previous = nullptr;
            HRESULT hr = component->GetPreviousBackupStamp(&previous);
            std::wstring previousStamp = takeBstr(previous);
            logLine(L"  previous stamp " + previousStamp + L" hr " + std::to_wstring(hr));
            if (GetBackupType() == VSS_BT_INCREMENTAL && hr == S_OK &&
                FAILED(component->AddDifferencedFilesByLastModifyTime(
                    (arg(L"--data") + L"\\archive").c_str(), L"*", TRUE,
                    parseStamp(previousStamp))))
                return false;
            FILETIME now;
            GetSystemTimeAsFileTime(&now);
            std::wstring stamp = L"FILETIME=" + std::to_wstring(now.dwHighDateTime) + L"," +
                                 std::to_wstring(now.dwLowDateTime) + L";";
            std::wstring restoreMetadata = arg(L"--restore-metadata").empty()
                                               ? L"RESTORABLE=TRUE"
                                               : readUnits(arg(L"--restore-metadata"));
            return SUCCEEDED(component->SetBackupStamp(stamp.c_str())) &&
                   SUCCEEDED(component->SetRestoreMetadata(restoreMetadata.c_str()));
        });
        return end(ok);
    }

    bool STDMETHODCALLTYPE OnBackupComplete(IVssWriterComponents* components) override {
        if (!begin(L"BackupComplete")) return false;
        bool ok = forEachComponent(components, [&](IVssComponent* component) {
            boolean succeeded = false;
            component->GetBackupSucceeded(&succeeded);
            logLine(std::wstring(L"  backup succeeded ") + (succeeded ? L"yes" : L"no"));
            return true;
        });
        return end(ok);
    }

    bool STDMETHODCALLTYPE OnBackupShutdown(VSS_ID) override {
        return begin(L"BackupShutdown") && end(true);
    }

    bool STDMETHODCALLTYPE OnPreRestore(IVssWriterComponents* components) override {
        if (!begin(L"PreRestore")) return false;
        return end(forEachComponent(
            components, [&](IVssComponent* component) { return logRestoreChoices(component); }));
    }

    bool STDMETHODCALLTYPE OnPostRestore(IVssWriterComponents* components) override {
        if (!begin(L"PostRestore")) return false;
        bool ok = forEachComponent(components, [&](IVssComponent* component) {
            boolean selected = false;
            component->IsSelectedForRestore(&selected);
            if (!selected) return true;
            BSTR metadata = nullptr;
            if (component->GetRestoreMetadata(&metadata) != S_OK) return false;
            if (!arg(L"--restored-metadata").empty())
                writeUnits(arg(L"--restored-metadata"), metadata);
            SysFreeString(metadata);
            BSTR backupMetadata = nullptr;
            component->GetBackupMetadata(&backupMetadata);
            logLine(L"  backup metadata " + takeBstr(backupMetadata));
            return true;
        });
        return end(ok);
    }

private:
    // Logs the event; raises the informational failure when asked to.
    bool begin(const std::wstring& event) {
        current_ = event;
        logLine(event);
        if (arg(L"--raise-event") == event) RaiseException(0x4FFF0007, 0, 0, nullptr);
        return true;
    }

    bool end(bool ok) {
        if (arg(L"--fail-event") != current_) return ok;
        SetWriterFailure(
            static_cast<HRESULT>(std::wcstoul(arg(L"--failure").c_str(), nullptr, 16)));
        return false;
    }

    template <typename Action>
    bool forEachComponent(IVssWriterComponents* components, Action action) {
        UINT count = 0;
        if (FAILED(components->GetComponentCount(&count))) return false;
        for (UINT i = 0; i < count; ++i) {
            IVssComponent* component = nullptr;
            if (FAILED(components->GetComponent(i, &component))) return false;
            BSTR name = nullptr;
            component->GetComponentName(&name);
            logLine(L"  component " + takeBstr(name));
            bool ok = action(component);
            component->Release();
            if (!ok) return false;
        }
        return true;
    }

    bool logRestoreChoices(IVssComponent* component) {
        boolean selected = false, additional = false;
        component->IsSelectedForRestore(&selected);
        component->GetAdditionalRestores(&additional);
        BSTR options = nullptr;
        component->GetRestoreOptions(&options);
        logLine(std::wstring(L"  selected ") + (selected ? L"yes" : L"no") + L", additional " +
                (additional ? L"yes" : L"no") + L", options " + takeBstr(options));
        UINT subs = 0, targets = 0;
        component->GetRestoreSubcomponentCount(&subs);
        for (UINT i = 0; i < subs; ++i) {
            BSTR path = nullptr, name = nullptr;
            boolean repair = false;
            component->GetRestoreSubcomponent(i, &path, &name, &repair);
            logLine(L"  subcomponent " + takeBstr(path) + L" : " + takeBstr(name));
        }
        component->GetNewTargetCount(&targets);
        for (UINT i = 0; i < targets; ++i) {
            IVssWMFiledesc* target = nullptr;
            if (FAILED(component->GetNewTarget(i, &target))) return false;
            BSTR path = nullptr, fileSpec = nullptr, alternate = nullptr;
            target->GetPath(&path);
            target->GetFilespec(&fileSpec);
            target->GetAlternateLocation(&alternate);
            logLine(L"  new target " + takeBstr(path) + L" " + takeBstr(fileSpec) + L" -> " +
                    takeBstr(alternate));
            target->Release();
        }
        return true;
    }

    std::wstring current_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i + 1 < argc; i += 2) g_args[argv[i]] = argv[i + 1];
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status = 1;
    {
        SampleWriter writer;
        DWORD freezeTimeout = arg(L"--freeze-timeout").empty()
                                  ? 60000
                                  : std::wcstoul(arg(L"--freeze-timeout").c_str(), nullptr, 10);
        HRESULT hr =
            writer.Initialize(kSampleWriterId, L"Sample Writer", VSS_UT_USERDATA,
                              VSS_ST_TRANSACTEDDB, VSS_APP_FRONT_END, freezeTimeout,
                              VSS_AWS_NO_ALTERNATE_WRITER, false, arg(L"--instance").c_str());
        if (SUCCEEDED(hr)) hr = writer.Subscribe();
        std::printf("subscribe 0x%08lX\n", static_cast<unsigned long>(hr));
        std::fflush(stdout);
        if (SUCCEEDED(hr)) {
            HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, arg(L"--stop-event").c_str());
            WaitForSingleObject(stop, INFINITE);
            CloseHandle(stop);
            writer.Unsubscribe();
            status = 0;
        }
    }
    CoUninitialize();
    return status;
}
