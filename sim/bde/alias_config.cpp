#include "sim/bde/alias_config.h"

#include <algorithm>
#include <cctype>

namespace idapi {
namespace {

constexpr std::string_view kDriverKey = "DRIVER";
constexpr std::string_view kBlanks = " \t\r";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::pair<std::string, std::string> splitAt(std::string_view entry, std::size_t separator) {
    return {std::string(trimmed(entry.substr(0, separator))),
            std::string(entry.substr(separator + 1))};
}

void checkHasDriver(const std::vector<Alias>& aliases) {
    if (!aliases.empty() && aliases.back().driver.empty()) {
        throw ConfigError("alias " + aliases.back().name + " names no DRIVER");
    }
}

// One entry of an alias list, up to the next semicolon outside quotes.
std::string_view nextEntry(std::string_view& list) {
    bool quoted = false;
    std::size_t end = 0;
    while (end < list.size() && (quoted || list[end] != ';')) {
        if (list[end] == '"') quoted = !quoted;
        ++end;
    }
    const std::string_view entry = list.substr(0, end);
    list.remove_prefix(std::min(end + 1, list.size()));
    return entry;
}

std::string unquoted(std::string_view value) {
    value = trimmed(value);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

}  // namespace

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::vector<Alias> parseConfig(std::string_view text) {
    std::vector<Alias> aliases;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == ';') continue;
        const std::size_t equals = line.find('=');
        if (line.front() == '[' && line.back() == ']' && line.size() > 2) {
            checkHasDriver(aliases);
            aliases.push_back({std::string(line.substr(1, line.size() - 2)), "", {}});
        } else if (equals != std::string_view::npos && !aliases.empty()) {
            auto [name, value] = splitAt(line, equals);
            if (equalNoCase(name, kDriverKey)) {
                aliases.back().driver = value;
            } else {
                aliases.back().parameters.emplace_back(std::move(name), std::move(value));
            }
        } else {
            throw ConfigError("line " + std::to_string(lineNumber) +
                              " is not understood: " + std::string(line));
        }
    }
    checkHasDriver(aliases);
    return aliases;
}

std::string formatConfig(const std::vector<Alias>& aliases) {
    std::string text = "; database engine aliases\r\n";
    for (const Alias& alias : aliases) {
        text +=
            "\r\n[" + alias.name + "]\r\n" + std::string(kDriverKey) + "=" + alias.driver + "\r\n";
        for (const auto& [name, value] : alias.parameters) text += name + "=" + value + "\r\n";
    }
    return text;
}

Parameters parseAliasParameters(std::string_view list) {
    Parameters parameters;
    while (!trimmed(list).empty()) {
        const std::string_view entry = nextEntry(list);
        if (trimmed(entry).empty()) continue;
        const std::size_t colon = entry.find(':');
        if (colon == std::string_view::npos) {
            throw ConfigError("parameter '" + std::string(trimmed(entry)) + "' is not NAME: value");
        }
        auto [name, value] = splitAt(entry, colon);
        parameters.emplace_back(std::move(name), unquoted(value));
    }
    return parameters;
}

std::string parameter(const Parameters& parameters, std::string_view name) {
    for (const auto& [key, value] : parameters) {
        if (equalNoCase(key, name)) return value;
    }
    return "";
}

Parameters merged(const Parameters& base, const Parameters& overrides) {
    Parameters result = base;
    for (const auto& entry : overrides) {
        auto same = std::find_if(result.begin(), result.end(), [&](const auto& existing) {
            return equalNoCase(existing.first, entry.first);
        });
        if (same != result.end()) {
            same->second = entry.second;
        } else {
            result.push_back(entry);
        }
    }
    return result;
}

}  // namespace idapi
