#include "sim/bde/vendor_connection.h"

#include <cstdio>

#include "sim/bde/engine_error.h"

namespace idapi {
namespace {

constexpr char kGeneralContext[] = "General SQL error.";
// Width of a number column read as text.
constexpr uint16_t kNumberWidth = 40;
constexpr uint16_t kTextType = 1;

// A query's rows, fetched one by one into one text buffer per column.
class QueryCursor : public Cursor {
public:
    QueryCursor(const VendorConnection& connection, VCIStmt* statement,
                const std::vector<Column>& columns)
        : Cursor(columns), connection_(connection), statement_(statement) {
        // The client library keeps the addresses of the buffers defined here.
        values_.reserve(columns.size());
        indicators_.reserve(columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i) define(i, columns[i].width);
    }

    void execute() {
        connection_.check(
            connection_.vci().VCIStmtExecute(connection_.context(), statement_, connection_.error(),
                                             0, 0, nullptr, nullptr, VCI_DEFAULT),
            kGeneralContext);
    }

    ~QueryCursor() override { connection_.vci().VCIHandleFree(statement_, VCI_HTYPE_STMT); }

protected:
    std::optional<Row> fetch() override {
        const int32_t status = connection_.vci().VCIStmtFetch(statement_, connection_.error(), 1,
                                                              VCI_FETCH_NEXT, VCI_DEFAULT);
        if (status == VCI_NO_DATA) return std::nullopt;
        connection_.check(status, "Cannot read the next row");
        Row row;
        for (std::size_t i = 0; i < values_.size(); ++i) {
            if (indicators_[i] == -1) {
                row.emplace_back(std::nullopt);
            } else {
                row.emplace_back(std::string(values_[i].data()));
            }
        }
        return row;
    }

private:
    void define(std::size_t index, uint16_t width) {
        values_.emplace_back(width + 1u, '\0');
        indicators_.push_back(0);
        VCIDefine* definition = nullptr;
        connection_.check(connection_.vci().VCIDefineByPos(
                              statement_, &definition, connection_.error(),
                              static_cast<uint32_t>(index + 1), values_.back().data(), width + 1,
                              SQLT_STR, &indicators_.back(), nullptr, nullptr, VCI_DEFAULT),
                          kGeneralContext);
    }

