// The tokens of restore metadata: any text gives tokens that are whole
// fields of it after their key, with payloads inside it; the headers the
// backup writes give back their name and change numbers; and a change
// number reads as exactly the decimal number it writes.

#include <algorithm>
#include <limits>

#include "fuzz/fuzz_input.h"
#include "snapscribe/backup/metadata_text.h"
#include "snapscribe/restore/metadata_tokens.h"

namespace {

using namespace snapscribe;

const wchar_t* keyText(MetadataKey key) {
    switch (key) {
        case MetadataKey::FileName: return L"FILENAME=";
        case MetadataKey::FirstChange: return L"FIRST_SCN=";
        case MetadataKey::NextChange: return L"NEXT_SCN=";
        case MetadataKey::Data: return L"DATA=";
    }
    return L"";
}

// A value as the database gives it: no separator, no end of text.
std::wstring value(fuzzing::FuzzInput& input) {
    std::wstring text = input.line();
    std::erase_if(text, [](wchar_t c) { return c == L';' || c == L'\0'; });
    return text;
}

// The text as the writer's platform hands it over: up to its first zero unit.
void checkAnyText(const std::wstring& handed) {
    const std::wstring text(handed.c_str());
    const std::wstring fields = L';' + text + L';';
    const char* begin = reinterpret_cast<const char*>(text.data());
    const char* end = begin + text.size() * sizeof(wchar_t);
    for (const MetadataToken& token : restoreMetadataTokens(text.c_str())) {
        if (token.key != MetadataKey::Data) {
            fuzzing::require(
                fields.find(L';' + (keyText(token.key) + token.value) + L';') != std::wstring::npos,
                "a token is a whole field, its key and its value");
            continue;
        }
        fuzzing::require(token.payload >= begin && token.payload + token.payloadBytes <= end &&
                             token.payloadBytes % sizeof(wchar_t) == 0,
                         "a payload is whole units inside the text");
        const wchar_t* after = reinterpret_cast<const wchar_t*>(token.payload + token.payloadBytes);
        fuzzing::require(*after == L';' || *after == L'\0', "a payload runs to the field's end");
    }
}

void checkHeaderReadsBack(const std::wstring& name, const std::wstring& first,
                          const std::wstring& next, const std::wstring& payload) {
    const std::wstring text = archivedLogHeader(name, first, next) + payload;
    const auto tokens = restoreMetadataTokens(text.c_str());
    fuzzing::require(tokens.size() == 4 && tokens[0].key == MetadataKey::FileName &&
                         tokens[1].key == MetadataKey::FirstChange &&
                         tokens[2].key == MetadataKey::NextChange &&
                         tokens[3].key == MetadataKey::Data,
                     "a header gives its four tokens in order");
    fuzzing::require(tokens[0].value == name && tokens[1].value == first && tokens[2].value == next,
                     "a header's name and change numbers read back");
    fuzzing::require(tokens[3].payloadBytes == payload.size() * sizeof(wchar_t),
                     "the payload is every unit after the header");
}

// Leading zeros aside, digits that fit in 64 bits are the number they write.
void checkChangeNumber(const std::wstring& text) {
    const auto number = changeNumber(text);
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) {
        return c >= L'0' && c <= L'9';
    });
    if (!digits) {
        fuzzing::require(!number, "only digits are a change number");
        return;
    }
    std::wstring significant = text.substr(std::min(text.find_first_not_of(L'0'), text.size()));
    if (significant.empty()) significant = L"0";
    const std::wstring largest = std::to_wstring(std::numeric_limits<std::uint64_t>::max());
    const bool fits = significant.size() < largest.size() ||
                      (significant.size() == largest.size() && significant <= largest);
    fuzzing::require(number.has_value() == fits, "digits are refused only beyond 64 bits");
    if (number) {
        fuzzing::require(std::to_wstring(*number) == significant, "the digits read as written");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const auto number = input.number<std::uint64_t>();
    fuzzing::require(changeNumber(std::to_wstring(number)) == number, "a change number reads back");
    const std::wstring name = value(input);
    const std::wstring first = value(input);
    const std::wstring next = value(input);
    checkChangeNumber(first);
    checkChangeNumber(next);
    const std::wstring rest = input.restAsWide();
    std::wstring payload = rest;
    std::erase_if(payload, [](wchar_t c) { return c == L';' || c == L'\0'; });
    checkHeaderReadsBack(name, first, next, payload);
    checkAnyText(rest);
    return 0;
}
