#pragma once
// The files make_profiles.sh leaves in the fixture folder, as tests see them.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fixtures {

inline std::string path(const std::string& name) { return std::string(KMP_FIXTURES) + name; }

inline std::vector<std::uint8_t> bytes(const std::string& name) {
    std::ifstream file(path(name), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

constexpr char kPassword[] = "profile-pass";

}  // namespace fixtures
