// Replies to SIZE: a count the reader accepts reads back as the same digits,
// and every count written by a server is read exactly.

#include <string>

#include "fuzz/fuzz_input.h"
#include "launcher/ftp_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const auto count = input.number<std::uint64_t>();
    fuzzing::require(launcher::sizeFromReply(L"213 " + std::to_wstring(count) + L"\r\n") == count,
                     "a SIZE reply gives its count");
    const std::wstring reply = input.restAsWide();
    if (const std::optional<std::uint64_t> size = launcher::sizeFromReply(reply)) {
        std::wstring digits = reply.substr(4);
        while (digits.ends_with(L'\n') || digits.ends_with(L'\r')) digits.pop_back();
        const std::size_t significant = digits.find_first_not_of(L'0');
        const std::wstring expected =
            significant == std::wstring::npos ? L"0" : digits.substr(significant);
        fuzzing::require(std::to_wstring(*size) == expected, "an accepted count keeps its digits");
    }
    return 0;
}
