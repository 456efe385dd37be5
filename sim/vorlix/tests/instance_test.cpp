// Statements against a described instance whose files live in memory.

#include <gtest/gtest.h>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/catalog.h"
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

// Stands for another session that answers while a receive waits.
class AnsweringWaiter : public PipeWaiter {
public:
    bool answer = true;
    bool sawPrompt = false;
    bool waitForMessage(InstanceState& state, const std::string& pipe, int seconds) override {
        EXPECT_EQ(seconds, 30);
        const Pipe* out = state.pipe("VLX$BAKX_VSS_OUT");
        sawPrompt = out && !out->messages.empty();
        if (!answer) return false;
        state.pipe(pipe)->messages.push_back({"recover database;"});
        return true;
    }
};

TEST_F(DescribedInstance, AReceiveWithATimeoutWaitsAfterWhatTheBlockDidBeforeIt) {
    const char* const prompt =
        "declare rc number; begin rc := sys.dbms_pipe.create_pipe('vlx$bakx_vss_in'); "
        "sys.dbms_pipe.pack_message('BAKX-00572: waiting for input'); "
        "rc := sys.dbms_pipe.send_message('vlx$bakx_vss_out'); "
        ":rc := sys.dbms_pipe.receive_message('vlx$bakx_vss_in', 30); end;";
    AnsweringWaiter waiter;
    EXPECT_EQ(
        Executor(state, files, session).execute(prompt, {}, &waiter).assigned.at("RC").asNumber(),
        0);
    EXPECT_TRUE(waiter.sawPrompt);
    EXPECT_EQ(run("begin sys.dbms_pipe.unpack_message(:m); end;").assigned.at("M").asText(),
              "recover database;");
    waiter.answer = false;
    EXPECT_EQ(
        Executor(state, files, session).execute(prompt, {}, &waiter).assigned.at("RC").asNumber(),
        1);
    EXPECT_EQ(run("begin :rc := sys.dbms_pipe.receive_message('vlx$bakx_vss_in', 30); end;")
                  .assigned.at("RC")
                  .asNumber(),
              1);  // without a waiter nothing waits
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

struct Sent {
    const char* text;
    Binds binds;
    const char*
        first;  // first value of the first row or of the first assigned bind; null: not checked
};

// Every statement the writer sends, in the order of a backup and a restore,
// against an open instance with one archived log.
TEST_F(DescribedInstance, EveryStatementTheWriterSendsRunsAndAnswersFromTheState) {
    run("alter system archive log current");
    const Value one = Value::number(1);
    const std::vector<Sent> statements = {
        {"select banner from v$version", {}, kVersionBanner},
        {"select type from v$db_pipes where name='VLX$BAKX_VSS_OUT'", {}, "<no rows>"},
        {"select member filename from v$logfile", {}, "C:\\DB\\redo01.log"},
        {"select distinct rtrim(value)||'\\*.TRC' filename from v$parameter     where lower(name) "
         "like '%_dump_dest%'",
         {},
         "C:\\DB\\bdump\\*.TRC"},
        {"select filename from v$block_change_tracking", {}, "C:\\DB\\bct.chg"},
        {"select name filename from v$tempfile", {}, "C:\\DB\\temp01.dbf"},
        {"select rtrim(value)||'\\*.AUD' filename from v$parameter     where lower(name) like "
         "'%audit_file_dest%'",
         {},
         "C:\\DB\\adump\\*.AUD"},
        {"select name filename from v$controlfile", {}, "C:\\DB\\control01.ctl"},
        {"select sys.dbms_backup_restore.normalizefilename(value)        filename from v$parameter "
         "where lower(name) = 'spfile' and value is not null",
         {},
         "C:\\DB\\SPFILET1.ORA"},
        {"select value filename from v$parameter  where lower(name) = 'spfile' and        value is "
         "not null",
         {},
         "C:\\DB\\SPFILET1.ORA"},
        {"begin    :name := sys.dbms_backup_restore.getParm(                "
         "sys.dbms_backup_restore.SNAPSHOT_NAME); end; ",
         {},
         "C:\\DB\\SNCFT1.ORA"},
        {"select d.file# filenum, d.name filename, t.name tsname,        t.ts# tsnum  from "
         "v$datafile d, v$tablespace t where d.ts#=t.ts# order by tsnum",
         {},
         "1"},
        {"select name from v$archived_log    where status='A' and          "
         "is_recovery_dest_file='NO' and          DEST_ID = :1",
         {{"1", one}},
         "C:\\DB\\arch\\ARC00001_1.ARC"},
        {"SELECT decode(LOG_MODE,'ARCHIVELOG', 1, 0) MREnabled FROM V$DATABASE", {}, "1"},
        {"select recid, stamp, name from v$archived_log    where status='A' and "
         "is_recovery_dest_file='YES'",
         {},
         "2"},
        {"select recid, stamp, handle name from v$backup_piece     where status='A' and "
         "is_recovery_dest_file='YES'",
         {},
         "<no rows>"},
        {"select recid, stamp, name from v$datafile_copy     where status='A' and "
         "is_recovery_dest_file='YES'",
         {},
         "<no rows>"},
        {"SELECT TS# FROM V$TABLESPACE WHERE NAME=:1", {{"1", Value::text("USERS")}}, "2"},
        {"begin    sys.dbms_backup_restore.bctswitch; end;", {}, nullptr},
        {"select checkpoint_change# from v$database", {}, nullptr},
        {"select distinct     sys.dbms_backup_restore.normalizefilename(                   "
         "replace(value,'location=')) directory from v$parameter where name like '%dest%' and "
         "value like '%\\%'",
         {},
         "C:\\DB\\adump"},
        {"SELECT value DB_Name FROM V$PARAMETER WHERE lower(name)='db_name'", {}, "T1"},
        {"select count(fuzzy) fuzzycnt from v$datafile_header where fuzzy='YES'", {}, "3"},
        {"select controlfile_type from v$database", {}, "CURRENT"},
        {"select file# filenum, name filename,        tablespace_name tsname, ts# tsnum,        "
         "decode(status, 'ONLINE', 1, 0) readwrite,        decode(fuzzy,'YES', 1, 0) fuzzy,        "
         "nvl(error,'<NULL>') readerror from v$datafile_header df order by tsnum, readwrite desc",
         {},
         "1"},
        {"ALTER TABLESPACE USERS BEGIN BACKUP", {}, nullptr},
        {"begin    sys.dbms_backup_restore.cFileMakeAndUseSnapShot;    "
         "sys.dbms_backup_restore.cFileUseCurrent; end;",
         {},
         nullptr},
        {"alter system archive log current", {}, nullptr},
        {"ALTER TABLESPACE USERS END BACKUP", {}, nullptr},
        {"begin    sys.dbms_backup_restore.VssBackedRecord(      "
         "sys.dbms_backup_restore.RTYP_ARCHIVED_LOG, 2, 700000001); end;",
         {},
         nullptr},
        {"begin    sys.dbms_backup_restore.refreshAgedFiles; end;", {}, nullptr},
        {"select name, ((blocks+1)*block_size) filesize,        first_change#, next_change# from "
         "v$archived_log where next_change# > :1 and dest_id = (select max(dest_id) from           "
         " v$archive_dest            where              valid_now='YES' and              target in "
         "('PRIMARY','LOCAL')) and              archived='YES' and              resetlogs_change# "
         "in                (select resetlogs_change#                 from v$database)",
         {{"1", Value::text("1000")}},
         "C:\\DB\\fra\\ARC00001_1.RA"},
        {"select name, ((blocks+1)*block_size) filesize,        first_change#, next_change# from "
         "v$archived_log where next_change# > :1 and       dest_id = (select max(dest_id)          "
         "    from v$archive_dest where              target in ('PRIMARY', 'LOCAL') and            "
         "  STATUS='VALID') and       archived='YES' and       resetlogs_change# in         "
         "(select resetlogs_change# from          v$database)",
         {{"1", Value::text("1000")}},
         "C:\\DB\\fra\\ARC00001_1.RA"},
        {"select max(incarnation#) Incarnation from v$database_incarnation where resetlogs_change# "
         "  = (select max(resetlogs_change#) from v$database_incarnation     where "
         "resetlogs_change#<:1)",
         {{"1", Value::text("1030")}},
         "1"},
        {"select value filename from v$parameter where name ='control_files'",
         {},
         "C:\\DB\\control01.ctl, C:\\DB\\control02.ctl"},
        {"select member filename from v$logfile union select filename from v$block_change_tracking "
         "union select name filename from v$tempfile",
         {},
         "C:\\DB\\bct.chg"},
        {"select name filename from v$datafile where name like :1  union select member filename "
         "from v$logfile where member like :1  union select filename from v$block_change_tracking "
         "where filename    like :1  union select name filename from v$tempfile where name like :1",
         {{"1", Value::text("C:\\DB\\%.dbf")}},
         "C:\\DB\\sysaux01.dbf"},
    };
    for (const auto& sent : statements) {
        SCOPED_TRACE(sent.text);
        Outcome outcome;
        try {
            outcome = run(sent.text, sent.binds);
        } catch (const DbError& e) {
            ADD_FAILURE() << e.fullText();
            continue;
        }
        if (!sent.first) continue;
        std::string first = "<no rows>";
        if (outcome.isQuery && !outcome.result.rows.empty())
            first = outcome.result.rows[0][0].asText();
        if (!outcome.isQuery && !outcome.assigned.empty())
            first = outcome.assigned.begin()->second.asText();
        EXPECT_EQ(first, sent.first);
    }
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

class RestoredInstance : public DescribedInstance {
protected:
    // A backup of the users datafile, two log switches, a clean shut-down,
    // the file put back and the database mounted.
    void SetUp() override {
        DescribedInstance::SetUp();
        backup = files.files.at(kUsers);
        run("alter system archive log current");
        run("alter system archive log current");
        Instance(state, files).shutdown(false);
        files.files[kUsers] = backup;
        Instance(state, files).startup("");
        run("alter database mount");
    }

    static constexpr const char* kUsers = "C:\\DB\\users01.dbf";
    std::string backup;
};

TEST_F(RestoredInstance, CompleteRecoveryBringsTheHeaderForwardFromTheArchivedLogs) {
    EXPECT_EQ(errorOf("alter database open"), 1113);
    run("alter database recover automatic database");
    EXPECT_EQ(single("select recover from v$datafile_header where file# = 3"), "NO");
    EXPECT_EQ(single("select checkpoint_change# from v$datafile_header where file# = 3"),
              single("select checkpoint_change# from v$database"));
    run("alter database open");
}

TEST_F(RestoredInstance, RecoveryFailsWhenANeededLogIsMissingFromEveryDestination) {
    for (const auto& log : state.archivedLogs) {
        if (log.sequence == 2) files.files.erase(log.name);
    }
    EXPECT_EQ(errorOf("alter database recover datafile 3"), 279);
    EXPECT_EQ(errorOf("alter database recover tablespace USERS"), 279);
    EXPECT_EQ(single("select recover from v$datafile_header where file# = 3"), "YES");
}

TEST_F(RestoredInstance, IncompleteRecoveryOpensOnlyWithResetlogsIntoANewIncarnation) {
    uint64_t until = state.archivedLogs.front().nextChange;
    run("alter database recover database until change " + std::to_string(until));
    EXPECT_EQ(errorOf("alter database open"), 1589);
    run("alter database open resetlogs");
    auto rows =
        run("select incarnation#, resetlogs_change#, status from v$database_incarnation order by 1")
            .result.rows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][2].asText(), "CURRENT");
    EXPECT_EQ(single("select resetlogs_change# from v$database"), rows[1][1].asText());
    EXPECT_EQ(state.logSequence, 1);
    EXPECT_EQ(errorOf("alter database open resetlogs"), 1531);
}

