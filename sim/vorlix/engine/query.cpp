#include "sim/vorlix/engine/query.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <unordered_map>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/state.h"

namespace vorlix {

struct Query;

struct Expr {
    enum class Kind {
        Literal,
        Bind,
        Name,
        Call,
        Negate,
        Not,
        Binary,
        Like,
        InList,
        InQuery,
        IsNull,
        Subquery,
        CountStar
    };
    Kind kind = Kind::Literal;
    Value literal;
    std::string name;                // bind name, operator, or the dotted name of a call
    std::vector<std::string> parts;  // a (possibly qualified) name
    std::vector<ExprPtr> args;
    std::shared_ptr<Query> query;
    bool negated = false;  // NOT LIKE, NOT IN, IS NOT NULL
};

void ExprDeleter::operator()(Expr* e) const { delete e; }

namespace {

ExprPtr makeExpr() { return ExprPtr(new Expr); }

struct SelectItem {
    ExprPtr expr;  // null for '*'
    std::string starQualifier;
    std::string alias;
    std::string text;
};

struct TableRef {
    std::string name;
    std::string alias;
};

struct SelectCore {
    bool distinct = false;
    std::vector<SelectItem> items;
    std::vector<TableRef> from;
    ExprPtr where;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

}  // namespace

struct Query {
    std::vector<SelectCore> cores;
    std::vector<bool> unionAll;  // between cores[i] and cores[i+1]
    std::vector<OrderItem> order;
};

namespace {

bool isAggregate(const std::string& name) {
    return name == "COUNT" || name == "MAX" || name == "MIN" || name == "SUM";
}

// ---------------------------------------------------------------- parsing

const char* const kReserved[] = {"FROM", "WHERE", "UNION", "ORDER", "GROUP",  "AND", "OR",  "NOT",
                                 "LIKE", "IN",    "IS",    "BY",    "SELECT", "ASC", "DESC"};

bool isReserved(const Token& t) {
    if (t.type != Token::Type::Name) return false;
    for (const char* word : kReserved) {
        if (t.text == word) return true;
    }
    return false;
}

class Parser {
public:
    Parser(TokenStream& tokens, const std::string* text) : t_(tokens), text_(text) {}

    std::shared_ptr<Query> query() {
        auto q = std::make_shared<Query>();
        q->cores.push_back(selectCore());
        while (t_.acceptKeyword("UNION")) {
            q->unionAll.push_back(t_.acceptKeyword("ALL"));
            q->cores.push_back(selectCore());
        }
        if (t_.acceptKeyword("ORDER")) {
            t_.expectKeyword("BY");
            do {
                OrderItem item;
                item.expr = expression();
                if (!t_.acceptKeyword("ASC")) item.descending = t_.acceptKeyword("DESC");
                q->order.push_back(std::move(item));
            } while (t_.acceptSymbol(","));
        }
        return q;
    }

    ExprPtr expression() { return orExpr(); }

private:
    SelectCore selectCore() {
        SelectCore core;
        t_.expectKeyword("SELECT");
        if (!t_.acceptKeyword("ALL")) core.distinct = t_.acceptKeyword("DISTINCT");
        do core.items.push_back(selectItem());
        while (t_.acceptSymbol(","));
        if (!t_.acceptKeyword("FROM")) raiseError(923);
        do {
            TableRef ref;
            ref.name = t_.expectName();
            while (t_.acceptSymbol(".")) {
                ref.name += '.';
                ref.name += t_.expectName();
            }
            if (t_.peek().type == Token::Type::Name && !isReserved(t_.peek()))
                ref.alias = t_.next().text;
            core.from.push_back(ref);
        } while (t_.acceptSymbol(","));
        if (t_.acceptKeyword("WHERE")) core.where = expression();
        return core;
    }

    SelectItem selectItem() {
        SelectItem item;
        if (t_.acceptSymbol("*")) return item;
        if (t_.peek().type == Token::Type::Name && t_.isSymbol(".", 1) && t_.isSymbol("*", 2)) {
            item.starQualifier = t_.next().text;
            t_.next();
            t_.next();
            return item;
        }
        size_t start = t_.peek().offset;
        item.expr = expression();
        item.text = itemText(start, t_.peek().offset);
        t_.acceptKeyword("AS");
        const Token& next = t_.peek();
        if ((next.type == Token::Type::Name && !isReserved(next)) ||
            next.type == Token::Type::QuotedName)
            item.alias = t_.next().text;
        return item;
    }

