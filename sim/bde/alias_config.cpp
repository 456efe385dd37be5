#include "sim/bde/alias_config.h"

#include <algorithm>
#include <cctype>

namespace dbengine {
namespace {

constexpr std::string_view kDriverKey = "DRIVER";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::pair<std::string, std::string> splitEntry(std::string_view entry) {
    const std::size_t equals = entry.find('=');
    return {std::string(trimmed(entry.substr(0, equals))), std::string(entry.substr(equals + 1))};
}

void checkHasDriver(const std::vector<Alias>& aliases) {
    if (!aliases.empty() && aliases.back().driver.empty()) {
        throw ConfigError("alias " + aliases.back().name + " names no DRIVER");
    }
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
        if (line.front() == '[' && line.back() == ']' && line.size() > 2) {
            checkHasDriver(aliases);
            aliases.push_back({std::string(line.substr(1, line.size() - 2)), "", {}});
        } else if (line.find('=') != std::string_view::npos && !aliases.empty()) {
            auto [name, value] = splitEntry(line);
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

Parameters parseParameterList(const std::vector<std::string>& entries) {
    Parameters parameters;
    for (const std::string& entry : entries) {
        if (entry.find('=') == std::string::npos) {
            throw ConfigError("parameter '" + entry + "' is not NAME=VALUE");
        }
        parameters.push_back(splitEntry(entry));
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

}  // namespace dbengine
