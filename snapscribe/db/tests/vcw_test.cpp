// The wrapper against a stand-in instance reached through VCI.dll.

#include "snapscribe/db/vcw.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "db_test_support.h"
#include "snapscribe/db/connection.h"
#include "snapscribe/host/trace.h"
#include "snapscribe/host/writer_failure.h"

namespace snapscribe::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The session's details a writer failure raised with `session` in use takes.
SessionDetails detailsOfAFailureOn(VcwSession& session) {
    installSessionDetailsReader(vcw_failuredetails);
    setCurrentSession(&session);
    SessionDetails details;
    try {
        raiseWriterFailure(0xCFFF0016, 2676);
    } catch (const WriterFailureError& error) {
        details = error.failure().session;
    }
    setCurrentSession(nullptr);
    return details;
}

TEST(VcwFailureDetails, AFailureTakesTheBannerEveryTimeAndThePendingErrorOnce) {
    // A session as a failed connection leaves it: a banner and the database's error.
    const std::string text = "VLX-01034: VORLIX not available";
    VcwSession session;
    std::snprintf(session.banner, sizeof session.banner, "Vorlix Database 11g Release 11.2.0.1.0");
    session.last.errorNumber = 1034;
    std::snprintf(session.last.errorText, sizeof session.last.errorText, "%s", text.c_str());
    session.last.textLength = static_cast<std::uint32_t>(text.size());

    const SessionDetails first = detailsOfAFailureOn(session);
    const SessionDetails second = detailsOfAFailureOn(session);
    EXPECT_EQ(first.banner, L"Vorlix Database 11g Release 11.2.0.1.0");
    EXPECT_EQ(first.pendingError, text);
    EXPECT_EQ(second.banner, first.banner);
    EXPECT_TRUE(second.pendingError.empty());
    EXPECT_EQ(session.last.errorNumber, 0);
}

class VcwTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        vorlixHome();
        instance_ = new Instance(R"({"archivedLogs": 3})");
    }
    static void TearDownTestSuite() { delete instance_; }

    void SetUp() override {
        instance_->makeCurrent();
        environment_ = vcw_env();
        ASSERT_NE(environment_, nullptr);
    }

    // Connects a new session with the trace level of the moment.
    VcwSession* connect() {
        char descriptor[1024];
        makeLocalConnectString(descriptor, sizeof descriptor);
        VcwSession* session = nullptr;
        EXPECT_EQ(vcw_con(environment_.get(), session, descriptor, false), 0)
            << session->last.errorText;
        return session;
    }

    static Instance* instance_;
    std::unique_ptr<VcwEnvironment> environment_;
};

Instance* VcwTest::instance_ = nullptr;

TEST_F(VcwTest, AConnectionReadsTheBannerAndADisconnectKeepsOrReleasesTheRecord) {
    VcwSession* session = connect();
    EXPECT_THAT(session->banner, HasSubstr("Vorlix"));
    EXPECT_EQ(session->connectString.substr(0, 13), "(DESCRIPTION=");
    EXPECT_EQ(session->sessionMode, kVcwSysdba);
    EXPECT_EQ(environment_->sessions.size(), 1u);

    VcwSession* kept = session;
    vcw_dcon(kept, true);
    EXPECT_EQ(kept, session);
    EXPECT_EQ(session->serviceContext, nullptr);
    EXPECT_EQ(session->server, nullptr);

    char descriptor[1024];
    makeLocalConnectString(descriptor, sizeof descriptor);
    EXPECT_EQ(vcw_con(environment_.get(), kept, descriptor, false), 0);
    EXPECT_EQ(kept, session) << "the record is reused";
    vcw_dcon(kept, false);
    EXPECT_EQ(kept, nullptr);
    EXPECT_TRUE(environment_->sessions.empty());
}

// A transient failure of the banner query costs the banner, not the
// connection: a reused record does not keep the banner of before either.
TEST_F(VcwTest, AFailedBannerReadLeavesAnEmptyBannerAndAWorkingConnection) {
    VcwSession* session = connect();
    ASSERT_THAT(session->banner, HasSubstr("Vorlix"));
    vcw_dcon(session, true);

    ASSERT_EQ(instance_->vlxsim("fail", "next 1034 \"select banner from v$version\""), 0u);
    char descriptor[1024];
    makeLocalConnectString(descriptor, sizeof descriptor);
    EXPECT_EQ(vcw_con(environment_.get(), session, descriptor, false), 0);
    EXPECT_STREQ(session->banner, "");
    EXPECT_EQ(session->last.returnCode, VCI_SUCCESS);
    EXPECT_EQ(session->last.errorNumber, 0) << "no error left pending for a later report";
    EXPECT_TRUE(session->cursors.empty());

    VcwCursor* cursor = nullptr;
    char name[31];
    ASSERT_EQ(vcw_opn(session, cursor, "select name from v$tablespace where name = 'SYSTEM'"), 0);
    ASSERT_EQ(vcw_dfn(session, cursor, "name", name, sizeof name, SQLT_STR, nullptr), 0);
    EXPECT_EQ(vcw_exe(session, cursor), 0);
    EXPECT_EQ(vcw_fet(session, cursor), 0);
    EXPECT_STREQ(name, "SYSTEM");
    vcw_cls(session, cursor);
    vcw_dcon(session, false);
    instance_->vlxsim("clear-failures");
}

