#pragma once
// Texts of the host run-time stand-ins, kept apart from the platform: the
// lines the trace writers put in the trace file, and the parameter file.

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vlxsim {

// printf-style formatting into a string.
std::string formatText(const char* format, va_list arguments);

// "NAME: message", ending with exactly one line break.
std::string classicLine(std::string_view traceName, std::string_view message);

// "diag level=N mask=0xHHHHHHHHLLLLLLLL NAME: message", ending with one line break.
std::string diagnosticLine(std::uint32_t level, std::uint64_t mask, std::string_view traceName,
                           std::string_view message);

// "TITLE (N bytes)" and then 16 bytes per line as offset and hex pairs, each
// line given to `line` for the writer's prefix.
template <typename LineWriter>
void hexDump(std::string_view title, const std::uint8_t* data, std::uint32_t length,
             LineWriter&& line);

// The value of the `occurrence`-th (from 1) setting `name` in a parameter file
// of "name = value" lines; names match without case, "#" starts a comment.
std::optional<std::string> parameterValue(std::string_view fileText, std::string_view name,
                                          int occurrence);

std::string hexDumpHeader(std::string_view title, std::uint32_t length);
std::string hexDumpRow(const std::uint8_t* data, std::uint32_t offset, std::uint32_t count);

template <typename LineWriter>
void hexDump(std::string_view title, const std::uint8_t* data, std::uint32_t length,
             LineWriter&& line) {
    line(hexDumpHeader(title, length));
    for (std::uint32_t offset = 0; offset < length; offset += 16) {
        const std::uint32_t count = length - offset < 16 ? length - offset : 16;
        line(hexDumpRow(data + offset, offset, count));
    }
}

}  // namespace vlxsim
