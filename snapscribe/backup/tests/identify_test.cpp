// The identify event of the writer in this process, seen the way backup
// software sees it: through the requester's listing of the writer metadata.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "snapscribe/writer/writer.h"
#include "snapscribe/db/tests/db_test_support.h"
#include "snapscribe/host/failure_text.h"
#include "snapscribe/host/tests/host_test_support.h"

namespace snapscribe {
namespace {

using ::testing::ElementsAre;
using testing::EventRecorder;
using ::testing::HasSubstr;
using testing::Instance;
using ::testing::Not;

constexpr VSS_ID kTestWriterId = {
    0x5a3c2e41, 0x7d10, 0x4b8e, {0x9c, 0x22, 0x41, 0x0d, 0x6e, 0x8a, 0x13, 0x77}};

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring vssreqPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path, length);
    return program.substr(0, program.rfind(L'\\')) + L"\\..\\..\\sim\\vss\\vssreq.exe";
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> split;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        split.push_back(text.substr(start, end - start));
    }
    return split;
}

// What the requester printed about the writer: the lines from the schema on.
struct Listing {
    std::string answer;  // the Identify line
    std::vector<std::string> metadata;
    std::string text() const {
        std::string joined;
        for (const std::string& line : metadata) joined += line + "\n";
        return joined;
    }
    // The components' lines only, "component" lines without their prefix.
    std::vector<std::string> components() const {
        std::vector<std::string> names;
        for (const std::string& line : metadata) {
            if (line.rfind("  component ", 0) == 0) names.push_back(line.substr(12));
        }
        return names;
    }
};

class IdentifyTest : public ::testing::Test {
protected:
    void SetUp() override { writerSettings().TlsIndex = TlsAlloc(); }
    void TearDown() override {
        TlsFree(writerSettings().TlsIndex);
        writerSettings().TlsIndex = kTlsOutOfIndexes;
    }

    // The writer of `instance`, subscribed here while the requester asks
    // every writer of the instance for its metadata.
    Listing identify(const Instance& instance) {
        instance.makeCurrent();
        const std::wstring sid = widen(instance.sid());
        CVssWriterVorlix writer;
        EXPECT_EQ(writer.Initialize(kTestWriterId, L"Vorlix VSS Writer", VSS_UT_USERDATA,
                                    VSS_ST_TRANSACTEDDB, VSS_APP_FRONT_END, 60000,
                                    VSS_AWS_NO_ALTERNATE_WRITER, false, sid.c_str()),
                  S_OK);
        EXPECT_EQ(writer.Subscribe(6), S_OK);
        std::string output;
        testing::runCommand(L"\"" + vssreqPath() + L"\" writers --instance " + sid, &output);
        writer.Unsubscribe();

        Listing listing;
        bool inMetadata = false;
        for (const std::string& line : splitLines(testing::withoutCarriageReturns(output))) {
            if (line.rfind("Identify", 0) == 0) listing.answer = line;
            if (line.rfind("  backup schema", 0) == 0) inMetadata = true;
            if (inMetadata) listing.metadata.push_back(line);
        }
        return listing;
    }

    // A file of the instance as the requester prints it.
    static std::string file(const Instance& instance, const std::string& name) {
        return testing::narrow(testing::vorlixHome()) + "\\instances\\" + instance.sid() + "\\" +
               name;
    }
};

constexpr char kSucceeded[] = "succeeded; writer failure 0x00000000";
constexpr char kSchemaAndMethod[] =
    "  backup schema 0x0000017B\n"
    "  restore method 2, service \"\", user procedure \"\", writer restore 3, reboot not "
    "required\n";

TEST_F(IdentifyTest, InstancesThatCannotShowTheirFilesAreNotedAndReportOnlySchemaAndMethod) {
    struct Case {
        const char* description;
        std::uint32_t event;
    };
    for (const Case& c :
         {Case{R"({"state": "started"})", 0x4FFF1009}, Case{R"({"state": "down"})", 0x4FFF1008},
          Case{R"({"state": "open", "service": false})", 0x4FFF1007}}) {
        Instance instance(c.description);
        EventRecorder recorder;
        const Listing listing = identify(instance);
        EXPECT_THAT(listing.answer, HasSubstr(kSucceeded)) << c.description;
        EXPECT_EQ(listing.text(), kSchemaAndMethod) << c.description;
        ASSERT_EQ(recorder.events.size(), 1u) << c.description;
        EXPECT_EQ(recorder.events[0].id, c.event);
        EXPECT_EQ(recorder.events[0].type, 4);
        EXPECT_EQ(recorder.events[0].category, 255);
        EXPECT_EQ(recorder.events[0].strings, std::vector<std::wstring>{kWriterVersionText});
    }
}

}  // namespace
}  // namespace snapscribe

