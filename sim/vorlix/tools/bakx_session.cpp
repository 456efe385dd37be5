#include "sim/vorlix/tools/bakx_session.h"

#include <memory>

namespace vorlix::bakx {

namespace {

constexpr size_t kColumnSize = 1025;

struct StatementDeleter {
    VciLibrary* vci;
    void operator()(VCIStmt* stmt) const { vci->VCIHandleFree(stmt, VCI_HTYPE_STMT); }
};
using Statement = std::unique_ptr<VCIStmt, StatementDeleter>;

}  // namespace

ToolSession::~ToolSession() {
    if (!vci_.module) return;
    if (begun_) vci_.VCISessionEnd(svc_, err_, session_, VCI_DEFAULT);
    if (attached_) vci_.VCIServerDetach(server_, err_, VCI_DEFAULT);
    if (env_) vci_.VCIHandleFree(env_, VCI_HTYPE_ENV);
}

bool ToolSession::connect(const std::string& target) {
    if (!vci_.load()) {
        error_ = "cannot load VCI.dll";
        return false;
    }
    vci_.VCIEnvCreate(&env_, VCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    auto allocate = [&](auto** handle, uint32_t type) {
        vci_.VCIHandleAlloc(env_, reinterpret_cast<void**>(handle), type, 0, nullptr);
    };
    allocate(&err_, VCI_HTYPE_ERROR);
    allocate(&server_, VCI_HTYPE_SERVER);
    allocate(&svc_, VCI_HTYPE_SVCCTX);
    allocate(&session_, VCI_HTYPE_SESSION);
    attached_ = ok(
        vci_.VCIServerAttach(server_, err_, target.c_str(), int32_t(target.size()), VCI_DEFAULT));
    if (!attached_) return false;
    vci_.VCIAttrSet(svc_, VCI_HTYPE_SVCCTX, server_, 0, VCI_ATTR_SERVER, err_);
    begun_ = ok(vci_.VCISessionBegin(svc_, err_, session_, VCI_CRED_EXT, VCI_SYSDBA));
    if (begun_) vci_.VCIAttrSet(svc_, VCI_HTYPE_SVCCTX, session_, 0, VCI_ATTR_SESSION, err_);
    return begun_;
}

VCIStmt* ToolSession::prepare(const std::string& text) {
    VCIStmt* stmt = nullptr;
    vci_.VCIHandleAlloc(env_, reinterpret_cast<void**>(&stmt), VCI_HTYPE_STMT, 0, nullptr);
    vci_.VCIStmtPrepare(stmt, err_, text.c_str(), uint32_t(text.size()), VCI_NTV_SYNTAX,
                        VCI_DEFAULT);
    return stmt;
}

bool ToolSession::run(const std::string& statement,
                      const std::map<std::string, std::string>& inputs,
                      std::map<std::string, std::string>* outputs, size_t outputSize) {
    Statement stmt(prepare(statement), StatementDeleter{&vci_});
    // Every bind needs a buffer that lives until the statement has run.
    std::vector<std::string> inputValues;
    inputValues.reserve(inputs.size());
    for (const auto& [name, value] : inputs) {
        inputValues.push_back(value);
        std::string& buffer = inputValues.back();
        if (!ok(vci_.VCIBindByName(stmt.get(), nullptr, err_, name.c_str(), int32_t(name.size()),
                                   buffer.data(), int32_t(buffer.size() + 1), SQLT_STR, nullptr,
                                   nullptr, nullptr, 0, nullptr, VCI_DEFAULT)))
            return false;
    }
    std::map<std::string, std::vector<char>> outputBuffers;
    std::map<std::string, int16_t> indicators;
    if (outputs) {
        for (auto& [name, value] : *outputs) {
            auto& buffer = outputBuffers[name];
            buffer.assign(outputSize + 1, '\0');
            if (!ok(vci_.VCIBindByName(stmt.get(), nullptr, err_, name.c_str(),
                                       int32_t(name.size()), buffer.data(), int32_t(buffer.size()),
                                       SQLT_STR, &indicators[name], nullptr, nullptr, 0, nullptr,
                                       VCI_DEFAULT)))
                return false;
        }
    }
    if (!ok(vci_.VCIStmtExecute(svc_, stmt.get(), err_, 1, 0, nullptr, nullptr, VCI_DEFAULT)))
        return false;
    if (outputs) {
        for (auto& [name, value] : *outputs)
            value =
                indicators[name] == -1 ? std::string() : std::string(outputBuffers[name].data());
    }
    return true;
}

std::optional<std::vector<std::vector<std::string>>> ToolSession::rows(const std::string& query,
                                                                       size_t columns) {
    Statement stmt(prepare(query), StatementDeleter{&vci_});
    std::vector<std::vector<char>> values(columns, std::vector<char>(kColumnSize));
    std::vector<int16_t> indicators(columns);
    for (size_t i = 0; i < columns; ++i)
        vci_.VCIDefineByPos(stmt.get(), nullptr, err_, uint32_t(i + 1), values[i].data(),
                            int32_t(kColumnSize), SQLT_STR, &indicators[i], nullptr, nullptr,
                            VCI_DEFAULT);
    if (!ok(vci_.VCIStmtExecute(svc_, stmt.get(), err_, 0, 0, nullptr, nullptr, VCI_DEFAULT)))
        return std::nullopt;
    std::vector<std::vector<std::string>> result;
    for (;;) {
        int32_t rc = vci_.VCIStmtFetch(stmt.get(), err_, 1, VCI_FETCH_NEXT, VCI_DEFAULT);
        if (rc == VCI_NO_DATA) return result;
        if (!ok(rc)) return std::nullopt;
        auto& row = result.emplace_back();
        for (size_t i = 0; i < columns; ++i)
            row.push_back(indicators[i] == -1 ? std::string() : std::string(values[i].data()));
    }
}

bool ToolSession::ok(int32_t rc) {
    if (rc == VCI_SUCCESS) return true;
    char text[1025] = {};
    int32_t number = 0;
    if (vci_.VCIErrorGet(err_, 1, nullptr, &number, text, sizeof text, VCI_HTYPE_ERROR) ==
        VCI_SUCCESS) {
        error_ = text;
        errorNumber_ = number;
    } else {
        error_ = "VCI return code " + std::to_string(rc);
        errorNumber_ = 0;
    }
    while (!error_.empty() && (error_.back() == '\n' || error_.back() == '\r')) error_.pop_back();
    return false;
}

}  // namespace vorlix::bakx
