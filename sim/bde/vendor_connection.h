#pragma once
// The VORLIX driver's side of a database: a session through the vendor client
// library its driver settings name, and queries whose columns come back as
// text. Vendor failures become EngineError(DBIERR_UNKNOWNSQL) with the
// engine's context and the vendor's own text.

#include <memory>
#include <string>
#include <vector>

#include "sim/bde/alias_config.h"
#include "sim/bde/cursors.h"
#include "interfaces/vorlix/vci_library.h"

namespace idapi {

class VendorConnection {
public:
    // `parameters` name the server (SERVER NAME) and user (USER NAME).
    VendorConnection(std::unique_ptr<vorlix::VciLibrary> vci, const std::string& alias,
                     const Parameters& parameters, const std::string& password);
    ~VendorConnection();
    VendorConnection(const VendorConnection&) = delete;
    VendorConnection& operator=(const VendorConnection&) = delete;

    // Runs a query; throws EngineError(DBIERR_NOTSUPPORTED) for other statements.
    std::unique_ptr<Cursor> query(const std::string& sql);

    // Throws the engine's error for a vendor status other than success.
    void check(int32_t status, const std::string& context) const;

    const vorlix::VciLibrary& vci() const { return *vci_; }
    VCIError* error() const { return error_; }
    VCISvcCtx* context() const { return context_; }
    void allocate(void** handle, uint32_t type) const;

private:
    void setText(void* handle, uint32_t type, const std::string& text, uint32_t attribute) const;

    std::unique_ptr<vorlix::VciLibrary> vci_;
    VCIEnv* environment_ = nullptr;
    VCIError* error_ = nullptr;
    VCIServer* server_ = nullptr;
    VCISvcCtx* context_ = nullptr;
    VCISession* session_ = nullptr;
    bool attached_ = false;
    bool begun_ = false;
};

}  // namespace idapi
