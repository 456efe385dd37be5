// Starting, mounting and relocating stand-in instances as a restore leaves
// them: down with or without their service, started, mounted or open.

#include "snapscribe/restore/instance_control.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/vorlix/instance/service_control.h"
#include "snapscribe/backup/backup_events.h"
#include "snapscribe/backup/event_frame.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/db/recovery_tool.h"
#include "snapscribe/db/tests/db_test_support.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/tests/host_test_support.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"
#include "snapscribe/host/writer_settings.h"
#include "snapscribe/sequence/conversation.h"

namespace snapscribe::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint32_t kStartedEvent = 0x4FFF1001;
constexpr std::uint32_t kMountedEvent = 0x4FFF1002;

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

std::string vorlixTool(const std::wstring& tool, const std::wstring& arguments) {
    std::string output;
    runCommand(L"\"" + vorlixHome() + L"\\BIN\\" + tool + L"\" " + arguments, &output);
    return withoutCarriageReturns(output);
}

// The instance's state as vlxsim shows it.
std::string shown(const Instance& db) {
    return vorlixTool(L"vlxsim.exe", L"show " + widen(db.sid()));
}

// Rows of a query, one line each.
std::string rows(const Instance& db, const std::string& statement) {
    return vorlixTool(L"vlxsql.exe", widen(db.sid()) + L" -- \"" + widen(statement) + L"\"");
}

std::string folder(const Instance& db) {
    const std::wstring home = vorlixHome();
    return std::string(home.begin(), home.end()) + "\\instances\\" + db.sid();
}

bool isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void removeTree(const std::string& path) {
    runCommand(L"cmd /c rmdir /s /q \"" + widen(path) + L"\"");
}

std::vector<std::uint32_t> ids(const EventRecorder& recorder) {
    std::vector<std::uint32_t> reported;
    for (const ReportedEvent& event : recorder.events) reported.push_back(event.id);
    return reported;
}

class InstanceControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        vorlixHome();
        writerSettings().TlsIndex = TlsAlloc();
        // Short polls: the tool answers at once here.
        setToolWaitsForTesting({200, 300, 300, 60000});
    }
    void TearDown() override {
        cleanupConversation();
        setCurrentSession(nullptr);
        TlsFree(writerSettings().TlsIndex);
        writerSettings().TlsIndex = kTlsOutOfIndexes;
        setToolWaitsForTesting({});
    }

    // The restore conversation with `db`, as the pre-restore event opens it.
    static void converse(const Instance& db) {
        db.makeCurrent();
        connectInstance(true, nullptr);
    }

    // The failure a step raised, 0 when none.
    template <typename Step>
    static std::uint32_t failureOf(Step step, std::vector<std::wstring>* strings = nullptr) {
        try {
            step();
        } catch (const WriterFailureError& error) {
            if (strings != nullptr) *strings = error.strings();
            return error.code();
        }
        return 0;
    }

    // Service starts of this machine take turns (sim/README.md).
    static void start() {
        vorlix::ServiceStartLock alone;
        startInstance(entry_);
    }
    static void mount(const ComponentEntry& entry) {
        vorlix::ServiceStartLock alone;
        mountDatabase(entry, RequestorView{VSS_BT_FULL, true, {}});
    }

    static inline const ComponentEntry entry_{};
};

TEST_F(InstanceControlTest, AnInstanceStartedAlreadyIsLeftAsItIs) {
    for (const char* state : {"started", "mounted", "open"}) {
        Instance db(std::string(R"({"state": ")") + state + "\"}");
        converse(db);
        TraceCapture trace(TRC_COMPONENT);
        EventRecorder recorder;
        const std::string before = shown(db);
        start();
        EXPECT_THAT(trace.text(), HasSubstr("\nDatabase instance already started")) << state;
        EXPECT_TRUE(recorder.events.empty()) << state;
        EXPECT_EQ(shown(db), before) << state;
        cleanupConversation();
    }
}

// Whether the service runs or not, the instance ends up started and not
// mounted, on a new normal session of the sequence.
TEST_F(InstanceControlTest, ADownInstanceIsStartedThroughItsService) {
    for (const bool serviceRunning : {false, true}) {
        Instance db(std::string(R"({"state": "down", "service": )") +
                    (serviceRunning ? "true" : "false") + "}");
        converse(db);
        EXPECT_EQ(vcw_openmode(sequenceState().conversationSession),
                  serviceRunning ? OpenModeNotAvailable : OpenModeNoServer);
        EventRecorder recorder;
        start();
        EXPECT_EQ(ids(recorder), std::vector<std::uint32_t>{kStartedEvent});
        EXPECT_EQ(recorder.events[0].strings, std::vector<std::wstring>{kWriterVersionText});
        EXPECT_EQ(sequenceState().conversation->openMode, OpenModeNotMounted);
        EXPECT_EQ(sequenceState().conversationSession->sessionMode, kVcwSysdba);
        EXPECT_THAT(shown(db), HasSubstr(R"("status": "started")"));
        cleanupConversation();
    }
}