TEST_F(VcwTest, AConnectStringOfTwoCharactersOrAnUnknownInstanceFailsAndKeepsTheRecord) {
    VcwSession* session = nullptr;
    EXPECT_EQ(vcw_con(environment_.get(), session, "/@", false), 1);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->last.returnCode, VCI_ERROR);

    const std::string unknown = "/@(DESCRIPTION=(CONNECT_DATA=(SID=NOSUCH)))";
    EXPECT_EQ(vcw_con(environment_.get(), session, unknown.c_str(), false), 1);
    EXPECT_NE(session->last.errorNumber, 0);
    EXPECT_GT(session->last.textLength, 0u);
    EXPECT_EQ(session->server, nullptr) << "a failed connection holds no handles";
    vcw_dcon(session, false);
}

TEST_F(VcwTest, RowsAreFetchedToTheEndAndTheCursorStaysOpenThere) {
    VcwSession* session = connect();
    VcwCursor* cursor = nullptr;
    ASSERT_EQ(vcw_opn(session, cursor,
                      "select name from v$tablespace where name in ('SYSTEM', 'USERS') "
                      "order by name"),
              0);
    char name[31];
    std::int16_t indicator = 0;
    ASSERT_EQ(vcw_dfn(session, cursor, "name", name, sizeof name, SQLT_STR, &indicator), 0);
    ASSERT_EQ(vcw_exe(session, cursor), 0);
    ASSERT_EQ(vcw_fet(session, cursor), 0);
    EXPECT_STREQ(name, "SYSTEM");
    ASSERT_EQ(vcw_fet(session, cursor), 0);
    EXPECT_STREQ(name, "USERS");
    EXPECT_EQ(vcw_fet(session, cursor), 1);
    EXPECT_EQ(session->last.returnCode, VCI_NO_DATA);
    EXPECT_TRUE(vcw_isopen(session, cursor));
    EXPECT_EQ(vcw_cls(session, cursor), 0);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(vcw_fet(session, cursor), 1) << "a closed cursor has no rows";
    vcw_dcon(session, false);
}

TEST_F(VcwTest, ExecuteFetchCloseWithoutRowsFailsWithNoDataAndClosesTheCursor) {
    VcwSession* session = connect();
    VcwCursor* cursor = nullptr;
    ASSERT_EQ(vcw_opn(session, cursor, "select name from v$tablespace where name = 'NONE'"), 0);
    char name[31];
    ASSERT_EQ(vcw_dfn(session, cursor, "NAME", name, sizeof name, SQLT_STR, nullptr), 0);
    EXPECT_EQ(vcw_efc(session, cursor), 1);
    EXPECT_EQ(session->last.returnCode, VCI_NO_DATA);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_TRUE(session->cursors.empty());

    ASSERT_EQ(vcw_opn(session, cursor, "select open_mode from v$database"), 0);
    char mode[20];
    ASSERT_EQ(vcw_dfn(session, cursor, "open_mode", mode, sizeof mode, SQLT_STR, nullptr), 0);
    EXPECT_EQ(vcw_efc(session, cursor), 0);
    EXPECT_STREQ(mode, "READ WRITE");
    EXPECT_TRUE(session->cursors.empty()) << "closed after the first row";
    vcw_dcon(session, false);
}

