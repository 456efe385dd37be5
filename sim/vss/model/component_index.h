#pragma once
// Components of writer metadata found by logical path and name at a constant
// cost: a writer adds thousands of them, each file added names its component.

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "sim/vss/model/documents.h"

namespace vsssim {

class ComponentIndex {
public:
    // The component of that logical path and name in `components`, or null.
    // Components appended since the last call are indexed first.
    ComponentInfo* find(std::vector<ComponentInfo>& components, const Text& logicalPath,
                        const Text& name);

private:
    static Text keyOf(const Text& logicalPath, const Text& name) {
        return logicalPath + u'\0' + name;  // no name holds a null unit
    }
    void indexFrom(const std::vector<ComponentInfo>& components, std::size_t first);

    std::unordered_map<Text, std::size_t> positions_;
    std::size_t indexed_ = 0;
};

}  // namespace vsssim