TEST_F(RestoredInstance, ArchivedLogsFoundOnDiskAreRegisteredWhenTheyAreOurs) {
    const FileRecord first = state.archivedLogs.front();
    files.copyFile(first.name, "E:\\RESTORED\\ARC1.ARC");
    run("alter database register logfile 'E:\\RESTORED\\ARC1.ARC'");
    EXPECT_EQ(single("select sequence# from v$archived_log where name = 'E:\\RESTORED\\ARC1.ARC'"),
              std::to_string(first.sequence));
    files.files["E:\\RESTORED\\OTHER.ARC"] =
        encodeHeader(ArchivedLogHeader{state.dbid + 1, 9, 1, 2, 1, 1});
    EXPECT_EQ(errorOf("alter database register logfile 'E:\\RESTORED\\OTHER.ARC'"), 1284);
    EXPECT_EQ(errorOf("alter database register logfile 'E:\\RESTORED\\NONE.ARC'"), 308);
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

// The store runs a query, or a block that calls only what touches the session,
// on its kept state without a copy to compare against, so these must leave the
// state as it was; one that would take an armed failure, and every other
// statement, may change it.
TEST_F(DescribedInstance, QueriesAndSessionOnlyBlocksLeaveTheStateAlone) {
    run("alter system archive log current");
    run("create table t1 (id number, name varchar2(20))");
    run("insert into t1 values (1, 'one')");
    for (const char* table :
         {"dual", "v$version", "v$database", "v$datafile", "v$datafile_header", "v$tablespace",
          "v$controlfile", "v$logfile", "v$tempfile", "v$block_change_tracking", "v$parameter",
          "v$archived_log", "v$backup_piece", "v$datafile_copy", "v$archive_dest",
          "v$database_incarnation", "v$db_pipes", "v$instance", "t1"}) {
        const std::string query = std::string("select * from ") + table;
        ASSERT_FALSE(mayChangeState(state, query)) << query;
        const InstanceState before = state;
        EXPECT_FALSE(run(query).result.columns.empty()) << query;
        EXPECT_TRUE(state == before) << query;
    }
    for (const char* block :
         {"begin sys.dbms_pipe.pack_message('x'); dbms_output.put_line('y'); end;",
          "begin dbms_output.get_line(:line, :status); end;"}) {
        ASSERT_FALSE(mayChangeState(state, block)) << block;
        const InstanceState before = state;
        run(block);
        EXPECT_TRUE(state == before) << block;
    }
    EXPECT_TRUE(mayChangeState(state, kSendBlock));
    EXPECT_TRUE(mayChangeState(state, kReceiveBlock));
    EXPECT_TRUE(mayChangeState(state, kCopyBlock));
    EXPECT_TRUE(
        mayChangeState(state, "begin dbms_output.put_line(sys.dbms_pipe.purge('p')); end;"));
    EXPECT_TRUE(
        mayChangeState(state, "begin :rc := \"SYS\".\"DBMS_PIPE\".send_message('p'); end;"));
    EXPECT_TRUE(mayChangeState(state, "alter system switch logfile"));
    EXPECT_TRUE(mayChangeState(state, "insert into t1 values (2, 'two')"));
    state.failures.push_back({"from  V$DATABASE", 3113, "", false, true});
    EXPECT_TRUE(mayChangeState(state, "select dbid from v$database"));
    EXPECT_FALSE(mayChangeState(state, "select dbid from v$instance"));
}

TEST_F(DescribedInstance, NoArchivingMeansNoHotBackupAndNoArchivedLogs) {
    Instance(state, files).shutdown(false);
    Instance(state, files).startup("");
    run("alter database mount");
    run("alter database noarchivelog");
    run("alter database open");
    EXPECT_EQ(single("SELECT decode(LOG_MODE,'ARCHIVELOG', 1, 0) MREnabled FROM V$DATABASE"), "0");
    EXPECT_EQ(errorOf("ALTER TABLESPACE USERS BEGIN BACKUP"), 1123);
    EXPECT_EQ(errorOf("alter system archive log current"), 258);
    run("alter system switch logfile");
    EXPECT_EQ(state.logSequence, 2);
    EXPECT_TRUE(state.archivedLogs.empty());
}

TEST_F(DescribedInstance, ShutDownIsRefusedWhileATablespaceIsInBackupAndLeavesCleanHeaders) {
    run("ALTER TABLESPACE USERS BEGIN BACKUP");
    EXPECT_THROW(Instance(state, files).shutdown(false), DbError);
    run("ALTER TABLESPACE USERS END BACKUP");
    Instance(state, files).shutdown(false);
    Instance(state, files).startup("");
    run("alter database mount");
    EXPECT_EQ(single("select count(fuzzy) fuzzycnt from v$datafile_header where fuzzy='YES'"), "0");
}

TEST_F(DescribedInstance, AnOfflineDatafileShowsSoInItsHeaderViewAndIsLeftOutOfTheOpen) {
    Instance(state, files).shutdown(false);
    Instance(state, files).setDatafileOnline(3, false);
    files.files.erase("C:\\DB\\users01.dbf");
    Instance(state, files).startup("");
    run("alter database mount");
    auto row =
        run("select status, fuzzy, error from v$datafile_header where file# = 3").result.rows.at(0);
    EXPECT_EQ(row[0].asText(), "OFFLINE");
    EXPECT_TRUE(row[1].isNull());
    EXPECT_EQ(row[2].asText(), "OFFLINE NORMAL");
    run("alter database open");
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
