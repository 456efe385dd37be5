#include "sim/vorlix/vci/handles.h"

namespace vci {

std::unique_ptr<Handle> allocateHandle(Env* env, uint32_t type) {
    switch (type) {
        case VCI_HTYPE_ERROR: return std::make_unique<Error>();
        case VCI_HTYPE_SVCCTX: return std::make_unique<SvcCtx>();
        case VCI_HTYPE_STMT: return std::make_unique<Stmt>(env);
        case VCI_HTYPE_SERVER: return std::make_unique<Server>();
        case VCI_HTYPE_SESSION: return std::make_unique<Session>();
        case VCI_HTYPE_ADMIN: return std::make_unique<Admin>();
        default: return nullptr;
    }
}

}  // namespace vci
