#include "backup_harness.h"

#include <windows.h>

#include <wincrypt.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/vss/model/documents.h"
#include "sim/vss/model/record.h"
#include "snapscribe/host/tests/host_test_support.h"
#include "snapscribe/host/writer_settings.h"

namespace snapscribe::testing {
namespace {

constexpr VSS_ID kHarnessWriterId = {
    0x6c1e8b52, 0x3a47, 0x4f19, {0xa2, 0x0b, 0x7e, 0x95, 0x31, 0xd4, 0x68, 0xc3}};

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring programFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.rfind(L'\\'));
}

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

std::optional<std::wstring> wide(const std::optional<std::u16string>& text) {
    if (!text) return std::nullopt;
    return wide(*text);
}

std::vector<SavedComponent> savedComponents(const std::wstring& documentPath,
                                            const std::string& sid) {
    std::ifstream in(documentPath.c_str(), std::ios::binary);
    if (!in) return {};
    std::stringstream text;
    text << in.rdbuf();
    const vsssim::BackupDocument document =
        vsssim::backupDocumentFrom(vsssim::readRecord(text.str()));
    std::vector<SavedComponent> saved;
    for (const vsssim::WriterSection& writer : document.writers) {
        if (vsssim::toAscii(writer.metadata.instanceName) != sid) continue;
        for (const vsssim::ComponentState& component : writer.components) {
            saved.push_back({wide(component.name), wide(component.backupMetadata),
                             wide(component.backupStamp), wide(component.restoreMetadata)});
        }
    }
    return saved;
}

// The writer with a hook before each backup event's body, where a test can
// change the instance between two events of one sequence.
class HookedWriter : public CVssWriterVorlix {
public:
    explicit HookedWriter(const std::function<void(Phase)>& hook) : hook_(hook) {}

    bool STDMETHODCALLTYPE OnPrepareBackup(IVssWriterComponents* components) override {
        return hooked(PhasePrepareForBackup) && CVssWriterVorlix::OnPrepareBackup(components);
    }
    bool STDMETHODCALLTYPE OnPrepareSnapshot() override {
        return hooked(PhasePrepareForSnapshot) && CVssWriterVorlix::OnPrepareSnapshot();
    }
    bool STDMETHODCALLTYPE OnFreeze() override {
        return hooked(PhaseFreeze) && CVssWriterVorlix::OnFreeze();
    }
    bool STDMETHODCALLTYPE OnThaw() override {
        return hooked(PhaseThaw) && CVssWriterVorlix::OnThaw();
    }
    bool STDMETHODCALLTYPE OnPostSnapshot(IVssWriterComponents* components) override {
        return hooked(PhasePostSnapshot) && CVssWriterVorlix::OnPostSnapshot(components);
    }
    bool STDMETHODCALLTYPE OnAbort() override {
        return hooked(PhaseAbort) && CVssWriterVorlix::OnAbort();
    }
    bool STDMETHODCALLTYPE OnBackupComplete(IVssWriterComponents* components) override {
        return hooked(PhaseBackupComplete) && CVssWriterVorlix::OnBackupComplete(components);
    }
    bool STDMETHODCALLTYPE OnBackupShutdown(VSS_ID snapshotSetId) override {
        return hooked(PhaseBackupShutdown) && CVssWriterVorlix::OnBackupShutdown(snapshotSetId);
    }

private:
    bool hooked(Phase phase) {
        if (hook_) hook_(phase);
        return true;
    }
    const std::function<void(Phase)>& hook_;
};

}  // namespace

void WriterEventTest::SetUp() { writerSettings().TlsIndex = TlsAlloc(); }

void WriterEventTest::TearDown() {
    TlsFree(writerSettings().TlsIndex);
    writerSettings().TlsIndex = kTlsOutOfIndexes;
    writerSettings().FailPhase = PhaseNone;
    writerSettings().HangEnabled = false;
}

const SavedComponent* BackupRun::component(const std::wstring& name) const {
    for (const SavedComponent& saved : components) {
        if (saved.name == name) return &saved;
    }
    return nullptr;
}

std::string BackupRun::eventLine(const std::string& event) const {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(event + " ", 0) == 0) return line;
    }
    return {};
}

