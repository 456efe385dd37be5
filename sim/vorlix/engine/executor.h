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
    Binds assigned;       // placeholders a block assigned
    size_t rowCount = 0;  // rows a statement changed
};

// Lets a pipe receive with a timeout wait for other sessions: it makes the
// state so far visible to them, waits without holding the instance, and
// reloads the state into the same object. False when the time is up.
class PipeWaiter {
public:
    virtual ~PipeWaiter() = default;
    virtual bool waitForMessage(InstanceState& state, const std::string& pipe, int seconds) = 0;
};

int statementType(const std::string& text);  // VCI_STMT_* numbers; 0 when unknown

// False only for a statement that cannot change `state`: a query, or a block
// that calls only what touches the session, that no armed failure matches.
bool mayChangeState(const InstanceState& state, const std::string& text);

// Takes the armed failure to close the cursor of a statement like `text`;
// false when none is armed.
bool takeCloseFailure(InstanceState& state, const std::string& text);

class Executor {
public:
    Executor(InstanceState& state, Storage& storage, SessionData& session)
        : state_(state), storage_(storage), session_(session) {}

    // Without a waiter a pipe receive never waits.
    Outcome execute(const std::string& text, const Binds& binds, PipeWaiter* waiter = nullptr);

private:
    void checkInjectedFailures(const std::string& text);
    void alter(TokenStream& tokens);
    void recover(TokenStream& tokens, Instance& instance);
    Outcome block(const std::string& text, const Binds& binds, PipeWaiter* waiter);

    InstanceState& state_;
    Storage& storage_;
    SessionData& session_;
};

}  // namespace vorlix
