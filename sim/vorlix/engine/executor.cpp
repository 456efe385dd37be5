#include "sim/vorlix/engine/executor.h"

#include <algorithm>
#include <map>
#include <set>

#include "sim/vorlix/engine/catalog.h"
#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/dml.h"
#include "sim/vorlix/engine/tool_blocks.h"

namespace vorlix {

namespace {

// Copies a snapshot control file (":1") onto every control file that differs from it.
const char* const kControlFileCopyBlock =
    "declare    recid number;    stamp number;    outfname varchar2(1024);   dest_name "
    "varchar2(1024); begin    for i in 1..9999 loop       dest_name := "
    "sys.dbms_backup_restore.getparm(                        sys.dbms_backup_restore.control_file, "
    "i);       if dest_name is null then          exit;       end if;       if :1 <> dest_name "
    "then          sys.dbms_backup_restore.copyControlfile              (:1, dest_name, recid, "
    "stamp, outfname);       end if;   end loop; end;";

constexpr int kParmControlFile = 1;
constexpr int kParmSnapshotName = 2;
constexpr int kItemEnd = 0;
constexpr int kItemText = 9;
constexpr size_t kMessageLineLimit = 500;
constexpr size_t kErrorTextLimit = 4096;

std::string withoutSys(const std::string& name) {
    return name.compare(0, 4, "SYS.") == 0 ? name.substr(4) : name;
}

// The packages a block can call, over one instance and one session.
class Packages {
public:
    Packages(InstanceState& state, Instance& instance, SessionData& session, PipeWaiter* waiter)
        : s_(state), instance_(instance), session_(session), waiter_(waiter) {
        if (s_.status == InstanceStatus::Down) raiseError(1034);
        if (s_.status == InstanceStatus::Starting) raiseError(1033);
    }

    int createPipe(const std::string& name, bool isPrivate) {
        if (!s_.pipe(upper(name))) {
            Pipe p;
            p.name = upper(name);
            p.type = isPrivate ? "PRIVATE" : "PUBLIC";
            s_.pipes.push_back(p);
        }
        return 0;
    }

    int removePipe(const std::string& name) {
        std::erase_if(s_.pipes, [&](const Pipe& p) { return p.name == upper(name); });
        return 0;
    }

    int sendMessage(const std::string& name) {
        Pipe* p = s_.pipe(upper(name));
        if (!p) {
            createPipe(name, false);
            p = s_.pipe(upper(name));
        }
        p->messages.push_back(session_.packBuffer);
        session_.packBuffer.clear();
        return 0;
    }

    int receiveMessage(const std::string& name, int timeoutSeconds) {
        auto waiting = [&] {
            const Pipe* p = s_.pipe(upper(name));
            return !p || p->messages.empty();
        };
        if (waiting() && (timeoutSeconds <= 0 || !waiter_ ||
                          !waiter_->waitForMessage(s_, upper(name), timeoutSeconds)))
            return 1;
        Pipe* p = s_.pipe(upper(name));  // the state may have been reloaded meanwhile
        session_.receiveBuffer.assign(p->messages.front().begin(), p->messages.front().end());
        p->messages.erase(p->messages.begin());
        return 0;
    }

    int nextItemType() const { return session_.receiveBuffer.empty() ? kItemEnd : kItemText; }

    std::string unpack() {
        if (session_.receiveBuffer.empty()) raiseError(6556);
        std::string item = session_.receiveBuffer.front();
        session_.receiveBuffer.pop_front();
        return item;
    }

    Value getParm(int kind, int index) {
        if (kind == kParmSnapshotName) return Value::text(instance_.snapshotControlFileName());
        if (kind != kParmControlFile) raiseError(6550, "GETPARM kind " + std::to_string(kind));
        auto names = s_.controlFiles();
        if (index < 1 || index > int(names.size())) return {};
        return Value::text(names[size_t(index - 1)]);
    }

    // Only the snapshot control file's name can be changed (the recovery tool's CONFIGURE).
    void setParm(int kind, const std::string& value) {
        if (kind != kParmSnapshotName) raiseError(6550, "SETPARM kind " + std::to_string(kind));
        s_.snapshotControlFile = value;
    }

