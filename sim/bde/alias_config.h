#pragma once
// The engine's configuration file and its parameter lists. The file holds one
// section per persistent alias, its driver and the alias's parameters as
// NAME=VALUE lines; names and values are kept as the engine received them
// (OEM code page). Pure text work: no Windows header.

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace idapi {

class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Parameters = std::vector<std::pair<std::string, std::string>>;

struct Alias {
    std::string name;
    std::string driver;
    Parameters parameters;
};

// Throws ConfigError naming the line that is neither a section, a NAME=VALUE
// line inside one, a comment (";") nor blank, or a section without DRIVER.
std::vector<Alias> parseConfig(std::string_view text);
std::string formatConfig(const std::vector<Alias>& aliases);

// DbiAddAlias's list: "NAME: value;NAME: value", a value in double quotes
// when it holds a semicolon. Blanks around names and values do not count.
// Throws ConfigError for an entry without ':'.
Parameters parseAliasParameters(std::string_view list);

// The value of `name` (names compare without case), or empty.
std::string parameter(const Parameters& parameters, std::string_view name);

// `overrides` take the place of same-named entries of `base`; new ones follow.
Parameters merged(const Parameters& base, const Parameters& overrides);

bool equalNoCase(std::string_view a, std::string_view b);

}  // namespace idapi
