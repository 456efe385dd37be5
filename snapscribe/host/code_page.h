#pragma once
// Conversions between the system code page and wide text for callers that
// must not raise a writer failure (the trace, the failure report itself, and
// work outside writer events).

#include <optional>
#include <string>
#include <string_view>

namespace snapscribe {

// Nothing when `text` holds a byte sequence the code page does not define.
std::optional<std::wstring> strictWide(std::string_view text);

// Undefined sequences become the code page's replacement character.
std::wstring lenientWide(std::string_view text);

// Characters without a counterpart become the default character.
std::string systemNarrow(std::wstring_view text);

}  // namespace snapscribe