    Instance& instance() { return instance_; }
    SessionData& session() { return session_; }

private:
    InstanceState& s_;
    Instance& instance_;
    SessionData& session_;
    PipeWaiter* waiter_;
};

// The reader of the recovery tool's output pipe, with the semantics of its block.
Binds runReceiveBlock(Packages& pipes) {
    Binds out;
    long retval = -1;
    int commandFailed = 0;
    std::string errbuf;
    out["RETVAL"] = Value::number(-1);
    for (;;) {
        int rc = pipes.receiveMessage("vlx$bakx_vss_out", 0);
        if (rc == 1) {
            if (commandFailed >= 1 || retval != -1) break;
            raiseError(1403);
        }
        for (;;) {
            if (commandFailed >= 1) ++commandFailed;
            if (pipes.nextItemType() == kItemEnd) break;
            std::string line = pipes.unpack();
            if (line.size() > kMessageLineLimit) raiseError(6502);
            std::string marker = line.substr(0, 11);
            if (marker == "BAKX-00569:") {
                commandFailed = 1;
                retval = 0;
            }
            if (commandFailed > 2 && marker != "BAKX-00572:") {
                if (errbuf.size() + line.size() > kErrorTextLimit) raiseError(6502);
                errbuf += line;
            }
            if (marker == "BAKX-00572:") retval = retval == -1 ? 1 : retval + 1;
            out["RETVAL"] = Value::number(double(retval));
        }
    }
    out["BAKXERR"] = Value::text(errbuf);
    return out;
}

Binds runControlFileCopyBlock(Packages& packages, const Binds& binds) {
    auto source = binds.find("1");
    if (source == binds.end()) raiseError(1008);
    for (int i = 1; i <= 9999; ++i) {
        Value dest = packages.getParm(kParmControlFile, i);
        if (dest.isNull()) break;
        if (!source->second.isNull() && source->second.asText() != dest.asText())
            packages.instance().copyControlFile(source->second.asText(), dest.asText());
    }
    return {};
}

// Blocks of declarations and a sequence of assignments and package calls.
class BlockRunner : public ProceduralNames {
public:
    BlockRunner(Packages& packages, TableSource& source, const Binds& binds)
        : packages_(packages), source_(source), binds_(binds) {}

    Binds run(TokenStream& t) {
        if (t.acceptKeyword("DECLARE")) {
            while (!t.isKeyword("BEGIN") && !t.atEnd()) declaration(t);
        }
        t.expectKeyword("BEGIN");
        while (!t.isKeyword("END")) {
            if (t.atEnd()) raiseError(6550, "END");
            statement(t);
        }
        t.next();
        t.expectEnd();
        return assigned_;
    }

    std::optional<Value> name(const std::string& dotted) override {
        auto var = variables_.find(dotted);
        if (var != variables_.end()) return var->second;
        if (dotted == "TRUE") return Value::number(1);
        if (dotted == "FALSE") return Value::number(0);
        static const std::map<std::string, int> constants = {
            {"DBMS_BACKUP_RESTORE.CONTROL_FILE", kParmControlFile},
            {"DBMS_BACKUP_RESTORE.SNAPSHOT_NAME", kParmSnapshotName},
            {"DBMS_BACKUP_RESTORE.RTYP_ARCHIVED_LOG", Instance::kArchivedLogRecord},
            {"DBMS_BACKUP_RESTORE.RTYP_BACKUP_PIECE", Instance::kBackupPieceRecord},
            {"DBMS_BACKUP_RESTORE.RTYP_DFILE_COPY", Instance::kDatafileCopyRecord},
        };
        auto constant = constants.find(withoutSys(dotted));
        if (constant != constants.end()) return Value::number(constant->second);
        return call(dotted, {});
    }