TEST_F(InstanceControlTest, AStartThatCannotReadItsParameterFileFailsAndLeavesTheInstanceDown) {
    Instance db(R"({"state": "down"})");
    converse(db);
    const std::wstring setting = L"VLX_" + widen(db.sid()) + L"_PFILE";
    SetEnvironmentVariableW(setting.c_str(), L"C:\\no\\such\\init.ora");
    EXPECT_EQ(failureOf(start), 0xCFFF001Du);
    SetEnvironmentVariableW(setting.c_str(), nullptr);
    EXPECT_THAT(shown(db), HasSubstr(R"("status": "down")"));
}

// The local descriptor holds names of up to nine bytes: a longer one would
// start a service the writer could never connect to afterwards.
TEST_F(InstanceControlTest, ANameTheDescriptorCannotHoldIsRefusedBeforeAnythingStarts) {
    Instance db(R"({"state": "down", "service": false})");
    converse(db);
    const std::string before = shown(db);
    writerSettings().SidNarrow = db.sid() + std::string(10 - db.sid().size(), 'X');
    writerSettings().Sid = widen(writerSettings().SidNarrow);
    TraceCapture trace(TRC_MISC);
    EventRecorder recorder;
    std::vector<std::wstring> strings;
    EXPECT_EQ(failureOf(start, &strings), 0xCFFF000Bu);
    EXPECT_EQ(strings, std::vector<std::wstring>{writerSettings().Sid});
    EXPECT_THAT(trace.text(), HasSubstr("is longer than 9 bytes: the instance cannot be started"));
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_EQ(shown(db), before);
}

// A started instance that does not answer as "started, not mounted" is
// left to the platform as an informational failure, without the event.
TEST_F(InstanceControlTest, AStartedInstanceInAnotherStateIsAnInformationalFailure) {
    Instance db(R"({"state": "down"})");
    converse(db);
    // Only the query after the start reaches the instance.
    ASSERT_EQ(db.vlxsim("fail", "next 3113 \"from v$database\""), 0u);
    EventRecorder recorder;
    try {
        start();
        ADD_FAILURE() << "nothing raised";
    } catch (const InformationalFailure& failure) {
        EXPECT_EQ(static_cast<std::uint32_t>(failure.hr()), 0x4FFF1012u);
    }
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_THAT(shown(db), HasSubstr(R"("status": "started")"));
}

TEST_F(InstanceControlTest, AMountedOrOpenDatabaseIsNotMountedAgainNorItsControlFilesCopied) {
    for (const char* state : {"mounted", "open"}) {
        Instance db(std::string(R"({"state": ")") + state + "\"}");
        converse(db);
        ComponentEntry entry;
        entry.cfFile = L"C:\\no\\such\\snapshot.ctl";
        TraceCapture trace(TRC_COMPONENT);
        EventRecorder recorder;
        mount(entry);
        EXPECT_THAT(trace.text(), HasSubstr("\nDatabase instance already mounted")) << state;
        EXPECT_TRUE(recorder.events.empty()) << state;
        cleanupConversation();
    }
}

TEST_F(InstanceControlTest, AStartedInstanceWithoutSnapshotControlFileIsMountedWithoutTheTool) {
    Instance db(R"({"state": "started"})");
    converse(db);
    EventRecorder recorder;
    mount(entry_);
    EXPECT_EQ(ids(recorder), std::vector<std::uint32_t>{kMountedEvent});
    const Conversation& conversation = *sequenceState().conversation;
    EXPECT_EQ(conversation.openMode, OpenModeMounted);
    EXPECT_EQ(conversation.controlFileType, 1);
    EXPECT_NE(conversation.dbid, 0u);
    EXPECT_FALSE(conversation.toolRunning);
}

