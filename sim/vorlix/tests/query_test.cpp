#include "sim/vorlix/engine/query.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/vorlix/engine/db_error.h"

namespace vorlix {
namespace {

using ::testing::ElementsAre;

class FakeTables : public TableSource {
public:
    Table table(const std::string& name) override {
        if (name == "FILES") {
            Table t{{{"FILE#", ColumnType::Number},
                     {"NAME", ColumnType::Text},
                     {"TS#", ColumnType::Number},
                     {"STATUS", ColumnType::Text}},
                    {}};
            t.rows = {{Value::number(1), Value::text("C:\\DB\\SYS01.DBF"), Value::number(0),
                       Value::text("ONLINE")},
                      {Value::number(3), Value::text("C:\\DB\\USERS01.DBF"), Value::number(2),
                       Value::text("OFFLINE")},
                      {Value::number(2), Value::text("C:\\DB\\OLD\\X.DBF"), Value::number(2),
                       Value::text("ONLINE")}};
            return t;
        }
        if (name == "SPACES") {
            Table t{{{"TS#", ColumnType::Number}, {"NAME", ColumnType::Text}}, {}};
            t.rows = {{Value::number(0), Value::text("SYSTEM")},
                      {Value::number(2), Value::text("USERS")}};
            return t;
        }
        if (name == "CODES") {  // numbers kept as text, and a missing one
            Table t{{{"CODE", ColumnType::Text}}, {}};
            t.rows = {{Value::text("2")}, {Value()}, {Value::text("0")}};
            return t;
        }
        if (name == "PARAMS") {
            Table t{{{"NAME", ColumnType::Text}, {"VALUE", ColumnType::Text}}, {}};
            t.rows = {{Value::text("log_archive_dest_1"), Value::text("location=C:\\ARCH\\")},
                      {Value::text("user_dump_dest"), Value::text("C:\\DUMP")},
                      {Value::text("spfile"), Value()}};
            return t;
        }
        raiseError(942);
    }
};

std::vector<std::string> column(const QueryResult& r, size_t c) {
    std::vector<std::string> values;
    for (const auto& row : r.rows) values.push_back(row[c].isNull() ? "<null>" : row[c].asText());
    return values;
}

int errorOf(const std::string& text, const Binds& binds = {}) {
    FakeTables tables;
    try {
        runQuery(text, tables, binds);
    } catch (const DbError& e) {
        return e.number();
    }
    return 0;
}

QueryResult run(const std::string& text, const Binds& binds = {}) {
    FakeTables tables;
    return runQuery(text, tables, binds);
}

TEST(Query, JoinsOrdersAndNamesColumnsAsTheServerDoes) {
    auto r =
        run("select d.file# filenum, d.name filename, t.name tsname, t.ts# tsnum from files d, "
            "spaces t "
            "where d.ts#=t.ts# order by tsnum, filenum desc");
    ASSERT_EQ(r.columns.size(), 4u);
    EXPECT_EQ(r.columns[0].name, "FILENUM");
    EXPECT_EQ(r.columns[2].name, "TSNAME");
    EXPECT_THAT(column(r, 0), ElementsAre("1", "3", "2"));
    EXPECT_THAT(column(r, 2), ElementsAre("SYSTEM", "USERS", "USERS"));
    EXPECT_THAT(column(run("select name from files order by file# desc"), 0),
                ElementsAre("C:\\DB\\USERS01.DBF", "C:\\DB\\OLD\\X.DBF", "C:\\DB\\SYS01.DBF"));
    EXPECT_EQ(run("select rtrim(value)||'\\*.TRC' from params where name = 'user_dump_dest'")
                  .columns[0]
                  .name,
              "RTRIM(VALUE)||'\\*.TRC'");
}

// An equality between two tables' columns finds the matching rows through an
// index; the rows and their order must be those of trying every pair.
TEST(Query, AnEqualityJoinMatchesWhatTryingEveryPairMatches) {
    const auto pairs = [](const std::string& condition) {
        QueryResult r = run(
            "select c.code, f.file#, s.name from codes c, files f, spaces s where " + condition);
        std::vector<std::string> rows;
        for (size_t i = 0; i < r.rows.size(); ++i)
            rows.push_back(column(r, 0)[i] + "/" + column(r, 1)[i] + "/" + column(r, 2)[i]);
        return rows;
    };
    EXPECT_THAT(pairs("s.ts# = f.ts# and f.ts# = c.code"),
                ElementsAre("2/3/USERS", "2/2/USERS", "0/1/SYSTEM"));
    EXPECT_EQ(pairs("s.ts# = f.ts# and f.ts# = c.code"),
              pairs("s.ts# + 0 = f.ts# + 0 and f.ts# + 0 = c.code"));
    EXPECT_EQ(pairs("f.status = 'ONLINE' and s.ts# = f.ts#"),
              pairs("f.status = 'ONLINE' and s.ts# + 0 = f.ts#"));
    EXPECT_EQ(pairs("s.ts# = f.ts# or f.file# = 1").size(), 12u);  // not a required term
}

TEST(Query, DecodeNvlCountAndAggregatesOfNoRows) {
    EXPECT_THAT(column(run("select decode(status, 'ONLINE', 1, 0) rw from files"), 0),
                ElementsAre("1", "0", "1"));
    EXPECT_THAT(column(run("select nvl(value,'<NULL>') v from params where name='spfile'"), 0),
                ElementsAre("<NULL>"));
    EXPECT_THAT(column(run("select count(value) n from params"), 0), ElementsAre("2"));
    EXPECT_THAT(column(run("select max(file#) m, count(*) c from files where ts# = 9"), 0),
                ElementsAre("<null>"));
    EXPECT_THAT(column(run("select count(*) c from files where ts# = 9"), 0), ElementsAre("0"));
}

TEST(Query, LikeTakesBackslashesLiterallyAndUnderscoreAsAnyCharacter) {
    EXPECT_THAT(column(run("select name from files where name like :1",
                           {{"1", Value::text("C:\\DB\\%.DBF")}}),
                       0),
                ElementsAre("C:\\DB\\SYS01.DBF", "C:\\DB\\USERS01.DBF", "C:\\DB\\OLD\\X.DBF"));
    EXPECT_THAT(column(run("select name from params where name like '%_dump_dest%'"), 0),
                ElementsAre("user_dump_dest"));
    EXPECT_THAT(
        column(run("select distinct "
                   "sys.dbms_backup_restore.normalizefilename(replace(value,'location=')) d "
                   "from params where name like '%dest%' and value like '%\\%'"),
               0),
        ElementsAre("C:\\ARCH", "C:\\DUMP"));
    EXPECT_TRUE(likeMatch("abc", "a%c"));
    EXPECT_FALSE(likeMatch("ab", "a_c"));
}

TEST(Query, SubqueriesInAndNullSemantics) {
    EXPECT_THAT(column(run("select name from files where ts# = (select max(ts#) from spaces) and "
                           "status in ('ONLINE')"),
                       0),
                ElementsAre("C:\\DB\\OLD\\X.DBF"));
    EXPECT_THAT(column(run("select file# from files where ts# in (select ts# from spaces where "
                           "name='SYSTEM')"),
                       0),
                ElementsAre("1"));
    EXPECT_TRUE(run("select name from params where value <> 'x' and name = 'spfile'").rows.empty());
    EXPECT_EQ(run("select name from params where value is not null").rows.size(), 2u);
    EXPECT_EQ(errorOf("select name from files where ts# = (select ts# from spaces)"), 1427);
}

TEST(Query, NumbersComparedWithTextBindsAreConverted) {
    EXPECT_THAT(
        column(run("select file# from files where file# > :1", {{"1", Value::text("1")}}), 0),
        ElementsAre("3", "2"));
    EXPECT_EQ(errorOf("select file# from files where file# > :1", {{"1", Value::text("abc")}}),
              1722);
}

TEST(Query, UnionRemovesDuplicatesAndSorts) {
    auto r =
        run("select name from spaces union select name from spaces union select status from files");
    EXPECT_THAT(column(r, 0), ElementsAre("OFFLINE", "ONLINE", "SYSTEM", "USERS"));
}

TEST(Query, RefusesWhatTheServerRefuses) {
    EXPECT_EQ(errorOf("select nothing from files"), 904);
    EXPECT_EQ(errorOf("select name from nowhere"), 942);
    EXPECT_EQ(errorOf("select name from files where"), 936);
    EXPECT_EQ(errorOf("select name files"), 923);
    EXPECT_EQ(errorOf("select name from files where file# = :2"), 1008);
    EXPECT_EQ(errorOf("select name from files, spaces"), 918);
    EXPECT_EQ(errorOf("select 'open from files"), 1756);
}

}  // namespace
}  // namespace vorlix