    std::optional<Value> call(const std::string& dotted, const std::vector<Value>& args) override {
        std::string fn = withoutSys(dotted);
        auto text = [&](size_t i) { return i < args.size() ? args[i].asText() : std::string(); };
        auto number = [&](size_t i, double fallback) {
            return i < args.size() && !args[i].isNull() ? args[i].asNumber() : fallback;
        };
        if (fn == "DBMS_PIPE.CREATE_PIPE")
            return Value::number(packages_.createPipe(text(0), number(2, 1) != 0));
        if (fn == "DBMS_PIPE.REMOVE_PIPE") return Value::number(packages_.removePipe(text(0)));
        if (fn == "DBMS_PIPE.SEND_MESSAGE") return Value::number(packages_.sendMessage(text(0)));
        if (fn == "DBMS_PIPE.RECEIVE_MESSAGE")
            return Value::number(packages_.receiveMessage(text(0), int(number(1, 86400000))));
        if (fn == "DBMS_PIPE.NEXT_ITEM_TYPE") return Value::number(packages_.nextItemType());
        if (fn == "DBMS_BACKUP_RESTORE.GETPARM")
            return packages_.getParm(int(number(0, 0)), int(number(1, 1)));
        return std::nullopt;
    }

private:
    void declaration(TokenStream& t) {
        std::string name = t.expectName();
        if (name == "PRAGMA" || t.isKeyword("EXCEPTION")) {
            while (!t.acceptSymbol(";")) {
                if (t.atEnd()) raiseError(6550, name);
                t.next();
            }
            return;
        }
        std::string type = t.expectName();
        if (t.acceptSymbol("(")) {
            if (type == "VARCHAR2" || type == "VARCHAR" || type == "CHAR")
                limits_[name] = size_t(std::stoul(t.next().text));
            while (!t.acceptSymbol(")")) t.next();
        }
        Value initial;
        if (t.acceptSymbol(":=")) initial = evaluate(t);
        variables_[name] = initial;
        t.expectSymbol(";");
    }

    void statement(TokenStream& t) {
        if (t.acceptKeyword("NULL")) {
            t.expectSymbol(";");
            return;
        }
        if (t.acceptKeyword("RAISE")) {
            std::string exception = t.expectName();
            if (exception == "NO_DATA_FOUND") raiseError(1403);
            raiseError(6510);
        }
        const Token& first = t.peek();
        if ((first.type == Token::Type::Bind || first.type == Token::Type::Name) &&
            t.isSymbol(":=", 1)) {
            Token target = t.next();
            t.next();
            assign(target, evaluate(t));
            t.expectSymbol(";");
            return;
        }
        std::string procedure = t.expectName();
        while (t.acceptSymbol(".")) procedure += "." + t.expectName();
        procedure = withoutSys(procedure);
        std::vector<Token> targets;
        std::vector<Value> args;
        if (t.acceptSymbol("(")) {
            do {
                targets.push_back(t.peek());
                auto expr = parseExpression(t);
                bool out = isOutParameter(procedure, args.size());
                args.push_back(out ? Value() : evaluateExpression(*expr, source_, binds_, this));
            } while (t.acceptSymbol(","));
            t.expectSymbol(")");
        }
        t.expectSymbol(";");
        callProcedure(procedure, args, targets);
    }

    // Output parameters are only written, so an unbound placeholder is fine there.
    static bool isOutParameter(const std::string& procedure, size_t index) {
        if (procedure == "DBMS_PIPE.UNPACK_MESSAGE") return index == 0;
        if (procedure == "DBMS_OUTPUT.GET_LINE") return index <= 1;
        if (procedure == "DBMS_BACKUP_RESTORE.COPYCONTROLFILE") return index >= 2;
        return false;
    }