    // The server names an unaliased expression after its text, upper case, without blanks.
    std::string itemText(size_t begin, size_t end) const {
        std::string text;
        if (!text_) return text;
        for (char c : text_->substr(begin, end - begin)) {
            if (!std::isspace(static_cast<unsigned char>(c))) text += c;
        }
        return upper(text);
    }

    static ExprPtr binary(std::string op, ExprPtr a, ExprPtr b) {
        auto e = makeExpr();
        e->kind = Expr::Kind::Binary;
        e->name = std::move(op);
        e->args.push_back(std::move(a));
        e->args.push_back(std::move(b));
        return e;
    }

    ExprPtr orExpr() {
        ExprPtr left = andExpr();
        while (t_.acceptKeyword("OR")) left = binary("OR", std::move(left), andExpr());
        return left;
    }

    ExprPtr andExpr() {
        ExprPtr left = notExpr();
        while (t_.acceptKeyword("AND")) left = binary("AND", std::move(left), notExpr());
        return left;
    }

    ExprPtr notExpr() {
        if (!t_.acceptKeyword("NOT")) return comparison();
        auto e = makeExpr();
        e->kind = Expr::Kind::Not;
        e->args.push_back(notExpr());
        return e;
    }

    ExprPtr comparison() {
        ExprPtr left = additive();
        for (const char* op : {"=", "<>", "!=", "<=", ">=", "<", ">"}) {
            if (t_.acceptSymbol(op)) return binary(op, std::move(left), additive());
        }
        bool negated = false;
        if (t_.isKeyword("NOT") && (t_.isKeyword("LIKE", 1) || t_.isKeyword("IN", 1))) {
            t_.next();
            negated = true;
        }
        if (t_.acceptKeyword("LIKE")) {
            auto e = makeExpr();
            e->kind = Expr::Kind::Like;
            e->negated = negated;
            e->args.push_back(std::move(left));
            e->args.push_back(additive());
            return e;
        }
        if (t_.acceptKeyword("IN")) return inExpr(std::move(left), negated);
        if (t_.acceptKeyword("IS")) {
            auto e = makeExpr();
            e->kind = Expr::Kind::IsNull;
            e->negated = t_.acceptKeyword("NOT");
            t_.expectKeyword("NULL");
            e->args.push_back(std::move(left));
            return e;
        }
        return left;
    }

    ExprPtr inExpr(ExprPtr left, bool negated) {
        auto e = makeExpr();
        e->negated = negated;
        e->args.push_back(std::move(left));
        t_.expectSymbol("(");
        if (t_.isKeyword("SELECT")) {
            e->kind = Expr::Kind::InQuery;
            e->query = query();
        } else {
            e->kind = Expr::Kind::InList;
            do e->args.push_back(expression());
            while (t_.acceptSymbol(","));
        }
        t_.expectSymbol(")");
        return e;
    }

    ExprPtr additive() {
        ExprPtr left = multiplicative();
        for (;;) {
            if (t_.acceptSymbol("+"))
                left = binary("+", std::move(left), multiplicative());
            else if (t_.acceptSymbol("-"))
                left = binary("-", std::move(left), multiplicative());
            else if (t_.acceptSymbol("||"))
                left = binary("||", std::move(left), multiplicative());
            else
                return left;
        }
    }

    ExprPtr multiplicative() {
        ExprPtr left = unary();
        for (;;) {
            if (t_.acceptSymbol("*"))
                left = binary("*", std::move(left), unary());
            else if (t_.acceptSymbol("/"))
                left = binary("/", std::move(left), unary());
            else
                return left;
        }
    }

    ExprPtr unary() {
        if (t_.acceptSymbol("-")) {
            auto e = makeExpr();
            e->kind = Expr::Kind::Negate;
            e->args.push_back(unary());
            return e;
        }
        t_.acceptSymbol("+");
        return primary();
    }

    ExprPtr primary() {
        auto e = makeExpr();
        Token token = t_.peek();
        switch (token.type) {
            case Token::Type::Number:
                t_.next();
                e->literal = Value::number(std::stod(token.text));
                return e;
            case Token::Type::String:
                t_.next();
                e->literal = Value::text(token.text);
                return e;
            case Token::Type::Bind:
                t_.next();
                e->kind = Expr::Kind::Bind;
                e->name = token.text;
                return e;
            case Token::Type::Symbol:
                if (t_.acceptSymbol("(")) {
                    if (t_.isKeyword("SELECT")) {
                        e->kind = Expr::Kind::Subquery;
                        e->query = query();
                    } else {
                        e = expression();
                    }
                    t_.expectSymbol(")");
                    return e;
                }
                raiseError(936);
            case Token::Type::Name:
            case Token::Type::QuotedName:
                if (isReserved(token)) raiseError(936);
                if (token.type == Token::Type::Name && token.text == "NULL") {
                    t_.next();
                    return e;
                }
                return nameOrCall();
            case Token::Type::End: raiseError(936);
        }
        raiseError(936);
    }