namespace snapscribe {
namespace {

constexpr char kRichInstance[] = R"({
  "logMode": "ARCHIVELOG", "state": "open",
  "tablespaces": [{"name": "SYSTEM", "datafiles": ["system01.dbf"]},
                  {"name": "T1", "datafiles": []}, {"name": "T2", "datafiles": []},
                  {"name": "T3", "datafiles": []},
                  {"name": "DATA", "datafiles": ["data01.dbf", "data02.dbf"]},
                  {"name": "T5", "datafiles": []}, {"name": "T6", "datafiles": []},
                  {"name": "INDX", "datafiles": ["indx01.dbf"]}],
  "controlFiles": ["control01.ctl", "control02.ctl"],
  "logGroups": [["redo01.log"], ["redo02.log"]],
  "tempFiles": ["temp01.dbf"], "blockChangeTracking": "bct.chg",
  "spfile": true, "archiveDests": ["arch"], "recoveryArea": "fra", "archivedLogs": 2,
  "backupPieces": ["bp1.bkp"], "datafileCopies": ["df1.cpy"],
  "snapshotControlFile": "SNCF.ORA",
  "parameters": {"background_dump_dest": "C:\\TRACE", "user_dump_dest": "C:\\TRACE"}
})";

// Files and excluded files as the requester prints them, folder of the
// instance shortened to "~".
std::vector<std::string> shortened(const std::vector<std::string>& lines, const Instance& instance,
                                   const char* prefix) {
    const std::string folder =
        testing::narrow(testing::vorlixHome()) + "\\instances\\" + instance.sid();
    std::vector<std::string> found;
    for (std::string line : lines) {
        if (line.rfind(prefix, 0) != 0) continue;
        line = line.substr(std::strlen(prefix));
        const std::size_t at = line.find(folder);
        if (at != std::string::npos) {
            std::string mark = line.substr(0, at);
            mark.push_back('~');
            line = mark.append(line, at + folder.size());
        }
        found.push_back(line);
    }
    return found;
}

// The file lines of one component.
std::vector<std::string> filesOf(const Listing& listing, const Instance& instance,
                                 const std::string& component) {
    std::vector<std::string> block;
    bool inside = false;
    for (const std::string& line : listing.metadata) {
        if (line.rfind("  component ", 0) == 0 || line.rfind("  excluded ", 0) == 0) {
            inside = line == "  component " + instance.sid() + "\\" + component;
        } else if (inside && line.rfind("      ", 0) == 0) {
            block.push_back(line);
        }
    }
    return shortened(block, instance, "      ");
}

