#include "sim/vss/model/component_index.h"

namespace vsssim {

void ComponentIndex::indexFrom(const std::vector<ComponentInfo>& components, std::size_t first) {
    for (std::size_t i = first; i < components.size(); ++i)
        positions_.emplace(keyOf(components[i].logicalPath, components[i].name), i);
    indexed_ = components.size();
}

ComponentInfo* ComponentIndex::find(std::vector<ComponentInfo>& components, const Text& logicalPath,
                                    const Text& name) {
    if (components.size() < indexed_) {  // not the list indexed: start again
        positions_.clear();
        indexed_ = 0;
    }
    indexFrom(components, indexed_);
    auto found = positions_.find(keyOf(logicalPath, name));
    if (found == positions_.end()) return nullptr;
    ComponentInfo& info = components[found->second];
    return info.logicalPath == logicalPath && info.name == name ? &info : nullptr;
}

}  // namespace vsssim