    ExprPtr nameOrCall() {
        auto e = makeExpr();
        e->parts.push_back(t_.expectName());
        while (t_.acceptSymbol(".")) e->parts.push_back(t_.expectName());
        if (!t_.acceptSymbol("(")) {
            e->kind = Expr::Kind::Name;
            return e;
        }
        e->kind = Expr::Kind::Call;
        for (const auto& part : e->parts) e->name += (e->name.empty() ? "" : ".") + part;
        e->parts.clear();
        if (e->name == "COUNT" && t_.isSymbol("*")) {
            t_.next();
            e->kind = Expr::Kind::CountStar;
        } else if (!t_.isSymbol(")")) {
            do e->args.push_back(expression());
            while (t_.acceptSymbol(","));
        }
        t_.expectSymbol(")");
        return e;
    }

    TokenStream& t_;
    const std::string* text_;
};

// ---------------------------------------------------------------- evaluation

struct Scope {
    const std::vector<TableRef>* refs = nullptr;
    std::vector<const Table*> tables;
    std::vector<const std::vector<Value>*> rows;
    const Scope* outer = nullptr;
};

Value truth(bool b) { return Value::boolean(b); }
bool isTrue(const Value& v) { return v.isNumber() && v.asNumber() != 0; }

// <0, 0, >0; the caller has ruled out nulls.
int compareValues(const Value& a, const Value& b) {
    if (a.isNumber() || b.isNumber()) {
        double x = a.asNumber(), y = b.asNumber();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return a.asText().compare(b.asText());
}

std::string lastPart(const std::string& dotted) {
    size_t dot = dotted.rfind('.');
    return dot == std::string::npos ? dotted : dotted.substr(dot + 1);
}

// The rows of one joined table whose column equals a value: found through an
// index instead of by trying every row, when the condition requires it. Kept
// only when the column holds numbers only or texts only, so that the index's
// equality is the condition's.
class EqualityIndex {
public:
    EqualityIndex(const Table& table, size_t column) {
        for (size_t row = 0; row < table.rows.size(); ++row) {
            const Value& value = table.rows[row][column];
            if (value.isNull()) continue;
            if (!kindOf(value, kind_)) {
                usable_ = false;
                return;
            }
            rows_[keyOf(value)].push_back(row);
        }
    }
    // Null when the index cannot answer for `value` (every row must be tried).
    const std::vector<size_t>* rowsEqualTo(const Value& value) const {
        static const std::vector<size_t> none;
        if (value.isNull()) return &none;
        Kind kind = kind_;
        if (!usable_ || !kindOf(value, kind) || kind != kind_) return nullptr;
        auto found = rows_.find(keyOf(value));
        return found == rows_.end() ? &none : &found->second;
    }

private:
    enum class Kind { Unknown, Number, Text };
    // Takes the value's kind into `kind` when it is the first; false on a mix.
    static bool kindOf(const Value& value, Kind& kind) {
        Kind own = value.isNumber() ? Kind::Number : Kind::Text;
        if (kind == Kind::Unknown) kind = own;
        return kind == own;
    }
    static std::string keyOf(const Value& value) {
        if (!value.isNumber()) return value.asText();
        double number = value.asNumber() == 0 ? 0.0 : value.asNumber();  // -0 equals 0
        std::string key(sizeof number, '\0');
        std::memcpy(key.data(), &number, sizeof number);
        return key;
    }

    Kind kind_ = Kind::Unknown;
    bool usable_ = true;
    std::unordered_map<std::string, std::vector<size_t>> rows_;
};

// For a table after the first: a column of it the condition requires equal to
// an expression of the tables before it.
struct EqualityJoin {
    size_t column = 0;
    const Expr* other = nullptr;
    std::optional<EqualityIndex> index;
};

class Evaluator {
public:
    Evaluator(TableSource& source, const Binds& binds, ProceduralNames* names = nullptr)
        : source_(source), binds_(binds), names_(names) {}

    Table run(const Query& q, const Scope* outer) {
        Table result;
        std::vector<std::vector<Value>> rows;
        std::vector<Scope> scopes;  // source row of each output row, for ORDER BY
        std::vector<std::vector<Table>> sources(q.cores.size());  // what the scopes point into
        for (size_t i = 0; i < q.cores.size(); ++i) {
            Table part =
                runCore(q.cores[i], outer, q.cores.size() == 1 ? &scopes : nullptr, sources[i]);
            if (i == 0) {
                result.columns = part.columns;
            } else if (part.columns.size() != result.columns.size()) {
                raiseError(1789);
            }
            rows.insert(rows.end(), part.rows.begin(), part.rows.end());
        }
        if (q.cores.size() > 1 &&
            !std::all_of(q.unionAll.begin(), q.unionAll.end(), [](bool b) { return b; })) {
            std::stable_sort(rows.begin(), rows.end(), rowLess);
            rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        }
        if (!q.order.empty()) order(q, result.columns, rows, scopes);
        result.rows = std::move(rows);
        return result;
    }

    Value eval(const Expr& e, const Scope* scope, const std::vector<Scope>* group = nullptr) {
        switch (e.kind) {
            case Expr::Kind::Literal: return e.literal;
            case Expr::Kind::Bind: {
                auto found = binds_.find(e.name);
                if (found == binds_.end()) raiseError(1008);
                return found->second;
            }
            case Expr::Kind::Name:
                return lookup(e.parts, group && !group->empty() ? &group->front() : scope);
            case Expr::Kind::Call: return call(e, scope, group);
            case Expr::Kind::CountStar:
                if (!group) raiseError(937);
                return Value::number(double(group->size()));
            case Expr::Kind::Negate: {
                Value v = eval(*e.args[0], scope, group);
                return v.isNull() ? v : Value::number(-v.asNumber());
            }
            case Expr::Kind::Not: {
                Value v = eval(*e.args[0], scope, group);
                return v.isNull() ? v : truth(!isTrue(v));
            }
            case Expr::Kind::Binary: return binaryOp(e, scope, group);
            case Expr::Kind::Like: {
                Value text = eval(*e.args[0], scope, group);
                Value pattern = eval(*e.args[1], scope, group);
                if (text.isNull() || pattern.isNull()) return {};
                return truth(likeMatch(text.asText(), pattern.asText()) != e.negated);
            }
            case Expr::Kind::InList: {
                std::vector<Value> candidates;
                for (size_t i = 1; i < e.args.size(); ++i)
                    candidates.push_back(eval(*e.args[i], scope, group));
                return membership(eval(*e.args[0], scope, group), candidates, e.negated);
            }
            case Expr::Kind::InQuery: {
                Table sub = run(*e.query, scope);
                std::vector<Value> candidates;
                for (const auto& row : sub.rows) candidates.push_back(row.at(0));
                return membership(eval(*e.args[0], scope, group), candidates, e.negated);
            }
            case Expr::Kind::IsNull:
                return truth(eval(*e.args[0], scope, group).isNull() != e.negated);
            case Expr::Kind::Subquery: {
                Table sub = run(*e.query, scope);
                if (sub.rows.size() > 1) raiseError(1427);
                return sub.rows.empty() ? Value() : sub.rows[0].at(0);
            }
        }
        return {};
    }

private:
    static bool rowLess(const std::vector<Value>& a, const std::vector<Value>& b) {
        for (size_t i = 0; i < a.size(); ++i) {
            int c = compareForSort(a[i], b[i]);
            if (c != 0) return c < 0;
        }
        return false;
    }

    Table runCore(const SelectCore& core, const Scope* outer, std::vector<Scope>* scopesOut,
                  std::vector<Table>& tables) {
        for (const auto& ref : core.from) tables.push_back(source_.table(ref.name));
        std::vector<Scope> matches;
        Scope scope;
        scope.refs = &core.from;
        scope.outer = outer;
        for (const auto& t : tables) scope.tables.push_back(&t);
        scope.rows.resize(tables.size());
        std::vector<std::optional<EqualityJoin>> equalities = equalityJoins(core, scope);
        join(core, tables, 0, scope, matches, equalities);

        Table result;
        result.columns = columnsOf(core, tables);
        bool aggregated =
            std::any_of(core.items.begin(), core.items.end(),
                        [](const SelectItem& i) { return i.expr && hasAggregate(*i.expr); });
        if (aggregated) {
            std::vector<Value> row;
            for (const auto& item : core.items) {
                if (!item.expr) raiseError(937);
                row.push_back(
                    eval(*item.expr, matches.empty() ? nullptr : &matches.front(), &matches));
            }
            result.rows.push_back(std::move(row));
        } else {
            for (const auto& match : matches) {
                std::vector<Value> row = project(core, match);
                if (core.distinct &&
                    std::find(result.rows.begin(), result.rows.end(), row) != result.rows.end())
                    continue;
                result.rows.push_back(std::move(row));
                if (scopesOut) scopesOut->push_back(match);
            }
        }
        inferTypes(result);
        return result;
    }

    void join(const SelectCore& core, const std::vector<Table>& tables, size_t level, Scope& scope,
              std::vector<Scope>& matches, std::vector<std::optional<EqualityJoin>>& equalities) {
        if (level == tables.size()) {
            if (!core.where || isTrue(eval(*core.where, &scope))) matches.push_back(scope);
            return;
        }
        const auto& rows = tables[level].rows;
        if (const std::vector<size_t>* candidates =
                joinCandidates(equalities[level], tables[level], scope)) {
            for (size_t row : *candidates) {
                scope.rows[level] = &rows[row];
                join(core, tables, level + 1, scope, matches, equalities);
            }
            return;
        }
        for (const auto& row : rows) {
            scope.rows[level] = &row;
            join(core, tables, level + 1, scope, matches, equalities);
        }
    }

    // The only rows that can meet the condition, or null for all of them.
    const std::vector<size_t>* joinCandidates(std::optional<EqualityJoin>& equality,
                                              const Table& table, const Scope& scope) {
        if (!equality) return nullptr;
        if (!equality->index) equality->index.emplace(table, equality->column);
        return equality->index->rowsEqualTo(eval(*equality->other, &scope));
    }

    // For each table, a "column = expression" the whole condition requires
    // (one of its AND-ed terms) that ties it to the tables before it.
    static std::vector<std::optional<EqualityJoin>> equalityJoins(const SelectCore& core,
                                                                  const Scope& scope) {
        std::vector<std::optional<EqualityJoin>> joins(scope.tables.size());
        std::vector<const Expr*> terms;
        if (core.where) collectAndTerms(*core.where, terms);
        for (const Expr* term : terms) {
            if (term->kind != Expr::Kind::Binary || term->name != "=") continue;
            auto left = columnOf(*term->args[0], scope), right = columnOf(*term->args[1], scope);
            if (!left || !right || left->first == right->first) continue;
            auto [later, earlier] = left->first > right->first
                                        ? std::pair(*left, term->args[1].get())
                                        : std::pair(*right, term->args[0].get());
            if (!joins[later.first]) joins[later.first] = EqualityJoin{later.second, earlier, {}};
        }
        return joins;
    }

    static void collectAndTerms(const Expr& e, std::vector<const Expr*>& terms) {
        if (e.kind == Expr::Kind::Binary && e.name == "AND") {
            collectAndTerms(*e.args[0], terms);
            collectAndTerms(*e.args[1], terms);
        } else {
            terms.push_back(&e);
        }
    }

    // The (table, column) of this query's own tables a name means, when exactly one.
    static std::optional<std::pair<size_t, size_t>> columnOf(const Expr& e, const Scope& scope) {
        if (e.kind != Expr::Kind::Name) return std::nullopt;
        std::string qualifier = e.parts.size() > 1 ? e.parts[e.parts.size() - 2] : std::string();
        std::optional<std::pair<size_t, size_t>> found;
        for (size_t i = 0; i < scope.tables.size(); ++i) {
            const TableRef& ref = (*scope.refs)[i];
            if (!qualifier.empty() && qualifier != ref.alias && qualifier != lastPart(ref.name))
                continue;
            const auto& columns = scope.tables[i]->columns;
            for (size_t c = 0; c < columns.size(); ++c) {
                if (columns[c].name != e.parts.back()) continue;
                if (found) return std::nullopt;
                found = std::pair(i, c);
            }
        }
        return found;
    }

    static bool hasAggregate(const Expr& e) {
        if (e.kind == Expr::Kind::CountStar) return true;
        if (e.kind == Expr::Kind::Call && isAggregate(e.name)) return true;
        if (e.kind == Expr::Kind::Subquery || e.kind == Expr::Kind::InQuery) {
            return e.args.empty() ? false : hasAggregate(*e.args[0]);
        }
        return std::any_of(e.args.begin(), e.args.end(),
                           [](const ExprPtr& a) { return a && hasAggregate(*a); });
    }

    bool starCovers(const SelectItem& item, const TableRef& ref) const {
        return item.starQualifier.empty() || item.starQualifier == ref.alias ||
               item.starQualifier == lastPart(ref.name);
    }

    std::vector<Column> columnsOf(const SelectCore& core, const std::vector<Table>& tables) const {
        std::vector<Column> columns;
        for (const auto& item : core.items) {
            if (!item.expr) {
                for (size_t i = 0; i < tables.size(); ++i) {
                    if (starCovers(item, core.from[i]))
                        columns.insert(columns.end(), tables[i].columns.begin(),
                                       tables[i].columns.end());
                }
                continue;
            }
            Column column;
            if (!item.alias.empty())
                column.name = item.alias;
            else if (item.expr->kind == Expr::Kind::Name)
                column.name = item.expr->parts.back();
            else
                column.name = item.text;
            columns.push_back(column);
        }
        return columns;
    }

    std::vector<Value> project(const SelectCore& core, const Scope& scope) {
        std::vector<Value> row;
        for (const auto& item : core.items) {
            if (item.expr) {
                row.push_back(eval(*item.expr, &scope));
                continue;
            }
            for (size_t i = 0; i < scope.tables.size(); ++i) {
                if (starCovers(item, core.from[i]))
                    row.insert(row.end(), scope.rows[i]->begin(), scope.rows[i]->end());
            }
        }
        return row;
    }

    static void inferTypes(Table& t) {
        for (size_t c = 0; c < t.columns.size(); ++c) {
            for (const auto& row : t.rows) {
                if (row[c].isNull()) continue;
                t.columns[c].type = row[c].isNumber() ? ColumnType::Number : ColumnType::Text;
                break;
            }
        }
    }

    void order(const Query& q, const std::vector<Column>& columns,
               std::vector<std::vector<Value>>& rows, const std::vector<Scope>& scopes) {
        std::vector<std::vector<Value>> keys(rows.size());
        for (const auto& item : q.order) {
            int position = outputPosition(*item.expr, columns);
            for (size_t r = 0; r < rows.size(); ++r) {
                if (position >= 0)
                    keys[r].push_back(rows[r][position]);
                else if (r < scopes.size())
                    keys[r].push_back(eval(*item.expr, &scopes[r]));
                else
                    raiseError(904, "ORDER BY");
            }
        }
        std::vector<size_t> index(rows.size());
        for (size_t i = 0; i < index.size(); ++i) index[i] = i;
        std::stable_sort(index.begin(), index.end(), [&](size_t a, size_t b) {
            for (size_t k = 0; k < q.order.size(); ++k) {
                int c = compareForSort(keys[a][k], keys[b][k]);
                if (c != 0) return q.order[k].descending ? c > 0 : c < 0;
            }
            return false;
        });
        std::vector<std::vector<Value>> sorted;
        for (size_t i : index) sorted.push_back(std::move(rows[i]));
        rows = std::move(sorted);
    }

    static int outputPosition(const Expr& e, const std::vector<Column>& columns) {
        if (e.kind == Expr::Kind::Literal && e.literal.isNumber()) {
            int n = int(e.literal.asNumber());
            if (n < 1 || n > int(columns.size())) raiseError(1785);
            return n - 1;
        }
        if (e.kind != Expr::Kind::Name || e.parts.size() != 1) return -1;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].name == e.parts[0]) return int(i);
        }
        return -1;
    }