TEST_F(VcwTest, TheFailureReportNamesTheFailingStatementAndTheDatabaseError) {
    TraceCapture trace(TRC_MISC);
    VcwSession* session = connect();
    VcwCursor* cursor = nullptr;
    EXPECT_EQ(vcw_opn(session, cursor, "select nothing from nowhere_at_all"), 1);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(session->last.returnCode, VCI_ERROR);
    EXPECT_EQ(session->last.errorNumber, 942);
    EXPECT_EQ(session->lastStatement, "select nothing from nowhere_at_all");
    vcw_perr(session);

    // Without an error text the report names the return code.
    ASSERT_EQ(vcw_opn(session, cursor, "select name from v$tablespace where name = 'NONE'"), 0);
    char name[31];
    vcw_dfn(session, cursor, "NAME", name, sizeof name, SQLT_STR, nullptr);
    vcw_efc(session, cursor);
    session->last.errorText[0] = '\0';
    vcw_perr(session);
    vcw_dcon(session, false);

    EXPECT_THAT(trace.text(),
                HasSubstr("\nFailing SQL statement:\nselect nothing from nowhere_at_all\n"
                          "\nError from database:\nVLX-00942: table or view does not exist"));
    EXPECT_THAT(trace.text(), HasSubstr("\nError from database:VCI Return code : VCI_NO_DATA"));
}

TEST_F(VcwTest, AFailedDefineOrExecuteKeepsItsOwnErrorNotTheClosesResult) {
    VcwSession* session = connect();
    VcwCursor* cursor = nullptr;
    ASSERT_EQ(vcw_opn(session, cursor, "select name from v$tablespace"), 0);
    char name[3];  // too small for the names: cut, answered with information
    ASSERT_EQ(vcw_dfn(session, cursor, "NAME", name, sizeof name, SQLT_STR, nullptr), 0);
    ASSERT_EQ(vcw_exe(session, cursor), 0);
    EXPECT_EQ(vcw_fet(session, cursor), 0) << "success with information is a row";
    EXPECT_EQ(session->last.returnCode, VCI_SUCCESS_WITH_INFO);
    vcw_cls(session, cursor);

    ASSERT_EQ(vcw_opn(session, cursor, "select ts# from v$tablespace"), 0);
    std::uint32_t number = 0;
    ASSERT_EQ(vcw_dfn(session, cursor, "TS#", &number, sizeof number, SQLT_UIN, nullptr), 0);
    ASSERT_EQ(instance_->vlxsim("fail", "next 1555 \"V$TABLESPACE\" \"snapshot too old\""), 0u);
    EXPECT_EQ(vcw_exe(session, cursor), 1);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(session->last.errorNumber, 1555);
    EXPECT_EQ(session->last.returnCode, VCI_ERROR);
    EXPECT_EQ(session->lastStatement, "select ts# from v$tablespace");
    vcw_dcon(session, false);
    instance_->vlxsim("clear-failures");
}

TEST_F(VcwTest, WithSqlTracingEveryStatementIsDumpedWithItsBindsAndTheServerOutput) {
    TraceCapture trace(TRC_SQL);
    VcwSession* session = connect();
    VcwCursor* cursor = nullptr;
    const char* const query =
        "select name from v$tablespace where name = :name and ts# >= :low and ts# < :high";
    ASSERT_EQ(vcw_opn(session, cursor, query), 0);
    char users[] = "USERS";
    std::int32_t low = -1;
    std::uint32_t high = 4000000000u;
    ASSERT_EQ(vcw_bnd(session, cursor, "name", users, 0, kVcwBindIn, SQLT_STR, nullptr), 0);
    EXPECT_EQ(session->binds[0].size, 6) << "size 0 binds the text with its terminator";
    ASSERT_EQ(vcw_bnd(session, cursor, "low", &low, sizeof low, kVcwBindIn, SQLT_INT, nullptr), 0);
    ASSERT_EQ(vcw_bnd(session, cursor, "high", &high, sizeof high, kVcwBindIn, SQLT_UIN, nullptr),
              0);
    char name[31];
    ASSERT_EQ(vcw_dfn(session, cursor, "NAME", name, sizeof name, SQLT_STR, nullptr), 0);
    ASSERT_EQ(vcw_exe(session, cursor), 0);
    ASSERT_EQ(vcw_fet(session, cursor), 0);
    ASSERT_EQ(vcw_cls(session, cursor), 0);

    ASSERT_EQ(vcw_opn(session, cursor,
                      "begin dbms_output.put_line('first line'); "
                      "dbms_output.put_line('second line'); end;"),
              0);
    ASSERT_EQ(vcw_exe(session, cursor), 0);
    ASSERT_EQ(vcw_cls(session, cursor), 0);
    vcw_dcon(session, false);

    const std::string text = trace.text();
    EXPECT_THAT(text, HasSubstr(std::string("\nEXEC SQL at HOST EXECUTE:\n ") + query + "\n"));
    // The execute of a query has no iteration yet: only the text shows; the fetch shows all.
    EXPECT_THAT(text, HasSubstr("\n:1 = USERS\n:1 = USERS\n:2 = -1\n:3 = 4000000000"));
    EXPECT_THAT(text, HasSubstr("\nsqlcode = 0 \n\nfirst line\nsecond line"));
    EXPECT_THAT(text, Not(HasSubstr("get_line"))) << "the output block itself is not dumped";
}

