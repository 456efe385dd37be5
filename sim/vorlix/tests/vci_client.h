#pragma once
// Test helpers: a private VORLIX_HOME, the stand-in's programs, instances
// made with vlxsim, and a small client over VCI.dll.

#include <windows.h>

#include <string>
#include <vector>

#include "interfaces/vorlix/vci_library.h"

namespace vorlix::test {

std::wstring binDirectory();  // where VCI.dll, vlxsim.exe and vlxsql.exe are
std::string homeDirectory();  // this test process's VORLIX_HOME, created on first use
VciLibrary& vci();

// Runs a program of the bin directory; returns its exit code, output in `output`.
int runTool(const std::wstring& arguments, std::string* output = nullptr);

// An instance created from a description and dropped (service and files) at the end.
class TestInstance {
public:
    explicit TestInstance(const std::string& description);
    ~TestInstance();
    const std::string& sid() const { return sid_; }
    std::string directory() const;
    int vlxsim(const std::string& arguments) const;  // "<command> <SID> <arguments>"... see .cpp

private:
    std::string sid_;
};

class Connection {
public:
    Connection();
    ~Connection();
    // Returns the error number of a failed attach or session start, 0 on success.
    int connect(const std::string& connectText, uint32_t mode = VCI_SYSDBA,
                const std::string& user = {}, const std::string& password = {});
    int connectLocal(const std::string& sid, uint32_t mode = VCI_SYSDBA);
    // Rows as text (null as "<NULL>"); throws std::runtime_error with the error text on failure.
    std::vector<std::vector<std::string>> rows(const std::string& query);
    // Runs a statement; returns 0 or the error number.
    int execute(const std::string& text);
    int lastErrorNumber() const { return lastError_; }
    std::string lastErrorText() const { return lastText_; }

    VCIEnv* env = nullptr;
    VCIError* err = nullptr;
    VCIServer* server = nullptr;
    VCISvcCtx* svc = nullptr;
    VCISession* session = nullptr;
    VCIAdmin* admin = nullptr;

    VCIStmt* newStatement(const std::string& text);
    // Remembers the error of a return code other than success; returns the code.
    int32_t check(int32_t rc);

private:
    int lastError_ = 0;
    std::string lastText_;
    std::vector<VCIStmt*> statements_;
};

std::string localDescriptor(const std::string& sid);

}  // namespace vorlix::test