    Value lookup(const std::vector<std::string>& parts, const Scope* scope) {
        std::string qualifier = parts.size() > 1 ? parts[parts.size() - 2] : std::string();
        const std::string& name = parts.back();
        for (const Scope* s = scope; s; s = s->outer) {
            const Value* found = nullptr;
            for (size_t i = 0; i < s->tables.size(); ++i) {
                const TableRef& ref = (*s->refs)[i];
                if (!qualifier.empty() && qualifier != ref.alias && qualifier != lastPart(ref.name))
                    continue;
                const auto& columns = s->tables[i]->columns;
                for (size_t c = 0; c < columns.size(); ++c) {
                    if (columns[c].name != name) continue;
                    if (found) raiseError(918);
                    found = &(*s->rows[i])[c];
                }
            }
            if (found) return *found;
        }
        std::string dotted;
        for (const auto& p : parts) dotted += (dotted.empty() ? "" : ".") + p;
        if (names_) {
            if (auto v = names_->name(dotted)) return *v;
            raiseError(6550, dotted);
        }
        raiseError(904, dotted);
    }

    Value call(const Expr& e, const Scope* scope, const std::vector<Scope>* group) {
        if (isAggregate(e.name)) {
            if (!group) raiseError(934);
            return aggregate(e, *group);
        }
        std::vector<Value> args;
        for (const auto& a : e.args) args.push_back(eval(*a, scope, group));
        if (names_) {
            if (auto v = names_->call(e.name, args)) return *v;
        }
        return callScalarFunction(e.name, args);
    }

