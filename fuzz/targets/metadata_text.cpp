// A component's backup metadata read back at restore: what the writer
// composed carries what it asked of the database and gives back its identity,
// control file and directories, and the backup stamp it writes reads back to
// the same file time. Any other text reads without fault.

#include <algorithm>

#include "fuzz/fuzz_input.h"
#include "snapscribe/backup/component_text.h"
#include "snapscribe/backup/metadata_text.h"
#include "snapscribe/backup/option_text.h"

namespace {

using namespace snapscribe;

// Values come from the database and name files: they hold no separator.
std::wstring value(fuzzing::FuzzInput& input) {
    std::wstring text = input.line();
    std::erase(text, L';');
    return text;
}

MetadataFacts factsFrom(fuzzing::FuzzInput& input) {
    MetadataFacts facts;
    facts.kind = input.number<std::uint8_t>() % 11;
    facts.backupType = input.number<std::uint8_t>() % 8;
    facts.dbid = input.number<std::uint32_t>();
    facts.tsNum = static_cast<std::int32_t>(input.number<std::uint32_t>());
    facts.fuzzyCount = input.number<std::uint8_t>();
    facts.mediaRecovery = input.flag();
    facts.checkpoint = value(input);
    facts.snapshotControlFile = value(input);
    facts.dbName = value(input);
    for (std::uint8_t count = input.number<std::uint8_t>() % 4; count > 0; --count) {
        facts.directories.push_back(value(input));
    }
    return facts;
}

// What composing asks of the database is what the text carries.
void checkNeeds(const MetadataFacts& facts, const std::wstring& text) {
    const MetadataNeeds needs = metadataNeeds(facts.kind, facts.backupType, facts.mediaRecovery);
    const std::vector<std::wstring_view> fields = splitFields(text);
    const auto carries = [&fields](std::wstring_view key) {
        return std::ranges::any_of(fields,
                                   [key](std::wstring_view f) { return f.starts_with(key); });
    };
    fuzzing::require(
        carries(L"CHECKPOINT=") == needs.checkpoint &&
            carries(L"CFFILE=") == needs.snapshotControlFile &&
            carries(L"DB_NAME=") == needs.dbName &&
            carries(L"DIRECTORY=") == (needs.directories && !facts.directories.empty()),
        "the text carries what composing asks of the database");
}

void checkRoundTrip(const MetadataFacts& facts) {
    const std::optional<std::wstring> text = composeMetadataText(facts);
    fuzzing::require(text.has_value() == (facts.kind >= 1 && facts.kind <= 9),
                     "metadata is composed for every known kind");
    if (!text) return;
    checkNeeds(facts, *text);
    const ParsedMetadata parsed = parseMetadataText(*text);
    fuzzing::require(!parsed.dbid || *parsed.dbid == facts.dbid, "the database id reads back");
    fuzzing::require(parsed.nonFullBackup == isLogTypeBackup(facts.backupType),
                     "the backup type reads back");
    if (isLogTypeBackup(facts.backupType)) return;
    const bool carriesFiles = facts.kind == 4 || (facts.kind == 6 && facts.mediaRecovery);
    if (carriesFiles) {
        fuzzing::require(parsed.directories == facts.directories, "the directories read back");
    }
    if (facts.mediaRecovery && (facts.kind == 3 || facts.kind == 6)) {
        fuzzing::require(parsed.cfFile == facts.snapshotControlFile,
                         "the snapshot control file reads back");
    }
    if (facts.kind == 6) {
        fuzzing::require(parsed.noRecover.has_value() == (facts.fuzzyCount == 0),
                         "a consistent backup says it needs no recovery");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::FuzzInput input(data, size);
    const auto fileTime = input.number<std::uint64_t>();
    fuzzing::require(parseBackupStamp(backupStampText(fileTime)) == fileTime,
                     "a backup stamp reads back");
    const bool composed = input.flag();
    if (composed) {
        checkRoundTrip(factsFrom(input));
    } else {
        const ParsedMetadata parsed = parseMetadataText(input.restAsWide());
        fuzzing::require(parsed.traceLines.size() <= parsed.fieldCount,
                         "at most one trace line per field");
    }
    return 0;
}
