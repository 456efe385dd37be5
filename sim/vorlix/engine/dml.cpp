#include "sim/vorlix/engine/dml.h"

#include <algorithm>
#include <utility>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/lexer.h"

namespace vorlix {

namespace {

Table emptyView(const UserTable& table) {
    Table view;
    for (const auto& column : table.columns) view.columns.push_back({column, ColumnType::Text});
    return view;
}

std::vector<Value> widened(std::vector<Value> values, const UserTable& table) {
    values.resize(table.columns.size());
    return values;
}

void requireWritable(const InstanceState& s) {
    if (s.status == InstanceStatus::Down) raiseError(1034);
    if (s.status == InstanceStatus::Starting) raiseError(1033);
    if (s.status != InstanceStatus::Open) raiseError(1109);
    if (s.readOnly) raiseError(16000);
}

class DmlRunner {
public:
    DmlRunner(InstanceState& s, Storage& storage, TableSource& source, const Binds& binds)
        : s_(s), rows_(s, storage), source_(source), binds_(binds) {}

    size_t createTable(TokenStream& t) {
        t.expectKeyword("TABLE");
        std::string name = qualifiedName(t);
        if (s_.table(name)) raiseError(955);
        UserTable table;
        table.name = name;
        t.expectSymbol("(");
        do {
            table.columns.push_back(t.expectName());
            skipType(t);
        } while (t.acceptSymbol(","));
        t.expectSymbol(")");
        if (t.acceptKeyword("TABLESPACE")) table.tablespace = t.expectName();
        t.expectEnd();
        if (!s_.tablespace(table.tablespace)) raiseError(959, table.tablespace);
        for (const auto& other : s_.tables) table.id = std::max(table.id, other.id);
        ++table.id;
        s_.tables.push_back(std::move(table));
        return 0;
    }

    size_t insert(TokenStream& t) {
        t.expectKeyword("INTO");
        UserTable& table = tableNamed(t);
        std::vector<size_t> positions;
        if (t.acceptSymbol("(")) {
            do positions.push_back(columnOf(table, t.expectName()));
            while (t.acceptSymbol(","));
            t.expectSymbol(")");
        } else {
            for (size_t i = 0; i < table.columns.size(); ++i) positions.push_back(i);
        }
        t.expectKeyword("VALUES");
        t.expectSymbol("(");
        std::vector<Value> given;
        do given.push_back(evaluateExpression(*parseExpression(t), source_, binds_, nullptr));
        while (t.acceptSymbol(","));
        t.expectSymbol(")");
        t.expectEnd();
        if (given.size() > positions.size()) raiseError(913);
        if (given.size() < positions.size()) raiseError(947);
        std::vector<Value> values(table.columns.size());
        for (size_t i = 0; i < given.size(); ++i) values[positions[i]] = given[i];
        rows_.insert(table, std::move(values));
        return 1;
    }

    size_t update(TokenStream& t) {
        UserTable& table = tableNamed(t);
        t.expectKeyword("SET");
        std::vector<std::pair<size_t, ExprPtr>> assignments;
        do {
            size_t column = columnOf(table, t.expectName());
            t.expectSymbol("=");
            assignments.emplace_back(column, parseExpression(t));
        } while (t.acceptSymbol(","));
        ExprPtr where = condition(t);
        Table view = emptyView(table);
        auto chosen = matching(table, where.get());
        for (const auto& stored : chosen) {
            std::vector<Value> after = stored.row.values;
            for (const auto& [column, expr] : assignments)
                after[column] =
                    evaluateOnRow(*expr, table.name, view, stored.row.values, source_, binds_);
            rows_.update(table, stored, std::move(after));
        }
        return chosen.size();
    }

    size_t remove(TokenStream& t) {
        t.acceptKeyword("FROM");
        UserTable& table = tableNamed(t);
        ExprPtr where = condition(t);
        auto chosen = matching(table, where.get());
        for (const auto& stored : chosen) rows_.remove(table, stored);
        return chosen.size();
    }

private:
    static std::string qualifiedName(TokenStream& t) {
        std::string name = t.expectName();
        if (t.acceptSymbol(".")) name = t.expectName();  // the schema is the session's own
        return name;
    }

    UserTable& tableNamed(TokenStream& t) {
        UserTable* table = s_.table(qualifiedName(t));
        if (!table) raiseError(942);
        return *table;
    }

    static size_t columnOf(const UserTable& table, const std::string& name) {
        auto found = std::find(table.columns.begin(), table.columns.end(), name);
        if (found == table.columns.end()) raiseError(904, name);
        return size_t(found - table.columns.begin());
    }

    // A column's type, with its length or precision, is read and not kept.
    static void skipType(TokenStream& t) {
        int depth = 0;
        while (depth > 0 || !(t.isSymbol(",") || t.isSymbol(")"))) {
            if (t.atEnd()) raiseError(907);
            if (t.isSymbol("(")) ++depth;
            if (t.isSymbol(")")) --depth;
            t.next();
        }
    }

    // The rows (with a value for every column) the condition holds on; all without one.
    std::vector<StoredRow> matching(const UserTable& table, const Expr* where) {
        Table view = emptyView(table);
        std::vector<StoredRow> chosen;
        for (auto& stored : rows_.scan(table)) {
            stored.row.values = widened(std::move(stored.row.values), table);
            if (!where || holdsOnRow(*where, table.name, view, stored.row.values, source_, binds_))
                chosen.push_back(std::move(stored));
        }
        return chosen;
    }

    static ExprPtr condition(TokenStream& t) {
        ExprPtr where;
        if (t.acceptKeyword("WHERE")) where = parseExpression(t);
        t.expectEnd();
        return where;
    }

    InstanceState& s_;
    RowStore rows_;
    TableSource& source_;
    const Binds& binds_;
};

}  // namespace

size_t runDml(const std::string& text, InstanceState& state, Storage& storage, TableSource& source,
              const Binds& binds) {
    TokenStream t(tokenize(text));
    std::string verb = t.peek().type == Token::Type::Name ? t.next().text : std::string();
    if (verb == "COMMIT") {
        t.acceptKeyword("WORK");
        t.expectEnd();
        return 0;
    }
    if (verb != "CREATE" && verb != "INSERT" && verb != "UPDATE" && verb != "DELETE")
        raiseError(900);
    requireWritable(state);
    DmlRunner runner(state, storage, source, binds);
    if (verb == "CREATE") return runner.createTable(t);
    if (verb == "INSERT") return runner.insert(t);
    if (verb == "UPDATE") return runner.update(t);
    return runner.remove(t);
}

Table readUserTable(InstanceState& state, Storage& storage, const UserTable& table) {
    Table view = emptyView(table);
    for (const auto& stored : RowStore(state, storage).scan(table))
        view.rows.push_back(widened(stored.row.values, table));
    return view;
}

}  // namespace vorlix