// The restored snapshot control file becomes every control file, in
// directories made anew, and the database mounts from it as from a backup
// control file. Whether the recovery tool takes its new name or not, the
// mount stands.
TEST_F(InstanceControlTest, TheSnapshotControlFileIsCopiedIntoPlaceAndMounted) {
    for (const bool configureFails : {false, true}) {
        Instance db(R"({"controlFiles": ["ctl\\a\\control01.ctl", "ctl\\b\\control02.ctl"],)"
                    R"( "snapshotControlFile": "SNCF.ORA"})");
        const std::string dir = folder(db);
        ASSERT_THAT(rows(db,
                         "begin sys.dbms_backup_restore.cFileMakeAndUseSnapShot; "
                         "sys.dbms_backup_restore.cFileUseCurrent; end;"),
                    Not(HasSubstr("VLX-")));
        // The requestor put the snapshot control file at a place of its choice.
        CreateDirectoryA((dir + "\\restored").c_str(), nullptr);
        const std::string restored = dir + "\\restored\\SNCF.ORA";
        ASSERT_TRUE(CopyFileA((dir + "\\SNCF.ORA").c_str(), restored.c_str(), FALSE));
        ASSERT_EQ(db.vlxsim("shutdown", "abort"), 0u);
        removeTree(dir + "\\ctl");
        if (configureFails) {
            ASSERT_EQ(db.vlxsim("startup", "nomount"), 0u);
            ASSERT_EQ(db.vlxsim("fail", "next 19504 \"snapshot_name, :name\""), 0u);
        } else {
            ASSERT_EQ(db.vlxsim("service", "stop"), 0u);
        }
        converse(db);
        ComponentEntry entry;
        entry.cfFile = widen(restored);
        EventRecorder recorder;
        mount(entry);

        EXPECT_TRUE(isDirectory(dir + "\\ctl\\a") && isDirectory(dir + "\\ctl\\b"));
        const std::vector<std::uint32_t> expected =
            configureFails ? std::vector<std::uint32_t>{kMountedEvent}
                           : std::vector<std::uint32_t>{kStartedEvent, kMountedEvent};
        EXPECT_EQ(ids(recorder), expected);
        EXPECT_EQ(sequenceState().conversation->controlFileType, 2) << "a backup control file";
        EXPECT_EQ(sequenceState().conversation->openMode, OpenModeMounted);
        const std::string state = shown(db);
        EXPECT_THAT(state, HasSubstr(R"("status": "mounted")"));
        const std::string configured = configureFails ? dir + "\\SNCF.ORA" : restored;
        std::string escaped;
        for (const char c : configured)
            escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
        EXPECT_THAT(state, HasSubstr("\"snapshotControlFile\": \"" + escaped + "\""));
        cleanupConversation();
    }
}

TEST_F(InstanceControlTest, LogTempAndTrackingFileDirectoriesAreMadeAgain) {
    Instance db(R"({"state": "mounted", "logGroups": [["redo\\g1\\redo01.log"],)"
                R"( ["redo\\g2\\redo02.log"]], "tempFiles": ["tmp\\temp01.dbf"],)"
                R"( "blockChangeTracking": "bct\\track.chg"})");
    const std::string dir = folder(db);
    for (const char* made : {"\\redo", "\\tmp", "\\bct"}) removeTree(dir + made);
    converse(db);
    createLogDirectories();
    for (const char* made : {"\\redo\\g1", "\\redo\\g2", "\\tmp", "\\bct"}) {
        EXPECT_TRUE(isDirectory(dir + made)) << made;
    }
}

// A wildcard target moves the files of its own directory; those of its
// subdirectories keep their names. A quote in the new place is written
// doubled, so the rename names the file that is really there.
TEST_F(InstanceControlTest, AWildcardTargetRenamesOnlyTheFilesOfItsDirectory) {
    Instance db(R"({"state": "mounted", "tablespaces": [{"name": "SYSTEM", "datafiles":)"
                R"( ["data\\system01.dbf"]}, {"name": "USERS", "datafiles": ["data\\users01.dbf",)"
                R"( "data\\old\\users02.dbf"]}]})");
    const std::string dir = folder(db);
    const std::string moved = dir + "\\new'place";
    CreateDirectoryA(moved.c_str(), nullptr);
    for (const char* file : {"system01.dbf", "users01.dbf", "users02.dbf"}) {
        const std::string from = std::string(file) == "users02.dbf" ? "\\data\\old\\" : "\\data\\";
        ASSERT_TRUE(CopyFileA((dir + from + file).c_str(), (moved + "\\" + file).c_str(), FALSE));
    }
    converse(db);
    relocateFiles(widen(dir + "\\data"), widen(moved), L"*.dbf");

    const std::string names = rows(db, "select name from v$datafile order by file#");
    EXPECT_EQ(names, moved + "\\system01.dbf\n" + moved + "\\users01.dbf\n" + dir +
                         "\\data\\old\\users02.dbf\n");
    ASSERT_EQ(db.vlxsim("shutdown"), 0u);
    ASSERT_EQ(db.vlxsim("startup", "open"), 0u);
    EXPECT_EQ(db.vlxsim("verify"), 0u) << "the database opens on the moved files";
}

TEST_F(InstanceControlTest, ARenameTheDatabaseRefusesIsAWriterFailure) {
    Instance db(R"({"state": "mounted"})");
    converse(db);
    const std::string dir = folder(db);
    // Nothing was restored to the new place.
    EXPECT_EQ(failureOf([&] { relocateFiles(widen(dir), widen(dir + "\\empty"), L"users*"); }),
              0xCFFF0023u);
}

}  // namespace
}  // namespace snapscribe::testing
