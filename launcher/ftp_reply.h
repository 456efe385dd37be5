#pragma once
// Replies of an FTP server read as text. Pure text work: no Windows header.

#include <cstdint>
#include <optional>
#include <string_view>

namespace launcher {

// The byte count of a reply to SIZE ("213 48213"), or nothing when the reply
// is any other (a refusal, a multi-line or malformed answer).
std::optional<std::uint64_t> sizeFromReply(std::wstring_view reply);

}  // namespace launcher