    Value aggregate(const Expr& e, const std::vector<Scope>& group) {
        if (e.args.size() != 1) raiseError(909);
        double count = 0, sum = 0;
        Value best;
        for (const auto& s : group) {
            Value v = eval(*e.args[0], &s);
            if (v.isNull()) continue;
            ++count;
            if (e.name == "SUM") sum += v.asNumber();
            if (best.isNull() || (e.name == "MAX" && compareValues(v, best) > 0) ||
                (e.name == "MIN" && compareValues(v, best) < 0))
                best = v;
        }
        if (e.name == "COUNT") return Value::number(count);
        if (e.name == "SUM") return count ? Value::number(sum) : Value();
        return best;
    }

    Value binaryOp(const Expr& e, const Scope* scope, const std::vector<Scope>* group) {
        const std::string& op = e.name;
        Value a = eval(*e.args[0], scope, group);
        if (op == "AND" || op == "OR") {
            bool isAnd = op == "AND";
            if (!a.isNull() && isTrue(a) != isAnd) return a;  // short cut: FALSE AND / TRUE OR
            Value b = eval(*e.args[1], scope, group);
            if (!b.isNull() && isTrue(b) != isAnd) return b;
            if (a.isNull() || b.isNull()) return {};
            return truth(isAnd);
        }
        Value b = eval(*e.args[1], scope, group);
        if (op == "||") return Value::text(a.asText() + b.asText());
        if (a.isNull() || b.isNull()) return {};
        if (op == "+") return Value::number(a.asNumber() + b.asNumber());
        if (op == "-") return Value::number(a.asNumber() - b.asNumber());
        if (op == "*") return Value::number(a.asNumber() * b.asNumber());
        if (op == "/") {
            if (b.asNumber() == 0) raiseError(1476);
            return Value::number(a.asNumber() / b.asNumber());
        }
        int c = compareValues(a, b);
        if (op == "=") return truth(c == 0);
        if (op == "<>" || op == "!=") return truth(c != 0);
        if (op == "<") return truth(c < 0);
        if (op == "<=") return truth(c <= 0);
        if (op == ">") return truth(c > 0);
        return truth(c >= 0);
    }