    void callProcedure(const std::string& name, const std::vector<Value>& args,
                       const std::vector<Token>& targets) {
        auto arg = [&](size_t i) { return i < args.size() ? args[i] : Value(); };
        auto target = [&](size_t i) -> const Token& {
            if (i >= targets.size()) raiseError(6550, name);
            return targets[i];
        };
        Instance& instance = packages_.instance();
        SessionData& session = packages_.session();
        if (name == "DBMS_PIPE.PACK_MESSAGE")
            session.packBuffer.push_back(arg(0).asText());
        else if (name == "DBMS_PIPE.UNPACK_MESSAGE")
            assign(target(0), Value::text(packages_.unpack()));
        else if (name == "DBMS_PIPE.RESET_BUFFER")
            session.packBuffer.clear();
        else if (name == "DBMS_PIPE.PURGE") {
            packages_.removePipe(arg(0).asText());
            packages_.createPipe(arg(0).asText(), false);
        } else if (name == "DBMS_OUTPUT.PUT_LINE")
            session.outputLines.push_back(arg(0).asText());
        else if (name == "DBMS_OUTPUT.ENABLE" || name == "DBMS_OUTPUT.DISABLE") {
        } else if (name == "DBMS_OUTPUT.GET_LINE") {
            bool have = !session.outputLines.empty();
            assign(target(0), have ? Value::text(session.outputLines.front()) : Value());
            assign(target(1), Value::number(have ? 0 : 1));
            if (have) session.outputLines.pop_front();
        } else if (name == "DBMS_BACKUP_RESTORE.SETPARM")
            packages_.setParm(int(arg(0).asNumber()), arg(1).asText());
        else if (name == "DBMS_BACKUP_RESTORE.BCTSWITCH")
            instance.switchChangeTracking();
        else if (name == "DBMS_BACKUP_RESTORE.CFILEMAKEANDUSESNAPSHOT")
            instance.makeSnapshotControlFile();
        else if (name == "DBMS_BACKUP_RESTORE.CFILEUSECURRENT")
            instance.useCurrentControlFile();
        else if (name == "DBMS_BACKUP_RESTORE.REFRESHAGEDFILES")
            instance.refreshAgedFiles();
        else if (name == "DBMS_BACKUP_RESTORE.RESETINCARNATION")
            instance.resetIncarnation(int(arg(0).asNumber()));
        else if (name == "DBMS_BACKUP_RESTORE.VSSBACKEDRECORD")
            instance.markBackedUp(int(arg(0).asNumber()), uint32_t(arg(1).asNumber()),
                                  uint32_t(arg(2).asNumber()));
        else if (name == "DBMS_BACKUP_RESTORE.COPYCONTROLFILE") {
            instance.copyControlFile(arg(0).asText(), arg(1).asText());
            if (targets.size() >= 5) assign(targets[4], Value::text(arg(1).asText()));
        } else {
            raiseError(6550, name);
        }
    }

    Value evaluate(TokenStream& t) {
        auto expr = parseExpression(t);
        return evaluateExpression(*expr, source_, binds_, this);
    }

    void assign(const Token& target, const Value& value) {
        if (target.type == Token::Type::Bind) {
            binds_[target.text] = value;
            assigned_[target.text] = value;
            return;
        }
        if (target.type != Token::Type::Name || !variables_.count(target.text))
            raiseError(6550, target.text);
        auto limit = limits_.find(target.text);
        if (limit != limits_.end() && value.asText().size() > limit->second) raiseError(6502);
        variables_[target.text] = value;
    }

