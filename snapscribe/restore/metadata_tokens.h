#pragma once
// The tokens of a component's restore metadata as the backup left them:
// ";FILENAME=<name>;FIRST_SCN=<n>;NEXT_SCN=<n>;DATA=<packed base64>" for
// each archived log, or "RESTORABLE=TRUE". Pure text work: no Windows
// header, so it can be tested on its own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snapscribe {

enum class MetadataKey { FileName, FirstChange, NextChange, Data };

struct MetadataToken {
    MetadataKey key;
    // The text after the key, up to the next ";" (FILENAME, FIRST_SCN,
    // NEXT_SCN); for DATA the payload stays in place, see below.
    std::wstring value;
    // DATA only: the payload's base64 characters, two per unit with the
    // first in the low byte, so read byte by byte they are plain text.
    const char* payload = nullptr;
    std::size_t payloadBytes = 0;
};

// Splits at ";" (a run counts as one) and keeps the tokens that begin with
// a known key, in order; others ("RESTORABLE=TRUE" among them) are dropped.
// DATA tokens point into `text`, which must outlive them.
std::vector<MetadataToken> restoreMetadataTokens(const wchar_t* text);

// A change number written as unsigned decimal digits. Change numbers run
// past 32 bits, so they are kept in 64; anything else (empty, a sign, a
// stray character, more than 64 bits) is not a change number.
std::optional<std::uint64_t> changeNumber(const std::wstring& text);

}  // namespace snapscribe
