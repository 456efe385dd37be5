#pragma once
// A writer of a stand-in instance subscribed in this process, and backups
// of it run by the requester as backup software would run them, with the
// backup document and the instance's state read back afterwards.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "snapscribe/writer/writer.h"
#include "snapscribe/db/tests/db_test_support.h"

namespace snapscribe::testing {

// Tests whose writer events run in this process: the events publish their
// phase in a thread slot of the test's own.
class WriterEventTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// One component of a saved backup document.
struct SavedComponent {
    std::wstring name;
    std::optional<std::wstring> backupMetadata, backupStamp, restoreMetadata;
};

struct BackupRun {
    std::uint32_t exitCode = 0;
    std::string output;                      // the requester's lines
    std::vector<SavedComponent> components;  // of this writer, when the document was saved
    const SavedComponent* component(const std::wstring& name) const;
    // The requester's line of one event, e.g. "Freeze".
    std::string eventLine(const std::string& event) const;
};

class BackupHarness {
public:
    explicit BackupHarness(const std::string& description);
    ~BackupHarness();
    BackupHarness(const BackupHarness&) = delete;
    BackupHarness& operator=(const BackupHarness&) = delete;

    // Runs before the body of every backup event, on the event's thread.
    void beforeEvents(std::function<void(Phase)> hook);

    // vssreq backup into the set `set` with `arguments` (type, components...).
    BackupRun backup(const std::wstring& set, const std::wstring& arguments);
    // vssreq restore of the set `set` with `arguments` (components, new
    // targets...); the run's components stay empty.
    BackupRun restore(const std::wstring& set, const std::wstring& arguments);
    // A component's selection argument: --component "<SID>\Vorlix Database\<path>".
    std::wstring component(const std::wstring& path,
                           const std::wstring& options = std::wstring()) const;
    std::wstring setPath(const std::wstring& set) const;

    const Instance& instance() const { return instance_; }
    // The instance's state as vlxsim shows it.
    std::string state() const;
    // Tablespaces whose datafiles are in hot backup mode.
    std::vector<std::string> tablespacesInBackupMode() const;
    // Rows of a query through vlxsql, one line each.
    std::string query(const std::string& statement) const;
    // Directory of the instance's files.
    std::string folder() const;

private:
    BackupRun requester(const wchar_t* command, const std::wstring& set,
                        const std::wstring& arguments) const;

    Instance instance_;
    std::wstring sets_;
    std::function<void(Phase)> hook_;
    std::unique_ptr<CVssWriterVorlix> writer_;
};

// Decodes standard base64 with the platform's own decoder.
std::vector<std::uint8_t> platformBase64Decode(const std::string& text);
std::vector<std::uint8_t> fileBytes(const std::string& path);

}  // namespace snapscribe::testing
