// vlxsql: runs statements on an instance through VCI.dll, as any client
// would, and prints query rows (tab-separated) and server output lines.
//   vlxsql CONNECT [USER/PASSWORD] -- STATEMENT...
// CONNECT is an instance name (local SYSDBA connection) or "@NAME" (a net
// service name, with USER/PASSWORD). Exit code 1 after the first error.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "interfaces/vorlix/vci_library.h"
#include "sim/vorlix/instance/text.h"

namespace {

constexpr uint32_t kColumnSize = 4001;

class Client {
public:
    explicit Client(vorlix::VciLibrary& vci) : vci_(vci) {}

    bool connect(const std::string& target, const std::string& credentials) {
        vci_.VCIEnvCreate(&env_, VCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
        allocate(&err_, VCI_HTYPE_ERROR);
        allocate(&server_, VCI_HTYPE_SERVER);
        allocate(&svc_, VCI_HTYPE_SVCCTX);
        allocate(&session_, VCI_HTYPE_SESSION);
        bool byName = !target.empty() && target[0] == '@';
        std::string descriptor =
            byName ? target.substr(1)
                   : "(DESCRIPTION=(ADDRESS=(PROTOCOL=beq))(CONNECT_DATA=(SID=" + target + ")))";
        if (!ok(vci_.VCIServerAttach(static_cast<VCIServer*>(server_), err(), descriptor.c_str(),
                                     int32_t(descriptor.size()), VCI_DEFAULT)))
            return false;
        vci_.VCIAttrSet(svc_, VCI_HTYPE_SVCCTX, server_, 0, VCI_ATTR_SERVER, err());
        uint32_t credentialKind = VCI_CRED_EXT, mode = VCI_SYSDBA;
        if (byName) {
            size_t slash = credentials.find('/');
            std::string user = credentials.substr(0, slash);
            std::string password =
                slash == std::string::npos ? std::string() : credentials.substr(slash + 1);
            vci_.VCIAttrSet(session_, VCI_HTYPE_SESSION, user.data(), uint32_t(user.size()),
                            VCI_ATTR_USERNAME, err());
            vci_.VCIAttrSet(session_, VCI_HTYPE_SESSION, password.data(), uint32_t(password.size()),
                            VCI_ATTR_PASSWORD, err());
            credentialKind = VCI_CRED_RDBMS;
            mode = VCI_DEFAULT;
        }
        return ok(vci_.VCISessionBegin(static_cast<VCISvcCtx*>(svc_), err(),
                                       static_cast<VCISession*>(session_), credentialKind, mode));
    }

    bool run(const std::string& text) {
        void* stmt = nullptr;
        allocate(&stmt, VCI_HTYPE_STMT);
        bool done = runStatement(static_cast<VCIStmt*>(stmt), text) && printServerOutput();
        vci_.VCIHandleFree(stmt, VCI_HTYPE_STMT);
        return done;
    }

private:
    bool runStatement(VCIStmt* stmt, const std::string& text) {
        vci_.VCIStmtPrepare(stmt, err(), text.c_str(), uint32_t(text.size()), VCI_NTV_SYNTAX,
                            VCI_DEFAULT);
        uint16_t type = 0;
        vci_.VCIAttrGet(stmt, VCI_HTYPE_STMT, &type, nullptr, VCI_ATTR_STMT_TYPE, err());
        if (type != VCI_STMT_SELECT)
            return ok(vci_.VCIStmtExecute(svc(), stmt, err(), 1, 0, nullptr, nullptr, VCI_DEFAULT));
        if (!ok(vci_.VCIStmtExecute(svc(), stmt, err(), 0, 0, nullptr, nullptr, VCI_DESCRIBE_ONLY)))
            return false;
        uint32_t columns = 0;
        vci_.VCIAttrGet(stmt, VCI_HTYPE_STMT, &columns, nullptr, VCI_ATTR_PARAM_COUNT, err());
        std::vector<std::vector<char>> values(columns, std::vector<char>(kColumnSize));
        std::vector<int16_t> indicators(columns);
        for (uint32_t i = 0; i < columns; ++i)
            vci_.VCIDefineByPos(stmt, nullptr, err(), i + 1, values[i].data(), kColumnSize,
                                SQLT_STR, &indicators[i], nullptr, nullptr, VCI_DEFAULT);
        if (!ok(vci_.VCIStmtExecute(svc(), stmt, err(), 0, 0, nullptr, nullptr, VCI_DEFAULT)))
            return false;
        for (;;) {
            int32_t rc = vci_.VCIStmtFetch(stmt, err(), 1, VCI_FETCH_NEXT, VCI_DEFAULT);
            if (rc == VCI_NO_DATA) return true;
            if (!ok(rc)) return false;
            for (uint32_t i = 0; i < columns; ++i)
                std::printf("%s%s", i ? "\t" : "",
                            indicators[i] == -1 ? "<NULL>" : values[i].data());
            std::printf("\n");
        }
    }

    bool printServerOutput() {
        const std::string getLine = "begin dbms_output.get_line(:line, :status); end;";
        for (;;) {
            void* stmt = nullptr;
            allocate(&stmt, VCI_HTYPE_STMT);
            char line[kColumnSize] = {};
            int32_t status = 1;
            int16_t indicator = 0;
            auto* s = static_cast<VCIStmt*>(stmt);
            vci_.VCIStmtPrepare(s, err(), getLine.c_str(), uint32_t(getLine.size()), VCI_NTV_SYNTAX,
                                VCI_DEFAULT);
            vci_.VCIBindByName(s, nullptr, err(), ":line", 5, line, sizeof line, SQLT_STR,
                               &indicator, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
            vci_.VCIBindByName(s, nullptr, err(), ":status", 7, &status, sizeof status, SQLT_INT,
                               nullptr, nullptr, nullptr, 0, nullptr, VCI_DEFAULT);
            bool ran =
                ok(vci_.VCIStmtExecute(svc(), s, err(), 1, 0, nullptr, nullptr, VCI_DEFAULT));
            vci_.VCIHandleFree(stmt, VCI_HTYPE_STMT);
            if (!ran) return false;
            if (status != 0) return true;
            std::printf("%s\n", line);
        }
    }

    bool ok(int32_t rc) {
        if (rc == VCI_SUCCESS) return true;
        char text[1025] = {};
        int32_t number = 0;
        if (vci_.VCIErrorGet(err_, 1, nullptr, &number, text, sizeof text, VCI_HTYPE_ERROR) ==
            VCI_SUCCESS)
            std::fprintf(stderr, "%s\n", text);
        else
            std::fprintf(stderr, "VCI return code %d\n", int(rc));
        return false;
    }

    void allocate(void** handle, uint32_t type) {
        vci_.VCIHandleAlloc(env_, handle, type, 0, nullptr);
    }
    VCIError* err() { return static_cast<VCIError*>(err_); }
    VCISvcCtx* svc() { return static_cast<VCISvcCtx*>(svc_); }

    vorlix::VciLibrary& vci_;
    VCIEnv* env_ = nullptr;
    void* err_ = nullptr;
    void* server_ = nullptr;
    void* svc_ = nullptr;
    void* session_ = nullptr;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int separator = 1;
    while (separator < argc && std::wstring(argv[separator]) != L"--") ++separator;
    if (separator < 2 || separator >= argc) {
        std::fputs("usage: vlxsql SID|@NAME [USER/PASSWORD] -- STATEMENT...\n", stderr);
        return 2;
    }
    vorlix::VciLibrary vci;
    if (!vci.load()) {
        std::fputs("vlxsql: cannot load VCI.dll\n", stderr);
        return 1;
    }
    Client client(vci);
    if (!client.connect(vorlix::narrow(argv[1]),
                        separator > 2 ? vorlix::narrow(argv[2]) : std::string()))
        return 1;
    for (int i = separator + 1; i < argc; ++i) {
        if (!client.run(vorlix::narrow(argv[i]))) return 1;
    }
    return 0;
}
