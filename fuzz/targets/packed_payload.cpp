// A file carried in restore metadata comes back whole: packed block by block
// behind an archived log's header, found by the restore side's tokens and
// decoded piece by piece, it is the same bytes. Packing takes exactly its
// base64 length and an ending zero unit, and a capacity short of that is
// refused with nothing written for the block that does not fit.

#include <algorithm>
#include <string>

#include "fuzz/fuzz_input.h"
#include "snapscribe/backup/metadata_text.h"
#include "snapscribe/host/base64_codec.h"
#include "snapscribe/host/packed_payload.h"
#include "snapscribe/restore/metadata_tokens.h"

namespace {

using namespace snapscribe;

constexpr std::size_t kUnit = sizeof(wchar_t);

struct Packing {
    std::vector<char> bytes;
    std::size_t characters = 0;
    std::size_t blocks = 0;  // added
    bool fitted = true;
};

// Packs `file` in blocks of `blockBytes` into exactly `capacity` bytes.
Packing pack(const std::vector<std::uint8_t>& file, std::size_t blockBytes, std::size_t capacity) {
    Packing packing;
    packing.bytes.assign(capacity, '#');
    PayloadPacker packer(packing.bytes.data(), capacity);
    std::size_t offset = 0;
    do {
        const std::size_t size = std::min(blockBytes, file.size() - offset);
        const std::vector<char> before = packing.bytes;
        if (!packer.add(file.data() + offset, size)) {
            fuzzing::require(packing.bytes == before, "a block that does not fit writes nothing");
            packing.fitted = false;
            break;
        }
        offset += size;
        ++packing.blocks;
    } while (offset < file.size());
    packing.characters = packer.characters();
    return packing;
}

void checkEnding(const Packing& packing) {
    const auto ending = packing.bytes.begin() + static_cast<std::ptrdiff_t>(packing.characters);
    const auto unitEnd = packing.bytes.begin() +
                         static_cast<std::ptrdiff_t>((packedUnits(packing.characters) + 1) * kUnit);
    fuzzing::require(std::all_of(ending, unitEnd, [](char c) { return c == 0; }),
                     "the characters are ended by a zero unit");
}

std::vector<std::uint8_t> unpack(const std::wstring& text, std::size_t pieceChars) {
    std::vector<std::uint8_t> file;
    for (const MetadataToken& token : restoreMetadataTokens(text.c_str())) {
        if (token.key != MetadataKey::Data) continue;
        base64::decodePieces(token.payload, token.payloadBytes, pieceChars,
                             [&](const std::uint8_t* data, std::size_t size) {
                                 file.insert(file.end(), data, data + size);
                                 return true;
                             });
        break;
    }
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const std::size_t blockBytes = (1 + input.number<std::uint8_t>() % 32) * 3;
    const std::size_t pieceChars = (1 + input.number<std::uint8_t>() % 32) * 4;
    const std::size_t shortBy = input.number<std::uint8_t>() % 8;
    std::wstring name = input.line();
    std::erase_if(name, [](wchar_t c) { return c == L';' || c == L'\0'; });
    const std::vector<std::uint8_t> file = input.restAsBytes();

    const std::size_t characters = base64::encodedLength(file.size());
    const std::size_t need = (packedUnits(characters) + 1) * kUnit;
    const Packing packing = pack(file, blockBytes, need - std::min(shortBy, need));
    fuzzing::require(packing.fitted == (shortBy == 0), "exactly the needed capacity fits");
    if (packing.blocks > 0) checkEnding(packing);
    if (!packing.fitted) return 0;
    fuzzing::require(packing.characters == characters, "the payload is the file's base64");

    std::wstring units(packedUnits(characters), L'\0');
    std::copy_n(packing.bytes.data(), units.size() * kUnit, reinterpret_cast<char*>(units.data()));
    fuzzing::require(units.find_first_of(std::wstring(L";\0", 2)) == std::wstring::npos,
                     "no packed unit ends or splits the text");
    const std::wstring text =
        archivedLogHeader(name, L"1", L"2") + units + archivedLogHeader(L"NEXT.ARC", L"2", L"3");
    fuzzing::require(unpack(text, pieceChars) == file, "the file comes back whole");
    return 0;
}