    static Value membership(const Value& v, const std::vector<Value>& candidates, bool negated) {
        if (v.isNull()) return {};
        bool sawNull = false;
        for (const auto& c : candidates) {
            if (c.isNull()) {
                sawNull = true;
                continue;
            }
            if (compareValues(v, c) == 0) return truth(!negated);
        }
        if (sawNull) return {};
        return truth(negated);
    }

    TableSource& source_;
    const Binds& binds_;
    ProceduralNames* names_;
};

std::string trimRight(const std::string& s, const std::string& set) {
    size_t end = s.find_last_not_of(set);
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

std::string trimLeft(const std::string& s, const std::string& set) {
    size_t begin = s.find_first_not_of(set);
    return begin == std::string::npos ? std::string() : s.substr(begin);
}

void expectArgs(const std::vector<Value>& args, size_t least, size_t most) {
    if (args.size() < least || args.size() > most) raiseError(909);
}

}  // namespace

bool likeMatch(const std::string& text, const std::string& pattern) {
    // Iterative wildcard matching with back-tracking to the last '%'.
    size_t t = 0, p = 0, starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '_' || pattern[p] == text[t])) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '%') {
            starP = p++;
            starT = t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

std::string normalizeFileName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i] == '/' ? '\\' : name[i];
        bool leadingUnc = i == 1 && out == "\\";
        if (c == '\\' && !out.empty() && out.back() == '\\' && !leadingUnc) continue;
        out += c;
    }
    bool driveRoot = out.size() == 3 && out[1] == ':';
    if (out.size() > 1 && out.back() == '\\' && !driveRoot) out.pop_back();
    return out;
}