    Packages& packages_;
    TableSource& source_;
    Binds binds_;
    Binds assigned_;
    std::map<std::string, Value> variables_;
    std::map<std::string, size_t> limits_;
};

}  // namespace

int statementType(const std::string& text) {
    static const std::map<std::string, int> types = {
        {"SELECT", 1}, {"WITH", 1}, {"UPDATE", 2}, {"DELETE", 3}, {"INSERT", 4},
        {"CREATE", 5}, {"DROP", 6}, {"ALTER", 7},  {"BEGIN", 8},  {"DECLARE", 9}};
    try {
        auto tokens = tokenize(text);
        auto found = types.find(tokens.front().text);
        return tokens.front().type == Token::Type::Name && found != types.end() ? found->second : 0;
    } catch (const DbError&) {
        return 0;
    }
}

namespace {

bool matches(const InjectedFailure& failure, const std::string& statement) {
    return statement.find(upper(collapseBlanks(failure.match))) != std::string::npos;
}

std::vector<InjectedFailure>::iterator armedFailure(InstanceState& state, const std::string& text,
                                                    bool atClose) {
    const std::string statement = upper(collapseBlanks(text));
    return std::find_if(state.failures.begin(), state.failures.end(), [&](const auto& failure) {
        return failure.atClose == atClose && matches(failure, statement);
    });
}

// What a block may call and still leave the instance alone: these touch only
// the session's buffers.
const std::set<std::string> kSessionOnlyCalls = {
    "DBMS_OUTPUT.ENABLE",     "DBMS_OUTPUT.DISABLE",     "DBMS_OUTPUT.PUT_LINE",
    "DBMS_OUTPUT.GET_LINE",   "DBMS_PIPE.PACK_MESSAGE",  "DBMS_PIPE.UNPACK_MESSAGE",
    "DBMS_PIPE.RESET_BUFFER", "DBMS_PIPE.NEXT_ITEM_TYPE"};

// A block reaches the instance only through dotted package calls, so one whose
// every dotted name is a session-only call cannot change it.
bool blockTouchesOnlySession(const std::string& text) {
    std::vector<Token> tokens;
    try {
        tokens = tokenize(text);
    } catch (const DbError&) {
        return false;
    }
    auto isName = [&](size_t i) {
        return tokens[i].type == Token::Type::Name || tokens[i].type == Token::Type::QuotedName;
    };
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (!isName(i)) continue;
        std::string dotted = tokens[i].text;
        while (i + 2 < tokens.size() && tokens[i + 1].type == Token::Type::Symbol &&
               tokens[i + 1].text == "." && isName(i + 2)) {
            dotted += "." + tokens[i + 2].text;
            i += 2;
        }
        if (dotted.find('.') != std::string::npos && !kSessionOnlyCalls.count(withoutSys(dotted)))
            return false;
    }
    return true;
}

}  // namespace

bool mayChangeState(const InstanceState& state, const std::string& text) {
    const int type = statementType(text);
    if (type == 8 || type == 9 ? !blockTouchesOnlySession(text) : type != 1) return true;
    const std::string statement = upper(collapseBlanks(text));
    return std::any_of(state.failures.begin(), state.failures.end(),
                       [&](const auto& failure) { return matches(failure, statement); });
}

bool takeCloseFailure(InstanceState& state, const std::string& text) {
    const auto found = armedFailure(state, text, true);
    if (found == state.failures.end()) return false;
    if (!found->every) state.failures.erase(found);
    return true;
}

void Executor::checkInjectedFailures(const std::string& text) {
    const auto found = armedFailure(state_, text, false);
    if (found == state_.failures.end()) return;
    DbError error(found->error, found->message.empty() ? errorText(found->error) : found->message);
    if (!found->every) state_.failures.erase(found);
    throw error;
}

Outcome Executor::execute(const std::string& text, const Binds& binds, PipeWaiter* waiter) {
    checkInjectedFailures(text);
    Outcome outcome;
    switch (statementType(text)) {
        case 1: {
            Instance instance(state_, storage_);
            Catalog catalog(state_, instance);
            outcome.isQuery = true;
            outcome.result = runQuery(text, catalog, binds);
            return outcome;
        }
        case 7: {
            TokenStream tokens(tokenize(text));
            tokens.next();
            alter(tokens);
            return outcome;
        }
        case 8:
        case 9: return block(text, binds, waiter);
        default: {
            Instance instance(state_, storage_);
            Catalog catalog(state_, instance);
            outcome.rowCount = runDml(text, state_, storage_, catalog, binds);
            return outcome;
        }
    }
}