    const VendorConnection& connection_;
    VCIStmt* statement_;
    std::vector<std::vector<char>> values_;
    std::vector<int16_t> indicators_;
};

Column describeColumn(const VendorConnection& connection, VCIStmt* statement, uint32_t position) {
    const vorlix::VciLibrary& vci = connection.vci();
    void* parameter = nullptr;
    connection.check(
        vci.VCIParamGet(statement, VCI_HTYPE_STMT, connection.error(), &parameter, position),
        kGeneralContext);
    char* name = nullptr;
    uint32_t length = 0;
    uint16_t type = 0;
    uint16_t size = 0;
    int32_t status = vci.VCIAttrGet(parameter, VCI_DTYPE_PARAM, &name, &length, VCI_ATTR_NAME,
                                    connection.error());
    Column column{name ? std::string(name, length) : std::string(), kNumberWidth, true};
    if (status == VCI_SUCCESS) {
        status = vci.VCIAttrGet(parameter, VCI_DTYPE_PARAM, &type, nullptr, VCI_ATTR_DATA_TYPE,
                                connection.error());
    }
    if (status == VCI_SUCCESS) {
        status = vci.VCIAttrGet(parameter, VCI_DTYPE_PARAM, &size, nullptr, VCI_ATTR_DATA_SIZE,
                                connection.error());
    }
    vci.VCIDescriptorFree(parameter, VCI_DTYPE_PARAM);
    connection.check(status, kGeneralContext);
    if (type == kTextType) column.width = size;
    return column;
}

}  // namespace

VendorConnection::VendorConnection(std::unique_ptr<vorlix::VciLibrary> vci,
                                   const std::string& alias, const Parameters& parameters,
                                   const std::string& password)
    : vci_(std::move(vci)) {
    if (vci_->VCIEnvCreate(&environment_, VCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0,
                           nullptr) != VCI_SUCCESS) {
        throw EngineError(DBIERR_UNKNOWNSQL, {"The vendor client library cannot start"});
    }
    allocate(reinterpret_cast<void**>(&error_), VCI_HTYPE_ERROR);
    allocate(reinterpret_cast<void**>(&server_), VCI_HTYPE_SERVER);
    allocate(reinterpret_cast<void**>(&context_), VCI_HTYPE_SVCCTX);
    allocate(reinterpret_cast<void**>(&session_), VCI_HTYPE_SESSION);
    const std::string context = "Unable to connect to database " + alias;
    const std::string server = parameter(parameters, "SERVER NAME");
    check(vci_->VCIServerAttach(server_, error_, server.c_str(),
                                static_cast<int32_t>(server.size()), VCI_DEFAULT),
          context);
    attached_ = true;
    check(vci_->VCIAttrSet(context_, VCI_HTYPE_SVCCTX, server_, 0, VCI_ATTR_SERVER, error_),
          context);
    setText(session_, VCI_HTYPE_SESSION, parameter(parameters, "USER NAME"), VCI_ATTR_USERNAME);
    setText(session_, VCI_HTYPE_SESSION, password, VCI_ATTR_PASSWORD);
    check(vci_->VCISessionBegin(context_, error_, session_, VCI_CRED_RDBMS, VCI_DEFAULT), context);
    begun_ = true;
    check(vci_->VCIAttrSet(context_, VCI_HTYPE_SVCCTX, session_, 0, VCI_ATTR_SESSION, error_),
          context);
}

VendorConnection::~VendorConnection() {
    if (begun_) vci_->VCISessionEnd(context_, error_, session_, VCI_DEFAULT);
    if (attached_) vci_->VCIServerDetach(server_, error_, VCI_DEFAULT);
    if (session_) vci_->VCIHandleFree(session_, VCI_HTYPE_SESSION);
    if (context_) vci_->VCIHandleFree(context_, VCI_HTYPE_SVCCTX);
    if (server_) vci_->VCIHandleFree(server_, VCI_HTYPE_SERVER);
    if (error_) vci_->VCIHandleFree(error_, VCI_HTYPE_ERROR);
    if (environment_) vci_->VCIHandleFree(environment_, VCI_HTYPE_ENV);
}

void VendorConnection::check(int32_t status, const std::string& context) const {
    if (status == VCI_SUCCESS || status == VCI_SUCCESS_WITH_INFO) return;
    char text[1025] = "";
    int32_t code = 0;
    if (status != VCI_ERROR || !error_ ||
        vci_->VCIErrorGet(error_, 1, nullptr, &code, text, sizeof text, VCI_HTYPE_ERROR) !=
            VCI_SUCCESS) {
        std::snprintf(text, sizeof text, "vendor call failed with status %d",
                      static_cast<int>(status));
    }
    std::string vendorText(text);
    while (!vendorText.empty() && (vendorText.back() == '\n' || vendorText.back() == '\r')) {
        vendorText.pop_back();
    }
    throw EngineError(DBIERR_UNKNOWNSQL, {context, vendorText});
}

void VendorConnection::allocate(void** handle, uint32_t type) const {
    check(vci_->VCIHandleAlloc(environment_, handle, type, 0, nullptr),
          "Cannot allocate a vendor handle");
}

void VendorConnection::setText(void* handle, uint32_t type, const std::string& text,
                               uint32_t attribute) const {
    check(vci_->VCIAttrSet(handle, type, const_cast<char*>(text.data()),
                           static_cast<uint32_t>(text.size()), attribute, error_),
          "Cannot set a connection parameter");
}

std::unique_ptr<Cursor> VendorConnection::query(const std::string& sql) {
    VCIStmt* statement = nullptr;
    allocate(reinterpret_cast<void**>(&statement), VCI_HTYPE_STMT);
    try {
        check(vci_->VCIStmtPrepare(statement, error_, sql.c_str(),
                                   static_cast<uint32_t>(sql.size()), VCI_NTV_SYNTAX, VCI_DEFAULT),
              kGeneralContext);
        uint16_t type = 0;
        check(
            vci_->VCIAttrGet(statement, VCI_HTYPE_STMT, &type, nullptr, VCI_ATTR_STMT_TYPE, error_),
            kGeneralContext);
        if (type != VCI_STMT_SELECT) {
            throw EngineError(DBIERR_NOTSUPPORTED, {"Only queries can be run here"});
        }
        check(vci_->VCIStmtExecute(context_, statement, error_, 0, 0, nullptr, nullptr,
                                   VCI_DESCRIBE_ONLY),
              kGeneralContext);
        uint32_t count = 0;
        check(vci_->VCIAttrGet(statement, VCI_HTYPE_STMT, &count, nullptr, VCI_ATTR_PARAM_COUNT,
                               error_),
              kGeneralContext);
        std::vector<Column> columns;
        for (uint32_t position = 1; position <= count; ++position) {
            columns.push_back(describeColumn(*this, statement, position));
        }
        auto cursor = std::make_unique<QueryCursor>(*this, statement, columns);
        statement = nullptr;  // the cursor owns it now
        cursor->execute();
        return cursor;
    } catch (...) {
        if (statement) vci_->VCIHandleFree(statement, VCI_HTYPE_STMT);
        throw;
    }
}

}  // namespace idapi
