#pragma once
// The recovery tool's one session on its instance, through VCI.dll as any
// client reaches it: statements with text binds, single-column queries, and
// the database error of the last failure.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/vorlix/vci_library.h"

namespace vorlix::bakx {

class ToolSession {
public:
    ToolSession() = default;
    ToolSession(const ToolSession&) = delete;
    ToolSession& operator=(const ToolSession&) = delete;
    ~ToolSession();

    // SYSDBA with operating-system credentials; an empty target is VORLIX_SID's instance.
    bool connect(const std::string& target);

    // Text binds by name (":name" in the statement). Output binds receive at
    // most `outputSize` bytes each. False on failure, see error().
    bool run(const std::string& statement, const std::map<std::string, std::string>& inputs,
             std::map<std::string, std::string>* outputs = nullptr, size_t outputSize = 0);

    // The rows of a query of `columns` columns, every value as text.
    std::optional<std::vector<std::vector<std::string>>> rows(const std::string& query,
                                                              size_t columns);

    const std::string& error() const { return error_; }
    int errorNumber() const { return errorNumber_; }

private:
    bool ok(int32_t rc);
    VCIStmt* prepare(const std::string& text);

    VciLibrary vci_;
    VCIEnv* env_ = nullptr;
    VCIError* err_ = nullptr;
    VCIServer* server_ = nullptr;
    VCISvcCtx* svc_ = nullptr;
    VCISession* session_ = nullptr;
    bool attached_ = false, begun_ = false;
    std::string error_;
    int errorNumber_ = 0;
};

}  // namespace vorlix::bakx
