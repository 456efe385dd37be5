#include "vci_api.h"

namespace snapscribe {

const vorlix::VciLibrary* loadVci() {
    // Never unloaded: records released while the process ends still call it.
    static vorlix::VciLibrary* const library = [] {
        auto* loading = new vorlix::VciLibrary;
        if (loading->load()) return loading;
        delete loading;
        return static_cast<vorlix::VciLibrary*>(nullptr);
    }();
    return library;
}

const vorlix::VciLibrary& vci() { return *loadVci(); }

}  // namespace snapscribe
