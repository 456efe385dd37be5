// The client library driven as the writer and the launcher drive it, against
// instances made with vlxsim and served by their own Windows service.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "sim/vorlix/tests/pipe_blocks.h"
#include "sim/vorlix/tests/vci_client.h"

namespace vorlix::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const char* const kDeliveryDatabase = R"({
  "netServiceNames": ["DLV%SID%"],
  "tables": [{"name": "VERSMP", "columns": ["EXFILE", "VERSON", "EXSIZE", "INDATE", "UPTEXT"],
              "rows": [["VEZerez.exe", "V2.1", "1,234,567", "2024-01-02", "  "],
                       ["VUVod.exe", "V1.0", "99", "2023-05-06", null]]}]})";

std::string openModeOf(Connection& c) {
    return c.rows("         select open_mode from v$database").at(0).at(0);
}

TEST(Vci, OpenModeErrorsFollowTheInstanceState) {
    TestInstance db("{}");
    {
        Connection c;
        ASSERT_EQ(c.connectLocal(db.sid()), 0) << c.lastErrorText();
        EXPECT_EQ(openModeOf(c), "READ WRITE");
        ASSERT_EQ(db.vlxsim("shutdown"), 0);
        EXPECT_EQ(c.execute("select open_mode from v$database"), 3113);  // the instance went away
    }
    Connection down;
    EXPECT_EQ(down.connectLocal(db.sid()), 1034);
    EXPECT_THAT(down.lastErrorText(), HasSubstr("VLX-01034"));
    ASSERT_EQ(db.vlxsim("status starting"), 0);
    Connection starting;
    EXPECT_EQ(starting.connectLocal(db.sid()), 1033);
    ASSERT_EQ(db.vlxsim("status down"), 0);
    ASSERT_EQ(db.vlxsim("startup nomount"), 0);
    Connection started;
    ASSERT_EQ(started.connectLocal(db.sid()), 0);
    EXPECT_EQ(started.execute("         select open_mode from v$database"), 1507);
    ASSERT_EQ(started.execute("alter database mount"), 0);
    EXPECT_EQ(openModeOf(started), "MOUNTED");
    ASSERT_EQ(started.execute("alter database open read only"), 0);
    EXPECT_EQ(openModeOf(started), "READ ONLY");
    ASSERT_EQ(db.vlxsim("service stop"), 0);
    Connection noService;
    EXPECT_EQ(noService.connectLocal(db.sid()), 12560);
}

TEST(Vci, PreliminaryConnectionStartsADownInstanceWithTheParameterFileAttribute) {
    TestInstance db(R"({"state": "down"})");
    Connection prelim;
    ASSERT_EQ(prelim.connectLocal(db.sid(), VCI_SYSDBA | VCI_PRELIM_AUTH), 0)
        << prelim.lastErrorText();
    std::string missing = db.directory() + "\\missing.ora";
    auto& v = vci();
    v.VCIAttrSet(prelim.admin, VCI_HTYPE_ADMIN, missing.data(), uint32_t(missing.size()),
                 VCI_ATTR_ADMIN_PFILE, prelim.err);
    EXPECT_EQ(prelim.check(v.VCIDBStartup(prelim.svc, prelim.err, prelim.admin, 0, 0)), VCI_ERROR);
    EXPECT_EQ(prelim.lastErrorNumber(), 1078);
    std::string pfile = db.directory() + "\\init" + db.sid() + ".ora";
    v.VCIAttrSet(prelim.admin, VCI_HTYPE_ADMIN, pfile.data(), uint32_t(pfile.size()),
                 VCI_ATTR_ADMIN_PFILE, prelim.err);
    ASSERT_EQ(prelim.check(v.VCIDBStartup(prelim.svc, prelim.err, prelim.admin, 0, 0)), VCI_SUCCESS)
        << prelim.lastErrorText();
    Connection normal;
    ASSERT_EQ(normal.connectLocal(db.sid()), 0);
    EXPECT_EQ(normal.execute("select open_mode from v$database"), 1507);
    EXPECT_THAT(normal.rows("select value from v$parameter where name = 'spfile'"),
                ElementsAre(ElementsAre("<NULL>")));
}

