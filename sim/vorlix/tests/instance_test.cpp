// Statements against a described instance whose files live in memory.

#include <gtest/gtest.h>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/description.h"
#include "sim/vorlix/engine/executor.h"
#include "sim/vorlix/tests/memory_storage.h"
#include "sim/vorlix/tests/pipe_blocks.h"

namespace vorlix {
namespace {

using test::kReceiveBlock;
using test::kSendBlock;

const char* const kCopyBlock =
    "declare    recid number;    stamp number;    outfname varchar2(1024);   dest_name "
    "varchar2(1024); begin    for i in 1..9999 loop       dest_name := "
    "sys.dbms_backup_restore.getparm(                        sys.dbms_backup_restore.control_file, "
    "i);       if dest_name is null then          exit;       end if;       if :1 <> dest_name "
    "then          sys.dbms_backup_restore.copyControlfile              (:1, dest_name, recid, "
    "stamp, outfname);       end if;   end loop; end;";

class DescribedInstance : public ::testing::Test {
protected:
    void SetUp() override {
        state = parseDescription(R"({"recoveryArea": "fra", "blockChangeTracking": "bct.chg"})",
                                 "T1", "C:\\DB")
                    .state;
        Instance instance(state, files);
        instance.createFiles();
        instance.startup("");
        instance.mount();
        instance.open(false);
    }

    Outcome run(const std::string& text, const Binds& binds = {}) {
        return Executor(state, files, session).execute(text, binds);
    }

    int errorOf(const std::string& text, const Binds& binds = {}) {
        try {
            run(text, binds);
        } catch (const DbError& e) {
            return e.number();
        }
        return 0;
    }

    std::string single(const std::string& query) {
        auto rows = run(query).result.rows;
        return rows.empty() ? "<no rows>" : rows.at(0).at(0).asText();
    }

    // Puts one message with these lines into the tool's output pipe.
    void toolSays(std::initializer_list<const char*> lines) {
        SessionData tool;
        for (const char* line : lines) tool.packBuffer.push_back(line);
        Executor(state, files, tool)
            .execute("begin :rc := sys.dbms_pipe.send_message('vlx$bakx_vss_out'); end;", {});
    }

