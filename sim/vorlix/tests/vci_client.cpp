#include "sim/vorlix/tests/vci_client.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstdlib>
#include <stdexcept>

#include "sim/vorlix/instance/win_storage.h"
#include "support/unique_handle.h"

namespace vorlix::test {

namespace {

std::wstring widenAscii(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string narrowAscii(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += char(c);
    return out;
}

std::wstring moduleDirectory() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/"));
}

}  // namespace

std::wstring binDirectory() { return moduleDirectory() + L"\\..\\home\\BIN"; }

std::string homeDirectory() {
    static std::wstring dir;
    static std::string home = [] {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"vorlix-test-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir.c_str(), nullptr);
        SetEnvironmentVariableW(L"VORLIX_HOME", dir.c_str());
        std::atexit([] { deleteTree(dir); });
        return narrowAscii(dir);
    }();
    return home;
}

VciLibrary& vci() {
    static VciLibrary library;
    if (!library.module) {
        homeDirectory();
        if (!library.load(binDirectory() + L"\\VCI.dll"))
            throw std::runtime_error("cannot load VCI.dll");
    }
    return library;
}

int runTool(const std::wstring& arguments, std::string* output) {
    homeDirectory();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    support::KernelHandle readEnd, writeEnd;
    CreatePipe(readEnd.receive(), writeEnd.receive(), &inherit, 0);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + binDirectory() + L"\\" + arguments;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    support::KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    writeEnd.reset();
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(processHandle.get(), &code);
    if (output) *output = text;
    return int(code);
}

namespace {

int instanceCounter = 0;

}  // namespace

TestInstance::TestInstance(const std::string& description) {
    char sid[16];
    std::snprintf(sid, sizeof sid, "T%lu%c", GetCurrentProcessId() % 100000,
                  char('A' + instanceCounter++ % 26));
    sid_ = sid;
    std::string file = homeDirectory() + "\\" + sid_ + ".json";
    HANDLE h =
        CreateFileW(widenAscii(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, description.data(), DWORD(description.size()), &written, nullptr);
    CloseHandle(h);
    int code =
        runTool(L"vlxsim.exe\" create " + widenAscii(sid_) + L" \"" + widenAscii(file) + L"\"");
    if (code != 0) throw std::runtime_error("vlxsim create failed with " + std::to_string(code));
}

TestInstance::~TestInstance() { runTool(L"vlxsim.exe\" drop " + widenAscii(sid_)); }

std::string TestInstance::directory() const { return homeDirectory() + "\\instances\\" + sid_; }

int TestInstance::vlxsim(const std::string& arguments) const {
    size_t space = arguments.find(' ');
    std::string command = arguments.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : arguments.substr(space);
    return runTool(L"vlxsim.exe\" " + widenAscii(command) + L" " + widenAscii(sid_) +
                   widenAscii(rest));
}

std::string localDescriptor(const std::string& sid) {
    return "(DESCRIPTION=(ADDRESS=(PROTOCOL=beq)(PROGRAM=vorlix)(ARGV0=vorlix" + sid +
           ")(ARGS='(DESCRIPTION=(LOCAL=YES)(ADDRESS=(PROTOCOL=beq)))')(ENVS='VORLIX_SID=" + sid +
           "'))(CONNECT_DATA=(SID=" + sid + ")))";
}

Connection::Connection() {
    auto& v = vci();
    v.VCIEnvCreate(&env, VCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    v.VCIHandleAlloc(env, reinterpret_cast<void**>(&err), VCI_HTYPE_ERROR, 0, nullptr);
    v.VCIHandleAlloc(env, reinterpret_cast<void**>(&server), VCI_HTYPE_SERVER, 0, nullptr);
    v.VCIHandleAlloc(env, reinterpret_cast<void**>(&svc), VCI_HTYPE_SVCCTX, 0, nullptr);
    v.VCIHandleAlloc(env, reinterpret_cast<void**>(&session), VCI_HTYPE_SESSION, 0, nullptr);
    v.VCIHandleAlloc(env, reinterpret_cast<void**>(&admin), VCI_HTYPE_ADMIN, 0, nullptr);
}

Connection::~Connection() {
    auto& v = vci();
    for (VCIStmt* s : statements_) v.VCIHandleFree(s, VCI_HTYPE_STMT);
    v.VCISessionEnd(svc, err, session, 0);
    v.VCIServerDetach(server, err, 0);
    for (auto [h, type] : {std::pair<void*, uint32_t>{admin, VCI_HTYPE_ADMIN},
                           {session, VCI_HTYPE_SESSION},
                           {svc, VCI_HTYPE_SVCCTX},
                           {server, VCI_HTYPE_SERVER},
                           {err, VCI_HTYPE_ERROR}})
        v.VCIHandleFree(h, type);
}

int32_t Connection::check(int32_t rc) {
    if (rc == VCI_SUCCESS) return rc;
    char text[1025] = {};
    int32_t number = 0;
    vci().VCIErrorGet(err, 1, nullptr, &number, text, sizeof text, VCI_HTYPE_ERROR);
    lastError_ = number;
    lastText_ = text;
    return rc;
}

int Connection::connect(const std::string& connectText, uint32_t mode, const std::string& user,
                        const std::string& password) {
    auto& v = vci();
    lastError_ = 0;
    if (check(v.VCIServerAttach(server, err, connectText.c_str(), int32_t(connectText.size()),
                                0)) != VCI_SUCCESS)
        return lastError_;
    v.VCIAttrSet(svc, VCI_HTYPE_SVCCTX, server, 0, VCI_ATTR_SERVER, err);
    uint32_t credentials = VCI_CRED_EXT;
    if (!user.empty()) {
        v.VCIAttrSet(session, VCI_HTYPE_SESSION, const_cast<char*>(user.data()),
                     uint32_t(user.size()), VCI_ATTR_USERNAME, err);
        v.VCIAttrSet(session, VCI_HTYPE_SESSION, const_cast<char*>(password.data()),
                     uint32_t(password.size()), VCI_ATTR_PASSWORD, err);
        credentials = VCI_CRED_RDBMS;
    }
    if (check(v.VCISessionBegin(svc, err, session, credentials, mode)) != VCI_SUCCESS)
        return lastError_;
    v.VCIAttrSet(svc, VCI_HTYPE_SVCCTX, session, 0, VCI_ATTR_SESSION, err);
    return 0;
}

int Connection::connectLocal(const std::string& sid, uint32_t mode) {
    return connect(localDescriptor(sid), mode);
}

VCIStmt* Connection::newStatement(const std::string& text) {
    VCIStmt* stmt = nullptr;
    vci().VCIHandleAlloc(env, reinterpret_cast<void**>(&stmt), VCI_HTYPE_STMT, 0, nullptr);
    statements_.push_back(stmt);
    vci().VCIStmtPrepare(stmt, err, text.c_str(), uint32_t(text.size()), VCI_NTV_SYNTAX,
                         VCI_DEFAULT);
    return stmt;
}

std::vector<std::vector<std::string>> Connection::rows(const std::string& query) {
    auto& v = vci();
    VCIStmt* stmt = newStatement(query);
    if (check(v.VCIStmtExecute(svc, stmt, err, 0, 0, nullptr, nullptr, VCI_DESCRIBE_ONLY)) !=
        VCI_SUCCESS)
        throw std::runtime_error(lastText_);
    uint32_t columns = 0;
    v.VCIAttrGet(stmt, VCI_HTYPE_STMT, &columns, nullptr, VCI_ATTR_PARAM_COUNT, err);
    std::vector<std::vector<char>> values(columns, std::vector<char>(1025));
    std::vector<int16_t> indicators(columns);
    for (uint32_t i = 0; i < columns; ++i)
        v.VCIDefineByPos(stmt, nullptr, err, i + 1, values[i].data(), 1025, SQLT_STR,
                         &indicators[i], nullptr, nullptr, VCI_DEFAULT);
    if (check(v.VCIStmtExecute(svc, stmt, err, 0, 0, nullptr, nullptr, VCI_DEFAULT)) != VCI_SUCCESS)
        throw std::runtime_error(lastText_);
    std::vector<std::vector<std::string>> result;
    for (;;) {
        int32_t rc = check(v.VCIStmtFetch(stmt, err, 1, VCI_FETCH_NEXT, VCI_DEFAULT));
        if (rc == VCI_NO_DATA) return result;
        if (rc != VCI_SUCCESS) throw std::runtime_error(lastText_);
        std::vector<std::string> row;
        for (uint32_t i = 0; i < columns; ++i)
            row.push_back(indicators[i] == -1 ? "<NULL>" : values[i].data());
        result.push_back(row);
    }
}

int Connection::execute(const std::string& text) {
    lastError_ = 0;
    VCIStmt* stmt = newStatement(text);
    check(vci().VCIStmtExecute(svc, stmt, err, 1, 0, nullptr, nullptr, VCI_DEFAULT));
    return lastError_;
}

}  // namespace vorlix::test
