#include "sim/vlxrt/trace_text.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace vlxsim {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string withLineBreak(std::string line) {
    while (!line.empty() && line.back() == '\n') line.pop_back();
    line += '\n';
    return line;
}

}  // namespace

std::string formatText(const char* format, va_list arguments) {
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

std::string classicLine(std::string_view traceName, std::string_view message) {
    return withLineBreak(std::string(traceName) + ": " + std::string(message));
}

std::string diagnosticLine(std::uint32_t level, std::uint64_t mask, std::string_view traceName,
                           std::string_view message) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "diag level=%u mask=0x%016llx ",
                  static_cast<unsigned>(level), static_cast<unsigned long long>(mask));
    return withLineBreak(prefix + classicLine(traceName, message));
}

std::string hexDumpHeader(std::string_view title, std::uint32_t length) {
    return std::string(title) + " (" + std::to_string(length) + " bytes)";
}

std::string hexDumpRow(const std::uint8_t* data, std::uint32_t offset, std::uint32_t count) {
    char text[16 + 16 * 3];
    int used = std::snprintf(text, sizeof text, "%08x ", static_cast<unsigned>(offset));
    for (std::uint32_t i = 0; i < count; ++i) {
        used += std::snprintf(text + used, sizeof text - used, " %02x", data[i]);
    }
    return std::string(text, static_cast<std::size_t>(used));
}

std::optional<std::string> parameterValue(std::string_view fileText, std::string_view name,
                                          int occurrence) {
    int seen = 0;
    while (!fileText.empty()) {
        const std::size_t end = fileText.find('\n');
        std::string_view line = fileText.substr(0, end);
        fileText = end == std::string_view::npos ? std::string_view() : fileText.substr(end + 1);
        line = line.substr(0, line.find('#'));
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (!sameName(trimmed(line.substr(0, equals)), name)) continue;
        if (++seen == occurrence) return std::string(trimmed(line.substr(equals + 1)));
    }
    return std::nullopt;
}

}  // namespace vlxsim