TEST_F(VcwTest, TheDumpShowsNullsEmptyStringsNumbersAndDates) {
    TraceCapture trace(TRC_SQL);
    VcwSession* session = connect();
    VcwCursor* cursor = nullptr;
    ASSERT_EQ(vcw_opn(session, cursor,
                      "select name from v$tablespace where name = :a or name = :b or :c is null "
                      "or :d is null or :e is null"),
              0);
    char empty[8] = "";
    char nulled[8] = "X";
    std::int16_t nullIndicator = -1;
    unsigned char number[22] = {3, 0xC2, 13, 35};  // 1234
    unsigned char date[7] = {120, 124, 3, 9, 14, 6, 8};
    unsigned char noDate[7] = {};
    vcw_bnd(session, cursor, "a", empty, sizeof empty, kVcwBindIn, SQLT_STR, nullptr);
    vcw_bnd(session, cursor, "b", nulled, sizeof nulled, kVcwBindIn, SQLT_STR, &nullIndicator);
    vcw_bnd(session, cursor, "c", number, sizeof number, kVcwBindIn, SQLT_VNU, nullptr);
    vcw_bnd(session, cursor, "d", date, sizeof date, kVcwBindIn, SQLT_DAT, nullptr);
    vcw_bnd(session, cursor, "e", noDate, sizeof noDate, kVcwBindIn, SQLT_DAT, nullptr);
    vcw_exe(session, cursor);
    vcw_fet(session, cursor);
    vcw_cls(session, cursor);
    vcw_dcon(session, false);

    EXPECT_THAT(trace.text(), HasSubstr("\n:2 = <NULL>\n:4 = 03/09/2024 13:05:07\n"
                                        ":1 = <EMPTY STRING>\n:2 = <NULL>\n:3 = 1234\n"
                                        ":4 = 03/09/2024 13:05:07\n:5 = <NULL DATE>"));
}

TEST_F(VcwTest, TheFortyFirstBindOfAStatementIsNotDumped) {
    TraceCapture trace(TRC_SQL);
    VcwSession* session = connect();
    std::string query = "select name from v$tablespace where ts# in (";
    for (int i = 1; i <= 41; ++i) query += (i > 1 ? ",:" : ":") + std::to_string(i);
    query += ")";
    VcwCursor* cursor = nullptr;
    ASSERT_EQ(vcw_opn(session, cursor, query.c_str()), 0);
    std::int32_t values[41];
    for (int i = 0; i < 41; ++i) {
        values[i] = i;
        const std::string name = std::to_string(i + 1);
        ASSERT_EQ(vcw_bnd(session, cursor, name.c_str(), &values[i], sizeof values[i], kVcwBindIn,
                          SQLT_INT, nullptr),
                  0);
    }
    EXPECT_EQ(session->bindCount, 40u);
    vcw_exe(session, cursor);
    vcw_cls(session, cursor);
    vcw_dcon(session, false);

    const std::string text = trace.text();
    EXPECT_THAT(text, HasSubstr("\nExceeding maximum bind count 40"));
    EXPECT_THAT(text, Not(HasSubstr("\n:1 = "))) << "a full table is not dumped";
}

TEST_F(VcwTest, MisuseEndsTheProcessWithItsCause) {
    const struct {
        const wchar_t* misuse;
        const char* cause;
    } cases[] = {
        {L"open-twice", "vcw_opn: cursor already open"},
        {L"prefix-column", "vcw_dfn: can't find column"},
        {L"one-byte-output", "vcw_bnd: SQLT_STR > 1 char"},
        {L"one-byte-define", "vcw_dfn: SQLT_STR > 1 char"},
        {L"execute-closed", "vcw_exe: cursor not open"},
        {L"efc-closed", "vcw_efc: cursor not open"},
        {L"disconnect-none", "vcw_dcon: session context uninitialized"},
    };
    const std::wstring sid(instance_->sid().begin(), instance_->sid().end());
    for (const auto& c : cases) {
        std::string output;
        const std::uint32_t code = runCommand(L"vcw_misuse.exe " + sid + L" " + c.misuse, &output);
        EXPECT_EQ(code, 0xFFFFFFFFu) << c.cause;
        EXPECT_EQ(output, std::string("connected\r\nExiting .. cause : ") + c.cause + "\r\n");
    }
}

}  // namespace
}  // namespace snapscribe::testing
