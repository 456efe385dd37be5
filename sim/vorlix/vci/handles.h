#pragma once
// The objects behind VCI handles. Every handle starts with a tag and its type
// so a wrong or freed pointer is answered with VCI_INVALID_HANDLE.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/vorlix/engine/db_error.h"
#include "sim/vorlix/engine/executor.h"
#include "interfaces/vorlix/vci.h"
#include "sim/vorlix/instance/instance_store.h"

namespace vci {

constexpr uint32_t kLiveTag = 0x564C5848;  // "VLXH"
constexpr uint32_t kFreedTag = 0xDEADBEEF;

struct Handle {
    explicit Handle(uint32_t handleType) : type(handleType) {}
    virtual ~Handle() { tag = kFreedTag; }
    uint32_t tag = kLiveTag;
    uint32_t type;
};

struct Callback {
    VCIUserCallback function = nullptr;
    void* context = nullptr;
};

struct Env : Handle {
    Env() : Handle(VCI_HTYPE_ENV) {}
    std::map<uint32_t, Callback> afterCall;  // by function code
};

struct Error : Handle {
    Error() : Handle(VCI_HTYPE_ERROR) {}
    std::optional<vorlix::DbError> last;
};

struct Server : Handle {
    Server() : Handle(VCI_HTYPE_SERVER) {}
    std::optional<vorlix::InstanceStore> store;
};

struct Session : Handle {
    Session() : Handle(VCI_HTYPE_SESSION) {}
    std::string user;
    std::string password;
    bool begun = false;
    bool sysdba = false;
    bool preliminary = false;
    int startupCount = 0;  // of the instance when the session began
    vorlix::SessionData data;
};

struct Admin : Handle {
    Admin() : Handle(VCI_HTYPE_ADMIN) {}
    std::string parameterFile;
};

struct SvcCtx : Handle {
    SvcCtx() : Handle(VCI_HTYPE_SVCCTX) {}
    Server* server = nullptr;
    Session* session = nullptr;
};

// Where a bind's or define's value lives in the caller's memory.
struct Target {
    void* value = nullptr;
    int32_t size = 0;
    uint16_t type = 0;
    void* indicator = nullptr;
    uint16_t* length = nullptr;
    uint16_t* returnCode = nullptr;
};

struct Bind : Handle {
    Bind() : Handle(VCI_HTYPE_BIND) {}
    std::string name;  // upper case without ':'; empty for a bind by position
    uint32_t position = 0;
    Target target;
};

struct Define : Handle {
    Define() : Handle(VCI_HTYPE_DEFINE) {}
    uint32_t position = 0;
    Target target;
};

struct Param : Handle {
    Param() : Handle(VCI_DTYPE_PARAM) {}
    const std::string* name = nullptr;  // owned by the statement
    uint16_t dataType = 0;
    uint16_t dataSize = 0;
};

struct Stmt : Handle {
    explicit Stmt(Env* owner) : Handle(VCI_HTYPE_STMT), env(owner) {}
    Env* env;
    std::string text;
    bool prepared = false;
    uint16_t statementType = 0;
    std::vector<std::unique_ptr<Bind>> binds;
    std::vector<std::unique_ptr<Define>> defines;
    bool executed = false;
    bool closeRefused = false;  // an injected failure armed for freeing this handle
    vorlix::QueryResult result;
    size_t nextRow = 0;
    // Column names handed out by the describe stay valid until the next prepare.
    std::vector<std::unique_ptr<std::string>> describedNames;
};

// The live handle of that type behind a caller's pointer, or null.
template <typename T>
T* as(const void* pointer, uint32_t type) {
    auto* handle = static_cast<const Handle*>(pointer);
    if (!handle || handle->tag != kLiveTag || handle->type != type) return nullptr;
    return const_cast<T*>(static_cast<const T*>(handle));
}

std::unique_ptr<Handle> allocateHandle(Env* env, uint32_t type);

}  // namespace vci
