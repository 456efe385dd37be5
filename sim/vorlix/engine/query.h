#pragma once
// SELECT statements over the tables and views of an instance: select lists
// with expressions and aliases, DISTINCT, joins, WHERE with LIKE / IN /
// subqueries, aggregates, UNION and ORDER BY.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/vorlix/engine/lexer.h"
#include "sim/vorlix/engine/value.h"

namespace vorlix {

enum class ColumnType { Text = 1, Number = 2 };

struct Column {
    std::string name;
    ColumnType type = ColumnType::Text;
};

struct Table {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

// Where the names after FROM come from. Throws DbError (942, 1507, 1219).
class TableSource {
public:
    virtual ~TableSource() = default;
    // `name` is upper case and may carry a schema ("SYS.V$DATAFILE").
    virtual Table table(const std::string& name) = 0;
};

using Binds = std::map<std::string, Value>;  // upper-case placeholder name without ':'

using QueryResult = Table;

// Runs a query; throws DbError for anything the server would refuse.
QueryResult runQuery(const std::string& text, TableSource& source, const Binds& binds);

// Functions a query or a procedural call may use on plain values.
Value callScalarFunction(const std::string& name, const std::vector<Value>& args);

// LIKE with '%' and '_' and no escape character.
bool likeMatch(const std::string& text, const std::string& pattern);

// The canonical form of a file name: forward slashes as backslashes, no doubled
// separators, no trailing separator except after a drive.
std::string normalizeFileName(const std::string& name);

// Expression trees are shared with the procedural calls.
struct Expr;
struct ExprDeleter {
    void operator()(Expr* e) const;
};
using ExprPtr = std::unique_ptr<Expr, ExprDeleter>;
ExprPtr parseExpression(TokenStream& tokens);

// What a procedural block adds to expressions: its variables and package calls.
class ProceduralNames {
public:
    virtual ~ProceduralNames() = default;
    // A dotted upper-case name ("RC", "SYS.DBMS_PIPE.NEXT_ITEM_TYPE"); nullopt if unknown.
    virtual std::optional<Value> name(const std::string& dotted) = 0;
    virtual std::optional<Value> call(const std::string& dotted,
                                      const std::vector<Value>& args) = 0;
};

// Evaluates an expression outside any query row.
Value evaluateExpression(const Expr& expr, TableSource& source, const Binds& binds,
                         ProceduralNames* names);

// Evaluates an expression on one row of a table, whose columns it may name
// (qualified by the table's name or not).
Value evaluateOnRow(const Expr& expr, const std::string& tableName, const Table& table,
                    const std::vector<Value>& row, TableSource& source, const Binds& binds);
// True when a condition holds on the row (neither false nor null).
bool holdsOnRow(const Expr& condition, const std::string& tableName, const Table& table,
                const std::vector<Value>& row, TableSource& source, const Binds& binds);

}  // namespace vorlix