TEST(Vci, NetServiceNameConnectsTheDeliverySchema) {
    std::string description = kDeliveryDatabase;
    TestInstance db(description.replace(description.find("%SID%"), 5, "X"));
    std::string name = "DLVX";
    Connection wrong;
    EXPECT_EQ(wrong.connect(name, VCI_DEFAULT, "dlv", "nope"), 1017);
    Connection unknown;
    EXPECT_EQ(unknown.connect("NO_SUCH_NAME", VCI_DEFAULT, "dlv", "dlv4826"), 12154);
    Connection c;
    ASSERT_EQ(c.connect(name, VCI_DEFAULT, "dlv", "dlv4826"), 0) << c.lastErrorText();
    auto rows = c.rows(
        "  SELECT * FROM VERSMP                            \n   WHERE EXFILE = 'VEZerez.exe'       "
        "  ");
    EXPECT_THAT(rows,
                ElementsAre(ElementsAre("VEZerez.exe", "V2.1", "1,234,567", "2024-01-02", "  ")));
    EXPECT_TRUE(c.rows("SELECT * FROM VERSMP WHERE EXFILE = 'RAZiravuv.exe'").empty());
    EXPECT_EQ(c.execute("SELECT * FROM NOTHERE"), 942);
    EXPECT_EQ(c.execute("truncate everything"), 900);
    EXPECT_EQ(c.lastErrorText(), "VLX-00900: invalid SQL statement");
    ASSERT_EQ(db.vlxsim("fail next 3113 \"from versmp\""), 0);
    EXPECT_EQ(c.execute("SELECT * FROM VERSMP"), 3113);
    EXPECT_EQ(c.rows("SELECT * FROM VERSMP").size(), 2u);  // only the next one failed
    ASSERT_EQ(db.vlxsim("shutdown"), 0);
    ASSERT_EQ(db.vlxsim("startup mount"), 0);
    Connection mounted;
    EXPECT_EQ(mounted.connect(name, VCI_DEFAULT, "dlv", "dlv4826"),
              1033);  // only administrators before open
}

TEST(Vci, AnArmedCloseFailureRefusesFreeingTheNextSuchStatementOnly) {
    std::string description = kDeliveryDatabase;
    TestInstance db(description.replace(description.find("%SID%"), 5, "C"));
    Connection c;
    ASSERT_EQ(c.connect("DLVC", VCI_DEFAULT, "dlv", "dlv4826"), 0) << c.lastErrorText();
    ASSERT_EQ(db.vlxsim("fail-close \"where exfile\""), 0);
    auto runAndFree = [&](const std::string& text) {
        auto& v = vci();
        VCIStmt* stmt = nullptr;
        v.VCIHandleAlloc(c.env, reinterpret_cast<void**>(&stmt), VCI_HTYPE_STMT, 0, nullptr);
        v.VCIStmtPrepare(stmt, c.err, text.c_str(), uint32_t(text.size()), VCI_NTV_SYNTAX,
                         VCI_DEFAULT);
        EXPECT_EQ(v.VCIStmtExecute(c.svc, stmt, c.err, 0, 0, nullptr, nullptr, VCI_DEFAULT),
                  VCI_SUCCESS);
        return v.VCIHandleFree(stmt, VCI_HTYPE_STMT);
    };
    EXPECT_EQ(runAndFree("SELECT * FROM VERSMP"), VCI_SUCCESS);
    EXPECT_EQ(runAndFree("SELECT * FROM VERSMP WHERE EXFILE = 'VEZerez.exe'"), VCI_ERROR);
    EXPECT_EQ(runAndFree("SELECT * FROM VERSMP WHERE EXFILE = 'VEZerez.exe'"), VCI_SUCCESS);
}

