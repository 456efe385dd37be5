#pragma once
// Runs one statement against an instance's state on behalf of a session:
// queries, ALTER statements and procedural blocks with their package calls.

#include <deque>
#include <string>
#include <vector>

#include "sim/vorlix/engine/lifecycle.h"
#include "sim/vorlix/engine/query.h"

namespace vorlix {

// What a session keeps between its statements.
struct SessionData {
    std::vector<std::string> packBuffer;    // dbms_pipe items packed, not yet sent
    std::deque<std::string> receiveBuffer;  // items of the last message received
    std::deque<std::string> outputLines;    // dbms_output
};

struct Outcome {
    bool isQuery = false;
    QueryResult result;
    Binds assigned;  // placeholders a block assigned
};

// Thrown by a pipe receive with a timeout while no message is there; the
// caller releases the instance, waits, and runs the statement again.
struct PipeWait {
    int seconds = 0;
};

int statementType(const std::string& text);  // VCI_STMT_* numbers; 0 when unknown

class Executor {
public:
    Executor(InstanceState& state, Storage& storage, SessionData& session)
        : state_(state), storage_(storage), session_(session) {}

    // `mayWait`: whether a pipe receive with a timeout may throw PipeWait.
    Outcome execute(const std::string& text, const Binds& binds, bool mayWait = false);

private:
    void checkInjectedFailures(const std::string& text);
    void alter(TokenStream& tokens);
    void recover(TokenStream& tokens, Instance& instance);
    Outcome block(const std::string& text, const Binds& binds, bool mayWait);

    InstanceState& state_;
    Storage& storage_;
    SessionData& session_;
};

}  // namespace vorlix