void Executor::alter(TokenStream& t) {
    Instance instance(state_, storage_);
    if (t.acceptKeyword("TABLESPACE")) {
        std::string name = t.expectName();
        bool begin = t.acceptKeyword("BEGIN");
        if (!begin) t.expectKeyword("END");
        t.expectKeyword("BACKUP");
        t.expectEnd();
        begin ? instance.beginBackup(name) : instance.endBackup(name);
    } else if (t.acceptKeyword("DATABASE")) {
        if (t.acceptKeyword("MOUNT")) {
            t.expectEnd();
            instance.mount();
        } else if (t.acceptKeyword("OPEN")) {
            bool readOnly = false;
            if (t.acceptKeyword("READ")) {
                readOnly = t.acceptKeyword("ONLY");
                if (!readOnly) t.expectKeyword("WRITE");
            }
            bool resetlogs = t.acceptKeyword("RESETLOGS");
            t.expectEnd();
            instance.open(readOnly, resetlogs);
        } else if (t.acceptKeyword("RECOVER")) {
            recover(t, instance);
        } else if (t.acceptKeyword("REGISTER")) {
            t.acceptKeyword("PHYSICAL");
            t.expectKeyword("LOGFILE");
            if (t.peek().type != Token::Type::String) raiseError(900);
            std::string name = t.next().text;
            t.expectEnd();
            instance.registerArchivedLog(name);
        } else if (t.acceptKeyword("RENAME")) {
            t.expectKeyword("FILE");
            if (t.peek().type != Token::Type::String) raiseError(1516, t.peek().text);
            std::string from = t.next().text;
            t.expectKeyword("TO");
            if (t.peek().type != Token::Type::String) raiseError(1516, t.peek().text);
            std::string to = t.next().text;
            t.expectEnd();
            instance.renameFile(from, to);
        } else if (t.isKeyword("ARCHIVELOG") || t.isKeyword("NOARCHIVELOG")) {
            bool archiveLog = t.next().text == "ARCHIVELOG";
            t.expectEnd();
            instance.setArchiveLogMode(archiveLog);
        } else {
            raiseError(900);
        }
    } else if (t.acceptKeyword("SYSTEM")) {
        if (t.acceptKeyword("ARCHIVE")) {
            t.expectKeyword("LOG");
            t.expectKeyword("CURRENT");
            t.expectEnd();
            instance.archiveLogCurrent();
        } else if (t.acceptKeyword("CHECKPOINT")) {
            t.expectEnd();
            instance.checkpoint();
        } else if (t.acceptKeyword("SWITCH")) {
            t.expectKeyword("LOGFILE");
            t.expectEnd();
            instance.switchLogfile();
        } else {
            raiseError(900);
        }
    } else {
        raiseError(900);
    }
}

void Executor::recover(TokenStream& t, Instance& instance) {
    t.acceptKeyword("AUTOMATIC");
    if (t.acceptKeyword("DATABASE")) {
        std::optional<uint64_t> until;
        if (t.acceptKeyword("UNTIL")) {
            t.expectKeyword("CHANGE");
            if (t.peek().type != Token::Type::Number) raiseError(1722);
            until = std::stoull(t.next().text);
        }
        t.expectEnd();
        instance.recoverDatabase(until);
    } else if (t.acceptKeyword("DATAFILE")) {
        std::vector<int> numbers;
        do {
            if (t.peek().type != Token::Type::Number) raiseError(1722);
            numbers.push_back(std::stoi(t.next().text));
        } while (t.acceptSymbol(","));
        t.expectEnd();
        instance.recoverDatafiles(numbers);
    } else if (t.acceptKeyword("TABLESPACE")) {
        std::vector<std::string> names;
        do names.push_back(t.expectName());
        while (t.acceptSymbol(","));
        t.expectEnd();
        instance.recoverTablespaces(names);
    } else {
        raiseError(900);
    }
}

Outcome Executor::block(const std::string& text, const Binds& binds, PipeWaiter* waiter) {
    Instance instance(state_, storage_);
    Catalog catalog(state_, instance);
    Packages packages(state_, instance, session_, waiter);
    Outcome outcome;
    std::string collapsed = collapseBlanks(text);
    if (collapsed == collapseBlanks(kReceiveBlock)) {
        outcome.assigned = runReceiveBlock(packages);
    } else if (collapsed == collapseBlanks(kControlFileCopyBlock)) {
        outcome.assigned = runControlFileCopyBlock(packages, binds);
    } else {
        TokenStream tokens(tokenize(text));
        outcome.assigned = BlockRunner(packages, catalog, binds).run(tokens);
    }
    return outcome;
}

}  // namespace vorlix