Value callScalarFunction(const std::string& name, const std::vector<Value>& args) {
    std::string fn = lastPart(name);
    bool backupPackage = name == "SYS.DBMS_BACKUP_RESTORE.NORMALIZEFILENAME" ||
                         name == "DBMS_BACKUP_RESTORE.NORMALIZEFILENAME";
    if (backupPackage) {
        expectArgs(args, 1, 1);
        return args[0].isNull() ? Value() : Value::text(normalizeFileName(args[0].asText()));
    }
    if (fn != name) raiseError(904, name);
    if (fn == "DECODE") {
        if (args.size() < 3) raiseError(938);
        size_t i = 1;
        for (; i + 1 < args.size(); i += 2) {
            bool same =
                (args[0].isNull() && args[i].isNull()) ||
                (!args[0].isNull() && !args[i].isNull() && compareValues(args[0], args[i]) == 0);
            if (same) return args[i + 1];
        }
        return i < args.size() ? args[i] : Value();
    }
    if (fn == "NVL") {
        expectArgs(args, 2, 2);
        return args[0].isNull() ? args[1] : args[0];
    }
    if (fn == "RTRIM" || fn == "LTRIM") {
        expectArgs(args, 1, 2);
        if (args[0].isNull()) return {};
        std::string set = args.size() > 1 ? args[1].asText() : " ";
        std::string s = args[0].asText();
        return Value::text(fn == "RTRIM" ? trimRight(s, set) : trimLeft(s, set));
    }
    if (fn == "UPPER" || fn == "LOWER") {
        expectArgs(args, 1, 1);
        if (args[0].isNull()) return {};
        return Value::text(fn == "UPPER" ? upper(args[0].asText()) : lower(args[0].asText()));
    }
    if (fn == "REPLACE") {
        expectArgs(args, 2, 3);
        if (args[0].isNull()) return {};
        std::string s = args[0].asText(), from = args[1].asText();
        std::string to = args.size() > 2 ? args[2].asText() : std::string();
        if (from.empty()) return args[0];
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
            s.replace(at, from.size(), to);
        return Value::text(s);
    }
    if (fn == "SUBSTR") {
        expectArgs(args, 2, 3);
        if (args[0].isNull() || args[1].isNull()) return {};
        std::string s = args[0].asText();
        long start = long(args[1].asNumber());
        if (start < 0) start = long(s.size()) + start + 1;
        if (start == 0) start = 1;
        if (start > long(s.size())) return {};
        size_t length =
            args.size() > 2 ? size_t(std::max(0.0, args[2].asNumber())) : std::string::npos;
        return Value::text(s.substr(size_t(start - 1), length));
    }
    if (fn == "LENGTH") {
        expectArgs(args, 1, 1);
        return args[0].isNull() ? Value() : Value::number(double(args[0].asText().size()));
    }
    if (fn == "TO_CHAR") {
        expectArgs(args, 1, 1);
        return args[0].isNull() ? Value() : Value::text(args[0].asText());
    }
    if (fn == "TO_NUMBER") {
        expectArgs(args, 1, 1);
        return args[0].isNull() ? Value() : Value::number(args[0].asNumber());
    }
    raiseError(904, name);
}

QueryResult runQuery(const std::string& text, TableSource& source, const Binds& binds) {
    TokenStream tokens(tokenize(text));
    Parser parser(tokens, &text);
    auto query = parser.query();
    tokens.expectEnd();
    return Evaluator(source, binds).run(*query, nullptr);
}

ExprPtr parseExpression(TokenStream& tokens) { return Parser(tokens, nullptr).expression(); }

Value evaluateExpression(const Expr& expr, TableSource& source, const Binds& binds,
                         ProceduralNames* names) {
    return Evaluator(source, binds, names).eval(expr, nullptr);
}

Value evaluateOnRow(const Expr& expr, const std::string& tableName, const Table& table,
                    const std::vector<Value>& row, TableSource& source, const Binds& binds) {
    std::vector<TableRef> refs{{tableName, {}}};
    Scope scope;
    scope.refs = &refs;
    scope.tables = {&table};
    scope.rows = {&row};
    return Evaluator(source, binds).eval(expr, &scope);
}

bool holdsOnRow(const Expr& condition, const std::string& tableName, const Table& table,
                const std::vector<Value>& row, TableSource& source, const Binds& binds) {
    return isTrue(evaluateOnRow(condition, tableName, table, row, source, binds));
}

}  // namespace vorlix