BackupHarness::BackupHarness(const std::string& description) : instance_(description) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    sets_ = std::wstring(temp) + uniqueName(L"sets-");
    CreateDirectoryW(sets_.c_str(), nullptr);
    instance_.makeCurrent();
    writer_ = std::make_unique<HookedWriter>(hook_);
    writer_->Initialize(kHarnessWriterId, L"Vorlix VSS Writer", VSS_UT_USERDATA,
                        VSS_ST_TRANSACTEDDB, VSS_APP_FRONT_END, 60000, VSS_AWS_NO_ALTERNATE_WRITER,
                        false, widen(instance_.sid()).c_str());
    writer_->Subscribe(6);
}

BackupHarness::~BackupHarness() {
    writer_->Unsubscribe();
    writer_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(sets_, ignored);
}

void BackupHarness::beforeEvents(std::function<void(Phase)> hook) { hook_ = std::move(hook); }

std::wstring BackupHarness::setPath(const std::wstring& set) const { return sets_ + L"\\" + set; }

std::wstring BackupHarness::component(const std::wstring& path, const std::wstring& options) const {
    std::wstring argument = L" --component \"" + widen(instance_.sid()) + L"\\Vorlix Database";
    if (!path.empty()) argument += L"\\" + path;
    argument += L"\"";
    if (!options.empty()) argument += L" --options \"" + options + L"\"";
    return argument;
}

BackupRun BackupHarness::requester(const wchar_t* command, const std::wstring& set,
                                   const std::wstring& arguments) const {
    BackupRun run;
    run.exitCode = runCommand(L"\"" + programFolder() + L"\\..\\..\\sim\\vss\\vssreq.exe\" " +
                                  command + L" --instance " + widen(instance_.sid()) +
                                  L" --set \"" + setPath(set) + L"\" " + arguments,
                              &run.output);
    run.output = withoutCarriageReturns(run.output);
    return run;
}

BackupRun BackupHarness::backup(const std::wstring& set, const std::wstring& arguments) {
    BackupRun run = requester(L"backup", set, arguments);
    run.components = savedComponents(setPath(set) + L"\\backup-document.txt", instance_.sid());
    return run;
}

BackupRun BackupHarness::restore(const std::wstring& set, const std::wstring& arguments) {
    return requester(L"restore", set, arguments);
}

std::string BackupHarness::state() const {
    std::string shown;
    runCommand(L"\"" + vorlixHome() + L"\\BIN\\vlxsim.exe\" show " + widen(instance_.sid()),
               &shown);
    return shown;
}

std::string BackupHarness::query(const std::string& statement) const {
    std::string rows;
    runCommand(L"\"" + vorlixHome() + L"\\BIN\\vlxsql.exe\" " + widen(instance_.sid()) + L" -- \"" +
                   widen(statement) + L"\"",
               &rows);
    return withoutCarriageReturns(rows);
}

std::vector<std::string> BackupHarness::tablespacesInBackupMode() const {
    std::string headers;
    runCommand(L"\"" + vorlixHome() + L"\\BIN\\vlxsim.exe\" headers " + widen(instance_.sid()),
               &headers);
    // "datafile N NAME: tablespace TS checkpoint C fuzzy F backup YES"
    std::vector<std::string> names;
    std::istringstream lines(withoutCarriageReturns(headers));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("datafile ", 0) != 0 || !line.ends_with(" backup YES")) continue;
        const std::size_t at = line.find(": tablespace ") + 13;
        const std::string tablespace = line.substr(at, line.find(' ', at) - at);
        if (names.empty() || names.back() != tablespace) names.push_back(tablespace);
    }
    return names;
}

std::string BackupHarness::folder() const {
    return narrow(vorlixHome()) + "\\instances\\" + instance_.sid();
}

std::vector<std::uint8_t> platformBase64Decode(const std::string& text) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                              nullptr, &size, nullptr, nullptr)) {
        return {};
    }
    std::vector<std::uint8_t> bytes(size);
    CryptStringToBinaryA(text.data(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                         bytes.data(), &size, nullptr, nullptr);
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace snapscribe::testing