TEST_F(IdentifyTest, AnOpenArchiveLogDatabaseReportsEveryComponentInOrder) {
    Instance instance(kRichInstance);
    const Listing listing = identify(instance);
    EXPECT_THAT(listing.answer, HasSubstr(kSucceeded));
    EXPECT_EQ(listing.text().rfind(kSchemaAndMethod, 0), 0u) << listing.text();
    const std::string db = instance.sid() + "\\Vorlix Database";
    const std::string all = db + "\\All TableSpaces";
    // Tablespaces without datafiles are left out; destination 0 and the
    // recovery area's destination 10 hold no logs outside the area.
    EXPECT_THAT(listing.components(),
                ElementsAre(db, db + "\\Server Parameter File", db + "\\Flash Recovery Area",
                            db + "\\Flash Recovery Area\\Archived Logs",
                            db + "\\Flash Recovery Area\\Backup Files", db + "\\Control file", all,
                            all + "\\SYSTEM", all + "\\SYSTEM\\Datafile number=1", all + "\\DATA",
                            all + "\\DATA\\Datafile number=2", all + "\\DATA\\Datafile number=3",
                            all + "\\INDX", all + "\\INDX\\Datafile number=4",
                            db + "\\Archive Log Dest_1"));

    EXPECT_THAT(listing.text(),
                HasSubstr("  component " + db +
                          "\n    name \"Vorlix Database\", type database, logical path \"" +
                          instance.sid() +
                          "\", caption \"Vorlix Database\"\n    selectable yes, selectable for "
                          "restore yes, restore metadata yes, notify on backup complete yes, "
                          "flags 0x0\n"));
    EXPECT_THAT(listing.text(),
                HasSubstr("    name \"Flash Recovery Area\", type file group, logical path \"" +
                          db + "\", caption \"Flash Recovery Area\"\n    selectable yes,"));
    EXPECT_THAT(listing.text(), HasSubstr("    name \"DATA\", type database, logical path \"" +
                                          all + "\", caption \"DATA\"\n    selectable no,"));
    EXPECT_THAT(listing.text(), HasSubstr("    name \"Datafile number=2\", type database, "
                                          "logical path \"" +
                                          all + "\\DATA\", caption \"Datafile number=2\"\n"));
    EXPECT_THAT(listing.text(), HasSubstr("    name \"Archive Log Dest_1\", type database, "
                                          "logical path \"" +
                                          db +
                                          "\", caption \"Archive Log Dest_1\"\n    "
                                          "selectable yes,"));

    const std::string spfile = "database file ~\\SPFILE" + instance.sid() + ".ORA mask 0x00000F01";
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\Server Parameter File"),
                ElementsAre(spfile));
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\Flash Recovery Area\\Archived Logs"),
                ElementsAre("log file ~\\fra\\ARC00001_1.RA mask 0x00000F0E",
                            "log file ~\\fra\\ARC00002_1.RA mask 0x00000F0E"));
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\Flash Recovery Area\\Backup Files"),
                ElementsAre("file group file ~\\fra\\bp1.bkp (recursive) mask 0x00000F06",
                            "file group file ~\\fra\\df1.cpy (recursive) mask 0x00000F06"));
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\Control file"),
                ElementsAre("database file ~\\SNCF.ORA mask 0x00000F01"));
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\All TableSpaces\\DATA"),
                ElementsAre());
    EXPECT_THAT(
        filesOf(listing, instance, "Vorlix Database\\All TableSpaces\\DATA\\Datafile number=3"),
        ElementsAre("database file ~\\data02.dbf mask 0x00000F01"));
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\Archive Log Dest_1"),
                ElementsAre("log file ~\\arch\\ARC00001_1.ARC mask 0x00000F0E",
                            "log file ~\\arch\\ARC00002_1.ARC mask 0x00000F0E"));

    // Online logs, both dump destinations (one of them C:\TRACE), the change
    // tracking file, temporary files, audit files, then the current control
    // files.
    EXPECT_THAT(shortened(listing.metadata, instance, "  excluded "),
                ElementsAre("~\\redo01.log", "~\\redo02.log", "C:\\TRACE\\*.TRC", "~\\cdump\\*.TRC",
                            "~\\bct.chg", "~\\temp01.dbf", "~\\adump\\*.AUD", "~\\control01.ctl",
                            "~\\control02.ctl"));
}

TEST_F(IdentifyTest, AMountedNoArchiveLogDatabaseTakesItsCurrentControlFile) {
    Instance instance(R"({"logMode": "NOARCHIVELOG", "state": "mounted", "spfile": false,
                          "recoveryArea": "fra", "archivedLogs": 0,
                          "blockChangeTracking": "", "tempFiles": []})");
    const Listing listing = identify(instance);
    EXPECT_THAT(listing.answer, HasSubstr(kSucceeded));
    const std::string db = instance.sid() + "\\Vorlix Database";
    const std::string all = db + "\\All TableSpaces";
    // No parameter file, an empty recovery area, no archive destinations.
    EXPECT_THAT(listing.components(),
                ElementsAre(db, db + "\\Flash Recovery Area", db + "\\Control file", all,
                            all + "\\SYSTEM", all + "\\SYSTEM\\Datafile number=1", all + "\\SYSAUX",
                            all + "\\SYSAUX\\Datafile number=2", all + "\\USERS",
                            all + "\\USERS\\Datafile number=3"));
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\Control file"),
                ElementsAre("database file ~\\control01.ctl mask 0x00000F01"));
    EXPECT_THAT(shortened(listing.metadata, instance, "  excluded "),
                ElementsAre("~\\redo01.log", "~\\redo02.log", "~\\bdump\\*.TRC", "~\\cdump\\*.TRC",
                            "~\\udump\\*.TRC", "~\\adump\\*.AUD"));
}