    InstanceState state;
    MemoryStorage files;
    SessionData session;
};

TEST_F(DescribedInstance, ReceiveBlockCountsPromptsAndKeepsTheErrorTextEmptyOnSuccess) {
    toolSays({"RMAN> set echo on;"});
    toolSays({"BAKX-00572: waiting for input"});
    auto out = run(kReceiveBlock).assigned;
    EXPECT_EQ(out.at("RETVAL").asNumber(), 1);
    EXPECT_TRUE(out.at("BAKXERR").isNull());
}

TEST_F(DescribedInstance, ReceiveBlockWithoutAnswerEndsInNoData) {
    EXPECT_EQ(errorOf(kReceiveBlock), 1403);
    toolSays({"echo of a command"});
    EXPECT_EQ(errorOf(kReceiveBlock), 1403);  // a line that is neither banner nor prompt
}

TEST_F(DescribedInstance, ErrorStackOneLinePerMessageKeepsEveryLineAfterTheBanner) {
    toolSays({"BAKX-00569: ===== ERROR MESSAGE STACK FOLLOWS ====="});
    toolSays({"BAKX-03002: failure of recover command"});
    toolSays({"BAKX-06054: media recovery requesting unknown log"});
    toolSays({"BAKX-00572: waiting for input"});
    auto out = run(kReceiveBlock).assigned;
    EXPECT_EQ(out.at("RETVAL").asNumber(), 1);
    EXPECT_EQ(
        out.at("BAKXERR").asText(),
        "BAKX-03002: failure of recover commandBAKX-06054: media recovery requesting unknown log");
}

TEST_F(DescribedInstance, ErrorStackInOneMessageDropsTheLineRightAfterTheBanner) {
    toolSays({"BAKX-00569: ===== ERROR MESSAGE STACK FOLLOWS =====",
              "BAKX-03002: failure of recover command",
              "BAKX-06054: media recovery requesting unknown log",
              "BAKX-00572: waiting for input"});
    auto out = run(kReceiveBlock).assigned;
    EXPECT_EQ(out.at("RETVAL").asNumber(), 1);
    EXPECT_EQ(out.at("BAKXERR").asText(), "BAKX-06054: media recovery requesting unknown log");
}

TEST_F(DescribedInstance, SendBlockCreatesThePipeAndQueuesTheCommand) {
    run(kSendBlock, {{"CMD", Value::text("recover database;")}});
    EXPECT_EQ(single("select type from v$db_pipes where name='VLX$BAKX_VSS_IN'"), "PRIVATE");
    SessionData tool;
    Executor tooling(state, files, tool);
    EXPECT_EQ(
        tooling
            .execute("begin :rc := sys.dbms_pipe.receive_message('vlx$bakx_vss_in', 0); end;", {})
            .assigned.at("RC")
            .asNumber(),
        0);
    EXPECT_EQ(
        tooling
            .execute(
                "begin sys.dbms_pipe.unpack_message(:m); :t := sys.dbms_pipe.next_item_type; end;",
                {})
            .assigned.at("M")
            .asText(),
        "recover database;");
}

TEST_F(DescribedInstance, HotBackupModeRefusesADoubleBeginAndAnEndWithoutBegin) {
    EXPECT_EQ(errorOf("ALTER TABLESPACE USERS END BACKUP"), 1142);
    run("ALTER TABLESPACE USERS BEGIN BACKUP");
    EXPECT_EQ(errorOf("ALTER TABLESPACE USERS BEGIN BACKUP"), 1146);
    EXPECT_EQ(errorOf("ALTER TABLESPACE NOSUCH BEGIN BACKUP"), 959);
    run("ALTER TABLESPACE USERS END BACKUP");
    EXPECT_EQ(errorOf("ALTER TABLESPACE USERS END BACKUP"), 1142);
}

TEST_F(DescribedInstance, ArchiveLogCurrentWritesALogWithItsChangeRangeAndAdvancesTheSequence) {
    run("alter system archive log current");
    ASSERT_EQ(state.archivedLogs.size(), 2u);  // primary destination and recovery area
    const FileRecord& log = state.archivedLogs[0];
    EXPECT_EQ(state.logSequence, 2);
    auto header = decodeArchivedLogHeader(files.files.at(log.name));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->firstChange, log.firstChange);
    EXPECT_EQ(header->nextChange, log.nextChange);
    EXPECT_EQ(files.files.at(log.name).size(), size_t(log.blocks + 1) * log.blockSize);
    EXPECT_EQ(single("select next_change# from v$archived_log where dest_id = 1"),
              std::to_string(log.nextChange));
    EXPECT_EQ(single("select checkpoint_change# from v$database"),
              std::to_string(state.checkpointChange));
}

TEST_F(DescribedInstance, ADatafileCopiedBackIsSeenWithItsOldHeaderAndNeedsRecovery) {
    const std::string users = "C:\\DB\\users01.dbf";
    std::string copy = files.files.at(users);
    run("alter system archive log current");
    Instance(state, files).shutdown(false);
    files.files[users] = copy;  // the restore
    Instance(state, files).startup("");
    run("alter database mount");
    EXPECT_EQ(single("select checkpoint_change# from v$datafile_header where file# = 3"),
              std::to_string(decodeDatafileHeader(copy)->checkpoint));
    EXPECT_EQ(single("select recover from v$datafile_header where file# = 3"), "YES");
    EXPECT_EQ(errorOf("alter database open"), 1113);
}

TEST_F(DescribedInstance, OpenModeAnswersFollowTheInstanceState) {
    EXPECT_EQ(single("         select open_mode from v$database"), "READ WRITE");
    Instance(state, files).shutdown(false);
    Instance(state, files).startup("");
    EXPECT_EQ(errorOf("         select open_mode from v$database"), 1507);
    EXPECT_EQ(single("select value filename from v$parameter where name ='control_files'"),
              "C:\\DB\\control01.ctl, C:\\DB\\control02.ctl");
    run("alter database mount");
    EXPECT_EQ(single("select open_mode from v$database"), "MOUNTED");
    EXPECT_EQ(errorOf("alter database mount"), 1100);
    run("alter database open read only");
    EXPECT_EQ(single("select open_mode from v$database"), "READ ONLY");
}

TEST_F(DescribedInstance, RestoredSnapshotControlFileIsCopiedOverTheOthersAndMountsAsBackup) {
    run("begin    sys.dbms_backup_restore.cFileMakeAndUseSnapShot;    "
        "sys.dbms_backup_restore.cFileUseCurrent; end;");
    std::string snapshot = run("begin    :name := sys.dbms_backup_restore.getParm(                "
                               "sys.dbms_backup_restore.SNAPSHOT_NAME); end; ")
                               .assigned.at("NAME")
                               .asText();
    EXPECT_TRUE(files.exists(snapshot));
    Instance(state, files).shutdown(true);
    Instance(state, files).startup("");
    run(kCopyBlock, {{"1", Value::text(snapshot)}});
    EXPECT_EQ(files.files.at("C:\\DB\\control02.ctl"), files.files.at(snapshot));
    run("alter database mount");
    EXPECT_EQ(single("select controlfile_type from v$database"), "BACKUP");
    EXPECT_EQ(errorOf("alter database open"), 1589);
}

TEST_F(DescribedInstance, RenameFileNeedsAMountedDatabaseAndAnExistingTarget) {
    EXPECT_EQ(errorOf("alter database rename file 'C:\\DB\\users01.dbf' to 'D:\\NEW\\users01.dbf'"),
              1511);
    Instance(state, files).shutdown(false);
    Instance(state, files).startup("");
    run("alter database mount");
    EXPECT_EQ(errorOf("alter database rename file 'C:\\DB\\users01.dbf' to 'D:\\NEW\\users01.dbf'"),
              1511);
    files.copyFile("C:\\DB\\users01.dbf", "D:\\NEW\\it's.dbf");
    run("alter database rename file 'C:\\DB\\USERS01.DBF' to 'D:\\NEW\\it''s.dbf'");
    EXPECT_EQ(single("select name from v$datafile where file# = 3"), "D:\\NEW\\it's.dbf");
    EXPECT_EQ(errorOf("alter database rename file 'C:\\DB\\nothing.dbf' to 'D:\\NEW\\it''s.dbf'"),
              1516);
}

TEST_F(DescribedInstance, InjectedFailuresHitTheNextOrEveryMatchingStatement) {
    state.failures.push_back({"from v$database", 3113, "", false});
    state.failures.push_back({"V$TABLESPACE", 1555, "snapshot too old", true});
    EXPECT_EQ(errorOf("select dbid from   v$database"), 3113);
    EXPECT_EQ(errorOf("select dbid from v$database"), 0);
    EXPECT_EQ(errorOf("SELECT TS# FROM V$TABLESPACE WHERE NAME=:1", {{"1", Value::text("USERS")}}),
              1555);
    EXPECT_EQ(errorOf("select name from v$tablespace"), 1555);
}

TEST_F(DescribedInstance, UnknownStatementsAndServerOutput) {
    EXPECT_EQ(errorOf("grant all to everybody"), 900);
    EXPECT_EQ(errorOf("alter session set nothing"), 900);
    auto empty =
        run("      begin\n         dbms_output.get_line(:line, :status);\n      end;").assigned;
    EXPECT_EQ(empty.at("STATUS").asNumber(), 1);
    run("begin dbms_output.put_line('one'); end;");
    auto line = run("begin dbms_output.get_line(:line, :status); end;").assigned;
    EXPECT_EQ(line.at("LINE").asText(), "one");
    EXPECT_EQ(line.at("STATUS").asNumber(), 0);
}

TEST_F(DescribedInstance, BackedRecordsAreMarkedAndUnknownOnesRefused) {
    run("alter system archive log current");
    const FileRecord& log = state.archivedLogs.back();
    std::string mark =
        "begin    sys.dbms_backup_restore.VssBackedRecord(      "
        "sys.dbms_backup_restore.RTYP_ARCHIVED_LOG, " +
        std::to_string(log.recid) + ", " + std::to_string(log.stamp) + "); end;";
    run(mark);
    EXPECT_TRUE(state.archivedLogs.back().backedUp);
    EXPECT_EQ(errorOf("begin "
                      "sys.dbms_backup_restore.VssBackedRecord(sys.dbms_backup_restore.RTYP_BACKUP_"
                      "PIECE, 1, 2); end;"),
              19571);
}

}  // namespace
}  // namespace vorlix