TEST(Vci, DescribeBindsDefinesOfEveryTypeAndFetchToTheEnd) {
    TestInstance db(R"({"archivedLogs": 3, "recoveryArea": "fra", "backupPieces": ["bp1.bkp"],
                        "datafileCopies": ["df1.cpy"]})");
    Connection c;
    ASSERT_EQ(c.connectLocal(db.sid()), 0);
    std::string piece = db.directory() + "\\fra\\bp1.bkp";
    EXPECT_THAT(c.rows("select handle name from v$backup_piece where status='A' and "
                       "is_recovery_dest_file='YES'"),
                ElementsAre(ElementsAre(piece)));
    EXPECT_NE(GetFileAttributesA(piece.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(c.rows("select name from v$datafile_copy where is_recovery_dest_file='YES'").size(),
              1u);
    auto& v = vci();
    VCIStmt* stmt = c.newStatement(
        "select recid, stamp, name, sequence# seq from v$archived_log    where status='A' and "
        "is_recovery_dest_file='NO' and          DEST_ID = :1 order by recid");
    ASSERT_EQ(
        c.check(v.VCIStmtExecute(c.svc, stmt, c.err, 1, 0, nullptr, nullptr, VCI_DESCRIBE_ONLY)),
        VCI_SUCCESS)
        << c.lastErrorText();
    uint32_t count = 0;
    v.VCIAttrGet(stmt, VCI_HTYPE_STMT, &count, nullptr, VCI_ATTR_PARAM_COUNT, c.err);
    ASSERT_EQ(count, 4u);
    // The names stay readable after their descriptors are freed and the statement executed.
    std::vector<std::pair<const char*, uint32_t>> described;
    for (uint32_t i = 1; i <= count; ++i) {
        void* param = nullptr;
        ASSERT_EQ(v.VCIParamGet(stmt, VCI_HTYPE_STMT, c.err, &param, i), VCI_SUCCESS);
        char* name = nullptr;
        uint32_t length = 0;
        v.VCIAttrGet(param, VCI_DTYPE_PARAM, &name, &length, VCI_ATTR_NAME, c.err);
        described.emplace_back(name, length);
        v.VCIDescriptorFree(param, VCI_DTYPE_PARAM);
    }
    uint16_t dest = 1;
    v.VCIBindByName(stmt, nullptr, c.err, ":1", 2, &dest, sizeof dest, SQLT_UIN, nullptr, nullptr,
                    nullptr, 0, nullptr, VCI_DEFAULT);
    int32_t recid = 0;
    uint32_t stamp = 0;
    char name[8] = {};  // too small on purpose
    int16_t nameIndicator = 0;
    unsigned char sequence[22] = {};
    v.VCIDefineByPos(stmt, nullptr, c.err, 1, &recid, 4, SQLT_INT, nullptr, nullptr, nullptr, 0);
    v.VCIDefineByPos(stmt, nullptr, c.err, 2, &stamp, 4, SQLT_UIN, nullptr, nullptr, nullptr, 0);
    v.VCIDefineByPos(stmt, nullptr, c.err, 3, name, sizeof name, SQLT_STR, &nameIndicator, nullptr,
                     nullptr, 0);
    v.VCIDefineByPos(stmt, nullptr, c.err, 4, sequence, sizeof sequence, SQLT_VNU, nullptr, nullptr,
                     nullptr, 0);
    ASSERT_EQ(v.VCIStmtExecute(c.svc, stmt, c.err, 0, 0, nullptr, nullptr, VCI_DEFAULT),
              VCI_SUCCESS);
    int rows = 0;
    for (;;) {
        int32_t rc = c.check(v.VCIStmtFetch(stmt, c.err, 1, VCI_FETCH_NEXT, VCI_DEFAULT));
        if (rc == VCI_NO_DATA) break;
        ASSERT_EQ(rc, VCI_SUCCESS_WITH_INFO);  // the name did not fit
        EXPECT_EQ(c.lastErrorNumber(), 1406);
        ++rows;
        EXPECT_GT(recid, 0);
        EXPECT_GE(stamp, 700000000u);
        EXPECT_EQ(std::strlen(name), sizeof name - 1);
        EXPECT_GT(nameIndicator, int16_t(sizeof name));
        EXPECT_EQ(sequence[0], 2);  // length byte, exponent, one base-100 digit
        EXPECT_EQ(sequence[2], rows + 1);
    }
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(c.check(v.VCIStmtFetch(stmt, c.err, 1, VCI_FETCH_NEXT, VCI_DEFAULT)), VCI_NO_DATA);
    std::vector<std::string> names;
    for (auto [name, length] : described) names.emplace_back(name, length);
    EXPECT_THAT(names, ElementsAre("RECID", "STAMP", "NAME", "SEQ"));
}

struct Seen {
    std::vector<uint32_t> codes;
    std::string prepared;
    void* boundValue = nullptr;
    int boundType = 0;
    uint32_t executeIterations = 99;
    uint32_t executeMode = 99;
};

int32_t recordCall(void* ctx, void*, uint32_t, uint32_t fcode, uint32_t when, int32_t, int32_t*,
                   va_list args) {
    auto* seen = static_cast<Seen*>(ctx);
    seen->codes.push_back(fcode);
    EXPECT_EQ(when, uint32_t(VCI_UCBTYPE_EXIT));
    if (fcode == VCI_FNCODE_STMTPREPARE) {
        va_arg(args, void*);
        va_arg(args, void*);
        const char* text = va_arg(args, const char*);
        uint32_t length = va_arg(args, uint32_t);
        seen->prepared.assign(text, length);
    } else if (fcode == VCI_FNCODE_BINDBYNAME) {
        for (int i = 0; i < 5; ++i) va_arg(args, void*);  // stmt, bind, error, name, name length
        seen->boundValue = va_arg(args, void*);
        va_arg(args, int32_t);
        seen->boundType = va_arg(args, int);
    } else if (fcode == VCI_FNCODE_STMTEXECUTE) {
        for (int i = 0; i < 3; ++i) va_arg(args, void*);
        seen->executeIterations = va_arg(args, uint32_t);
        for (int i = 0; i < 3; ++i) va_arg(args, void*);  // row offset, snapshots
        seen->executeMode = va_arg(args, uint32_t);
    }
    return VCI_CONTINUE;
}

TEST(Vci, AfterCallCallbacksReceiveTheOperationsArguments) {
    TestInstance db("{}");
    Connection c;
    ASSERT_EQ(c.connectLocal(db.sid()), 0);
    auto& v = vci();
    Seen seen;
    for (uint32_t code : {13u, 67u, 65u, 21u, 28u})
        ASSERT_EQ(v.VCIUserCallbackRegister(c.env, VCI_HTYPE_ENV, c.err, recordCall, &seen, code,
                                            VCI_UCBTYPE_EXIT, nullptr),
                  VCI_SUCCESS);
    const std::string text = "SELECT TS# FROM V$TABLESPACE WHERE NAME=:1";
    VCIStmt* stmt = c.newStatement(text);
    char users[50] = "USERS";
    v.VCIBindByName(stmt, nullptr, c.err, ":1", 2, users, sizeof users, SQLT_STR, nullptr, nullptr,
                    nullptr, 0, nullptr, VCI_DEFAULT);
    uint32_t ts = 99;
    v.VCIDefineByPos(stmt, nullptr, c.err, 1, &ts, 4, SQLT_UIN, nullptr, nullptr, nullptr, 0);
    ASSERT_EQ(v.VCIStmtExecute(c.svc, stmt, c.err, 1, 0, nullptr, nullptr, VCI_DEFAULT),
              VCI_SUCCESS);
    EXPECT_EQ(ts, 2u);
    EXPECT_EQ(v.VCIStmtFetch(stmt, c.err, 1, VCI_FETCH_NEXT, VCI_DEFAULT), VCI_NO_DATA);
    EXPECT_THAT(seen.codes, ElementsAre(13u, 67u, 21u, 28u));
    EXPECT_EQ(seen.prepared, text);
    EXPECT_EQ(seen.boundValue, users);
    EXPECT_EQ(seen.boundType, SQLT_STR);
    EXPECT_EQ(seen.executeIterations, 1u);
    EXPECT_EQ(seen.executeMode, 0u);

    seen = {};
    VCIStmt* byPosition = c.newStatement(text);
    ASSERT_EQ(v.VCIBindByPos(byPosition, nullptr, c.err, 1, users, sizeof users, SQLT_STR, nullptr,
                             nullptr, nullptr, 0, nullptr, VCI_DEFAULT),
              VCI_SUCCESS);
    EXPECT_THAT(seen.codes, ElementsAre(13u, 65u));
}

TEST(Vci, TwoProcessesTalkThroughADatabasePipe) {
    TestInstance db("{}");
    Connection c;
    ASSERT_EQ(c.connectLocal(db.sid()), 0);
    auto& v = vci();
    VCIStmt* send = c.newStatement(kSendBlock);
    char command[4096] = "recover database;";
    v.VCIBindByName(send, nullptr, c.err, ":cmd", 4, command, sizeof command, SQLT_STR, nullptr,
                    nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
    ASSERT_EQ(c.check(v.VCIStmtExecute(c.svc, send, c.err, 1, 0, nullptr, nullptr, VCI_DEFAULT)),
              VCI_SUCCESS)
        << c.lastErrorText();
    std::wstring sid(db.sid().begin(), db.sid().end());
    std::string output;
    ASSERT_EQ(
        runTool(
            L"vlxsql.exe\" " + sid +
                L" -- \"declare rc number; m varchar2(500); begin rc := "
                L"sys.dbms_pipe.receive_message('vlx$bakx_vss_in', 0); "
                L"sys.dbms_pipe.unpack_message(m); "
                L"dbms_output.put_line(m); rc := sys.dbms_pipe.create_pipe('vlx$bakx_vss_out'); "
                L"sys.dbms_pipe.pack_message('BAKX-00572: waiting for input'); "
                L"rc := sys.dbms_pipe.send_message('vlx$bakx_vss_out'); end;\"",
            &output),
        0);
    EXPECT_EQ(output, "recover database;\r\n");
    EXPECT_THAT(c.rows("select type from v$db_pipes where name='VLX$BAKX_VSS_OUT'"),
                ElementsAre(ElementsAre("PRIVATE")));
    VCIStmt* receive = c.newStatement(kReceiveBlock);
    uint32_t retval = 0;
    char errorText[4096] = "not touched";
    v.VCIBindByName(receive, nullptr, c.err, ":bakxerr", 8, errorText, sizeof errorText, SQLT_STR,
                    nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
    v.VCIBindByName(receive, nullptr, c.err, ":retval", 7, &retval, sizeof retval, SQLT_UIN,
                    nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
    ASSERT_EQ(c.check(v.VCIStmtExecute(c.svc, receive, c.err, 1, 0, nullptr, nullptr, VCI_DEFAULT)),
              VCI_SUCCESS)
        << c.lastErrorText();
    EXPECT_EQ(retval, 1u);
    EXPECT_STREQ(errorText, "");
    // Drained: the next run has nothing and ends in the no-data answer.
    EXPECT_EQ(c.check(v.VCIStmtExecute(c.svc, receive, c.err, 1, 0, nullptr, nullptr, VCI_DEFAULT)),
              VCI_NO_DATA);
}

TEST(Vci, WhileAReceiveWaitsItsSessionsEarlierMessagesReachOtherProcesses) {
    TestInstance db("{}");
    std::wstring sid(db.sid().begin(), db.sid().end());
    std::string output;
    int code = -1;
    std::thread tool([&] {
        code = runTool(
            L"vlxsql.exe\" " + sid +
                L" -- \"declare rc number; m varchar2(100); begin "
                L"rc := sys.dbms_pipe.create_pipe('vlx$bakx_vss_out'); "
                L"sys.dbms_pipe.pack_message('BAKX-00572: waiting for input'); "
                L"rc := sys.dbms_pipe.send_message('vlx$bakx_vss_out'); "
                L"rc := sys.dbms_pipe.receive_message('vlx$bakx_vss_in', 60); "
                L"sys.dbms_pipe.unpack_message(m); dbms_output.put_line(rc || ' ' || m); end;\"",
            &output);
    });
    Connection c;
    ASSERT_EQ(c.connectLocal(db.sid()), 0);
    auto& v = vci();
    VCIStmt* receive = c.newStatement(kReceiveBlock);
    uint32_t retval = 0;
    char errorText[4096] = {};
    v.VCIBindByName(receive, nullptr, c.err, ":bakxerr", 8, errorText, sizeof errorText, SQLT_STR,
                    nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
    v.VCIBindByName(receive, nullptr, c.err, ":retval", 7, &retval, sizeof retval, SQLT_UIN,
                    nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
    int32_t rc = VCI_NO_DATA;
    for (int poll = 0; poll < 300 && rc == VCI_NO_DATA;
         ++poll) {  // the tool's prompt, as the writer polls
        rc = v.VCIStmtExecute(c.svc, receive, c.err, 1, 0, nullptr, nullptr, VCI_DEFAULT);
        if (rc == VCI_NO_DATA) Sleep(100);
    }
    EXPECT_EQ(rc, VCI_SUCCESS);
    EXPECT_EQ(retval, 1u);
    VCIStmt* send = c.newStatement(kSendBlock);
    char command[4096] = "recover database;";
    v.VCIBindByName(send, nullptr, c.err, ":cmd", 4, command, sizeof command, SQLT_STR, nullptr,
                    nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
    EXPECT_EQ(c.check(v.VCIStmtExecute(c.svc, send, c.err, 1, 0, nullptr, nullptr, VCI_DEFAULT)),
              VCI_SUCCESS);
    tool.join();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, "0 recover database;\r\n");
}

TEST(Vci, ADatafileCopiedBackIsSeenWithItsOldHeaderAfterAMount) {
    TestInstance db("{}");
    std::string directory = db.directory();
    std::wstring users = std::wstring(directory.begin(), directory.end()) + L"\\users01.dbf";
    ASSERT_TRUE(CopyFileW(users.c_str(), (users + L".copy").c_str(), FALSE)) << GetLastError();
    {
        Connection c;
        ASSERT_EQ(c.connectLocal(db.sid()), 0);
        ASSERT_EQ(c.execute("alter system archive log current"), 0) << c.lastErrorText();
    }
    ASSERT_EQ(db.vlxsim("shutdown"), 0);
    ASSERT_TRUE(CopyFileW((users + L".copy").c_str(), users.c_str(), FALSE));
    ASSERT_EQ(db.vlxsim("startup mount"), 0);
    Connection c;
    ASSERT_EQ(c.connectLocal(db.sid()), 0);
    auto header =
        c.rows("select recover, checkpoint_change# from v$datafile_header where file# = 3").at(0);
    auto current = c.rows("select checkpoint_change# from v$database").at(0).at(0);
    EXPECT_EQ(header.at(0), "YES");
    EXPECT_LT(std::stoull(header.at(1)), std::stoull(current));
    EXPECT_EQ(c.execute("alter database open"), 1113);
    EXPECT_THAT(c.lastErrorText(), HasSubstr("users01.dbf"));
}

std::string toolOutput(const std::string& sid, const std::string& command) {
    std::string output;
    std::wstring line = L"vlxsim.exe\" " + std::wstring(command.begin(), command.end()) + L" " +
                        std::wstring(sid.begin(), sid.end());
    EXPECT_EQ(runTool(line, &output), 0) << command;
    return output;
}

TEST(Vlxsim, ChangesAnInstanceAndShowsItsStateAndHeaders) {
    TestInstance db("{}");
    ASSERT_EQ(db.vlxsim("switch 2"), 0);
    ASSERT_EQ(db.vlxsim("datafile 2 error \"CANNOT READ HEADER\""), 0);
    ASSERT_EQ(db.vlxsim("dest 1 ERROR"), 0);
    ASSERT_EQ(db.vlxsim("shutdown"), 0);
    ASSERT_EQ(db.vlxsim("datafile 3 fuzzy"), 0);
    ASSERT_EQ(db.vlxsim("datafile 1 offline"), 0);
    ASSERT_EQ(db.vlxsim("logmode noarchivelog"), 0);
    ASSERT_EQ(db.vlxsim("startup mount"), 0);
    EXPECT_THAT(toolOutput(db.sid(), "headers"),
                HasSubstr("users01.dbf: tablespace USERS checkpoint"));
    EXPECT_THAT(toolOutput(db.sid(), "headers"), HasSubstr("sequence 2 changes"));
    EXPECT_THAT(toolOutput(db.sid(), "show"), HasSubstr("\"status\": \"mounted\""));
    Connection c;
    ASSERT_EQ(c.connectLocal(db.sid()), 0);
    EXPECT_THAT(c.rows("select file#, status, fuzzy, error from v$datafile_header order by 1"),
                ElementsAre(ElementsAre("1", "OFFLINE", "<NULL>", "OFFLINE NORMAL"),
                            ElementsAre("2", "ONLINE", "NO", "CANNOT READ HEADER"),
                            ElementsAre("3", "ONLINE", "YES", "<NULL>")));
    EXPECT_THAT(c.rows("select status, valid_now from v$archive_dest where dest_id = 1"),
                ElementsAre(ElementsAre("ERROR", "NO")));
    EXPECT_THAT(c.rows("select log_mode from v$database"),
                ElementsAre(ElementsAre("NOARCHIVELOG")));
    EXPECT_EQ(c.rows("select name from v$archived_log").size(), 2u);
    EXPECT_NE(db.vlxsim("datafile 9 offline"), 0);
    EXPECT_NE(db.vlxsim("nonsense"), 0);
}

TEST(Vci, SettingsComeFromTheEnvironmentFirstThenTheRegistry) {
    auto& v = vci();
    std::wstring name = L"VLX_TEST" + std::to_wstring(GetCurrentProcessId()) + L"_PFILE";
    std::string narrowName(name.begin(), name.end());
    char value[64] = {};
    EXPECT_EQ(v.slzgetevar(narrowName.c_str(), value, sizeof value), -1);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vorlix", 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t stored[] = L"C:\\stored.ora";
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(stored),
                   sizeof stored);
    EXPECT_EQ(v.slzgetevar(narrowName.c_str(), value, sizeof value), 13);
    EXPECT_STREQ(value, "C:\\stored.ora");
    SetEnvironmentVariableW(name.c_str(), L"C:\\env.ora");
    EXPECT_EQ(v.slzgetevar(narrowName.c_str(), value, sizeof value), 10);
    EXPECT_STREQ(value, "C:\\env.ora");
    SetEnvironmentVariableW(name.c_str(), nullptr);
    RegDeleteValueW(key, name.c_str());
    RegCloseKey(key);
}

TEST(Vci, LanguageRoutinesCompareNamesAndFormatNumbersAndDates) {
    auto& v = vci();
    int32_t status = -1;
    VLXGlobalCtx* global = v.lxlinit(nullptr, 0, &status);
    ASSERT_NE(global, nullptr);
    VLXLangCtx* language = v.lxinitc(global, nullptr, 0);
    const char american[] = "AMERICAN_AMERICA.US7ASCII";
    VLXLangHandle* handle = v.lxhLaToId(american, sizeof american - 1, language);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(
        v.lxsCmpStr("open_mode", 9, "OPEN_MODE", 9, VLX_CMP_CASE_INSENSITIVE, handle, language), 0);
    EXPECT_NE(v.lxsCmpStr("open_mode", 9, "OPEN_MODE", 9, 0, handle, language), 0);
    EXPECT_NE(v.lxsCmpStr("OPEN", 4, "OPEN_MODE", 9, VLX_CMP_CASE_INSENSITIVE, handle, language),
              0);

    unsigned char format[VLX_FORMAT_BUFFER_SIZE];
    const char numberFormat[] = "FM999999999999999999999999999999999999999";
    ASSERT_EQ(v.lnxpfl(numberFormat, sizeof numberFormat - 1, format, sizeof format, handle), 0);
    const unsigned char number[] = {0xC4, 2, 24, 46, 68};  // 1234567 in base 100: 1 23 45 67
    char text[64];
    ASSERT_EQ(v.lnxnft(number, sizeof number, text, sizeof text, format, handle), 7);
    EXPECT_STREQ(text, "1234567");

    VLXDateCtx* dates = v.ldxini(american, sizeof american - 1, nullptr, nullptr, language);
    const unsigned char external[7] = {120, 124, 3, 9, 14, 6, 8};  // 2024-03-09 13:05:07
    VLXDate date{};
    ASSERT_EQ(v.ldxeti(dates, external, &date), 0);
    const char dateFormat[] = "MM/DD/YYYY HH24:MI:SS";
    ASSERT_EQ(v.ldxsto(dates, dateFormat, sizeof dateFormat - 1, format, sizeof format), 0);
    ASSERT_EQ(v.ldxdts(dates, text, sizeof text, &date, format), 19);
    EXPECT_STREQ(text, "03/09/2024 13:05:07");
}

}  // namespace
}  // namespace vorlix::test