TEST_F(IdentifyTest, AMountedDatabaseReadsItsParameterFileWithoutNormalisingIt) {
    Instance instance(R"({"state": "mounted", "spfile": true})");
    // Normalising needs an open database; the stand-in refuses it here.
    ASSERT_EQ(instance.vlxsim("fail", "every 1219 normalizefilename"), 0u);
    const Listing listing = identify(instance);
    EXPECT_THAT(listing.answer, HasSubstr(kSucceeded));
    EXPECT_THAT(filesOf(listing, instance, "Vorlix Database\\Server Parameter File"),
                ElementsAre("database file ~\\SPFILE" + instance.sid() + ".ORA mask 0x00000F01"));
}

// Each failing step ends the event with the writer marked failed and one
// error event of its own code; a failing exclusion or recovery-area query
// ends it as a failed platform call, with no failure code and no event.
TEST_F(IdentifyTest, AFailingQueryEndsTheEventWithItsOwnFailure) {
    struct Case {
        const Instance& instance;
        const char* statement;
        std::uint32_t code;  // 0: ended as a failed platform call
    };
    Instance archiveLog(R"({"logMode": "ARCHIVELOG", "state": "open", "recoveryArea": "fra",
                            "archivedLogs": 1, "backupPieces": ["bp1.bkp"]})");
    Instance noArchiveLog(R"({"logMode": "NOARCHIVELOG", "state": "open"})");
    for (const Case& c :
         {Case{archiveLog, "normalizefilename", 0xCFFF000E},
          Case{archiveLog, "MREnabled", 0xCFFF000F}, Case{archiveLog, "SNAPSHOT_NAME", 0xCFFF0010},
          Case{noArchiveLog, "from v$controlfile", 0xCFFF0011},
          Case{archiveLog, "v$datafile d", 0xCFFF0012}, Case{archiveLog, "v$logfile", 0},
          Case{archiveLog, "v$tempfile", 0}, Case{archiveLog, "from v$backup_piece", 0},
          Case{archiveLog, "DEST_ID = :1", 0}}) {
        ASSERT_EQ(c.instance.vlxsim("clear-failures"), 0u);
        ASSERT_EQ(c.instance.vlxsim("fail", std::string("next 1555 \"") + c.statement + "\""), 0u);
        EventRecorder recorder;
        const Listing listing = identify(c.instance);
        char answer[64];
        std::snprintf(answer, sizeof answer, "failed; writer failure 0x%08X",
                      c.code != 0 ? 0x800423F4u : 0u);
        EXPECT_THAT(listing.answer, HasSubstr(answer)) << c.statement;
        if (c.code != 0) {
            ASSERT_EQ(recorder.events.size(), 1u) << c.statement;
            EXPECT_EQ(recorder.events[0].id, c.code) << c.statement;
        } else {
            EXPECT_TRUE(recorder.events.empty()) << c.statement;
        }
    }
    // Every session of a failed event was given back: the next one succeeds.
    ASSERT_EQ(archiveLog.vlxsim("clear-failures"), 0u);
    EXPECT_THAT(identify(archiveLog).answer, HasSubstr(kSucceeded));
}

// The report reads nothing of the event's session, which the failure's
// unwinding has already given back: run with WINEDEBUG=warn+heap, a freed
// record would no longer hold the banner or the error.
TEST_F(IdentifyTest, AFailureReportCarriesTheBannerAndTheDatabaseErrorOfTheEventsSession) {
    Instance instance(R"({"logMode": "ARCHIVELOG", "state": "open"})");
    ASSERT_EQ(instance.vlxsim("fail", "next 1555 \"SNAPSHOT_NAME\""), 0u);
    EventRecorder recorder;
    identify(instance);

    ASSERT_EQ(recorder.events.size(), 1u);
    const ReportedEvent& failure = recorder.events[0];
    EXPECT_EQ(failure.id, 0xCFFF0010u);
    ASSERT_FALSE(failure.strings.empty());
    EXPECT_EQ(failure.strings[0],
              failureMessage(L"Vorlix Database 11g Enterprise Edition Release 11.2.0.1.0 - "
                             L"Production",
                             1211, PhaseIdentify));
    const std::string raw(failure.rawData.begin(), failure.rawData.end());
    EXPECT_THAT(raw, ::testing::StartsWith("VLX-01555: "));
}

}  // namespace
}  // namespace snapscribe
