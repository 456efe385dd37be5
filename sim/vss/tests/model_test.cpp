// The text form of documents and the path rules the requester applies.

#include <gtest/gtest.h>

#include "sim/vss/model/component_index.h"
#include "sim/vss/model/paths.h"
#include "sim/vss/model/wire.h"

using namespace vsssim;

namespace {

TEST(RecordText, EveryUnitSurvivesEscaping) {
    Text all;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) all += static_cast<char16_t>(unit);
    std::string escaped = escapeUnits(all);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(unescapeUnits(escaped), all);
}

TEST(RecordText, BlanksAtTheEdgesAndBackslashesAreEscaped) {
    EXPECT_EQ(escapeUnits(u" a b "), "\\u0020a b\\u0020");
    EXPECT_EQ(escapeUnits(u"C:\\x"), "C:\\\\x");
    EXPECT_EQ(unescapeUnits("C:\\\\x\\u00e9"), u"C:\\x\u00e9");
}

TEST(RecordText, MalformedTextIsRefused) {
    EXPECT_THROW(unescapeUnits("\\u12"), FormatError);
    EXPECT_THROW(unescapeUnits("\\x0041"), FormatError);
    EXPECT_THROW(unescapeUnits("\\uZZZZ"), FormatError);
    EXPECT_THROW(readRecord("begin a\n  key v\n"), FormatError);
    EXPECT_THROW(readRecord("key v\n"), FormatError);
    EXPECT_THROW(readRecord("begin a\nend\nbegin b\nend\n"), FormatError);
    Record numeric = readRecord("begin a\n  n 12x\nend\n");
    EXPECT_THROW(numeric.number("n"), FormatError);
}

TEST(RecordText, MostlyWideValuesTravelAsBase64OfTheirUnits) {
    for (std::size_t length : {1u, 2u, 3u, 4u, 1000u}) {
        Text packed;
        for (std::size_t i = 0; i < length; ++i) packed += static_cast<char16_t>(0x5759 + i);
        Record record{"r", {{"data", packed}, {"plain", u"ASCII text"}}, {}};
        std::string text = writeRecord(record);
        EXPECT_NE(text.find("data:units "), std::string::npos) << length;
        EXPECT_NE(text.find("plain ASCII text"), std::string::npos);
        Record back = readRecord(text);
        EXPECT_EQ(back.text("data"), packed) << length;
        EXPECT_EQ(back.text("plain"), u"ASCII text");
    }
    // "abc" packed two characters to a unit, as restore metadata carries Base64.
    EXPECT_EQ(readRecord("begin r\n  d:units WVdKag==\nend\n").text("d"), u"\x5759\x6A4A");
    EXPECT_THROW(readRecord("begin r\n  d:units WVd\nend\n"), FormatError);
    EXPECT_THROW(readRecord("begin r\n  d:units WV=K\nend\n"), FormatError);
    EXPECT_THROW(readRecord("begin r\n  d:units WQ==\nend\n"), FormatError);
}

// Large values are encoded a slice at a time, and a frame's length is
// counted before it is written: both must agree with the whole text.
TEST(RecordText, LargeValuesStreamAcrossSlicesAndCountExactly) {
    for (std::size_t length : {150000u, 150001u, 150002u}) {
        Text wide, blanks(length, u'x');
        for (std::size_t i = 0; i < length; ++i) wide += static_cast<char16_t>(0x4100 + i * 7);
        blanks.front() = blanks.back() = blanks[length / 2] = u' ';
        Record record{"r", {{"wide", wide}, {"blanks", blanks}}, {}};
        CountingSink counter;
        RecordWriter counting(counter);
        writeRecord(record, counting);
        const std::string text = writeRecord(record);
        EXPECT_EQ(counter.bytes(), text.size()) << length;
        Record back = readRecord(text);
        EXPECT_EQ(back.text("wide"), wide) << length;
        EXPECT_EQ(back.text("blanks"), blanks) << length;
        EXPECT_EQ(text.find("\\u0020", text.find("\\u0020") + 1), text.rfind("\\u0020"));
    }
}

TEST(RecordText, NestedRecordsKeepOrderAndEmptyValues) {
    Record root{"root", {}, {}};
    root.set("empty", u"");
    root.set("repeated", u"one");
    root.set("repeated", u"two");
    root.children.push_back({"child", {{"k", u"v"}}, {}});
    Record back = readRecord(writeRecord(root));
    ASSERT_EQ(back.fields.size(), 3u);
    EXPECT_EQ(back.fields[0], (std::pair<std::string, Text>("empty", u"")));
    EXPECT_EQ(back.fields[2].second, u"two");
    ASSERT_EQ(back.childrenTagged("child").size(), 1u);
    EXPECT_EQ(back.childrenTagged("child")[0]->text("k"), u"v");
}

TEST(Documents, BackupDocumentRoundTripKeepsAbsentApartFromEmpty) {
    BackupDocument document;
    document.backupType = kIncremental;
    document.selectComponents = true;
    document.snapshotSetId = u"{00000000-0000-0000-0000-000000000001}";
    document.volumes = {u"C:\\"};
    WriterSection section;
    section.metadata.writerId = u"{W}";
    section.metadata.instanceName = u"ORCL";
    section.metadata.freezeTimeoutMs = 60000;
    ComponentInfo info;
    info.name = u"Data";
    info.databaseFiles.push_back({u"C:\\db", u"*.dbf", false, u"", 0xF01});
    section.metadata.components.push_back(info);
    ComponentState state;
    state.logicalPath = u"ORCL";
    state.name = u"Data";
    state.backupMetadata = u"";
    state.restoreMetadata = Text(u";FILENAME=x;DATA=\xD800\x0001 ");
    state.differencedFiles.push_back({u"C:\\a", u"*", true, u"", 0x01D9ABCDEF012345ull});
    state.subcomponents.push_back({u"ORCL\\Data", u"Sub", true});
    state.files.push_back({u"ORCL", u"Data", u"C:\\db\\a.dbf", u"files\\C\\db\\a.dbf"});
    section.components.push_back(state);
    document.writers.push_back(section);

    BackupDocument back = backupDocumentFrom(readRecord(textOf(document)));
    ASSERT_EQ(back.writers.size(), 1u);
    const ComponentState& component = back.writers[0].components.at(0);
    EXPECT_EQ(back.backupType, kIncremental);
    EXPECT_EQ(back.volumes, document.volumes);
    EXPECT_EQ(back.writers[0].metadata.components.at(0).databaseFiles.at(0).typeMask, 0xF01u);
    EXPECT_EQ(component.backupMetadata, OptionalText(u""));
    EXPECT_FALSE(component.backupStamp.has_value());
    EXPECT_EQ(component.restoreMetadata, state.restoreMetadata);
    EXPECT_EQ(component.differencedFiles.at(0).lastModifyTime, 0x01D9ABCDEF012345ull);
    EXPECT_TRUE(component.subcomponents.at(0).repair);
    EXPECT_EQ(component.files.at(0).stored, u"files\\C\\db\\a.dbf");
}

// A document with every field of every kind set, each text to a value of its
// own ("v1", "v2", ...), each number to a number of its own, every flag on.
class EveryField {
public:
    Text text() { return u"v" + Text(fromAscii(std::to_string(++count_))); }
    std::uint32_t number() { return 1000 + ++count_; }
    FileSpec fileSpec() { return {text(), text(), true, text(), number()}; }
    int count() const { return count_; }

private:
    int count_ = 0;
};

BackupDocument documentWithEveryField(EveryField& v) {
    ComponentInfo info{v.number(),     v.text(),       v.text(),      v.text(), v.number(),
                       true,           true,           true,          true,     v.number(),
                       {v.fileSpec()}, {v.fileSpec()}, {v.fileSpec()}};
    WriterMetadata metadata{v.text(),
                            v.text(),
                            v.text(),
                            v.number(),
                            v.number(),
                            v.number(),
                            v.number(),
                            v.number(),
                            {v.number(), v.text(), v.text(), v.number(), true, true},
                            {v.fileSpec()},
                            {v.fileSpec()},
                            {v.fileSpec()},
                            {info},
                            {{v.text(), v.text(), v.text(), v.text(), v.text()}}};
    ComponentState state;
    state.logicalPath = v.text();
    state.name = v.text();
    state.type = v.number();
    for (OptionalText* optional :
         {&state.backupOptions, &state.restoreOptions, &state.backupMetadata,
          &state.restoreMetadata, &state.backupStamp, &state.previousBackupStamp,
          &state.preRestoreFailureMsg, &state.postRestoreFailureMsg})
        *optional = v.text();
    state.backupSucceeded = state.selectedForRestore = state.additionalRestores = true;
    state.restoreTarget = v.number();
    state.newTargets = {v.fileSpec()};
    state.alternateMappings = {v.fileSpec()};
    state.subcomponents = {{v.text(), v.text(), true}};
    state.differencedFiles = {{v.text(), v.text(), true, v.text(), 0x01D9ABCDEF012345ull}};
    state.partialFiles = {{v.text(), v.text(), v.text(), v.text()}};
    state.directedTargets = {{v.text(), v.text(), v.text(), v.text(), v.text(), v.text()}};
    state.files = {{v.text(), v.text(), v.text(), v.text()}};
    const StoredFile volumeFile{v.text(), v.text(), v.text(), v.text()};
    return {kDifferential, false, v.text(), {v.text()}, {{metadata, {state}, {volumeFile}}}};
}

TEST(Documents, EveryFieldOfEveryKindIsWrittenAndReadBack) {
    EveryField values;
    const std::string text = textOf(documentWithEveryField(values));
    // Value n is the text "vn" or the number 1000 + n.
    for (int n = 1; n <= values.count(); ++n) {
        const bool written = text.find(" v" + std::to_string(n) + "\n") != std::string::npos ||
                             text.find(" " + std::to_string(1000 + n) + "\n") != std::string::npos;
        EXPECT_TRUE(written) << "value " << n << " is missing";
    }
    EXPECT_EQ(textOf(backupDocumentFrom(readRecord(text))), text);
}

TEST(Wire, RequestAndAnswerCarryTheEventAndItsResult) {
    EventRequest request;
    request.event = Event::PostSnapshot;
    request.backupType = kDifferential;
    request.selectComponents = false;
    request.volumes = {u"D:\\", u"E:\\data"};
    EventRequest backRequest = readRequest(writeRequest(request));
    EXPECT_EQ(backRequest.event, Event::PostSnapshot);
    EXPECT_EQ(backRequest.backupType, kDifferential);
    EXPECT_FALSE(backRequest.selectComponents);
    EXPECT_EQ(backRequest.volumes, request.volumes);

    EventAnswer answer;
    answer.writerFailure = 0x800423F4;
    answer.exceptionCode = 0x4FFF0007;
    answer.metadata = WriterMetadata();
    answer.metadata->backupSchema = 0x17B;
    EventAnswer backAnswer = readAnswer(writeAnswer(answer));
    EXPECT_FALSE(backAnswer.succeeded);
    EXPECT_EQ(backAnswer.writerFailure, 0x800423F4u);
    EXPECT_EQ(backAnswer.exceptionCode, 0x4FFF0007u);
    ASSERT_TRUE(backAnswer.metadata.has_value());
    EXPECT_EQ(backAnswer.metadata->backupSchema, 0x17Bu);
    EXPECT_THROW(readAnswer(writeRequest(request)), FormatError);
}

TEST(Wire, EventNamesReadBackWithoutCase) {
    EXPECT_EQ(eventFromName("freeze"), Event::Freeze);
    EXPECT_EQ(eventFromName("POSTRESTORE"), Event::PostRestore);
    EXPECT_FALSE(eventFromName("Snapshot").has_value());
    EXPECT_EQ(backupTypeFromName("differential"), kDifferential);
    EXPECT_EQ(backupTypeFromName("weekly"), kUndefined);
    EXPECT_EQ(backupTypeName(9), "UNDEFINED");
}

TEST(Paths, FilespecsMatchWithWildcardsAndWithoutCase) {
    EXPECT_TRUE(matchesFilespec(u"SYSTEM01.DBF", u"*.dbf"));
    EXPECT_TRUE(matchesFilespec(u"noext", u"*.*"));
    EXPECT_TRUE(matchesFilespec(u"a1.log", u"a?.log"));
    EXPECT_FALSE(matchesFilespec(u"a12.log", u"a?.log"));
    EXPECT_FALSE(matchesFilespec(u"x.dbf.bak", u"*.dbf"));
    EXPECT_TRUE(matchesFilespec(u"x.dbf", u"X.DBF"));
}

TEST(Paths, DirectoriesAreCoveredExactlyOrBelowWhenRecursive) {
    EXPECT_TRUE(isPathUnder(u"C:\\data\\sub", u"c:\\DATA\\"));
    EXPECT_FALSE(isPathUnder(u"C:\\database", u"C:\\data"));
    EXPECT_TRUE(isNamedBy(u"C:\\data\\a.dbf", u"C:\\data\\", u"*.dbf", false));
    EXPECT_FALSE(isNamedBy(u"C:\\data\\sub\\a.dbf", u"C:\\data", u"*.dbf", false));
    EXPECT_TRUE(isNamedBy(u"C:\\data\\sub\\a.dbf", u"C:\\data", u"*.dbf", true));
}

TEST(Paths, SelectingAComponentTakesTheComponentsBelowIt) {
    EXPECT_TRUE(isComponentAtOrBelow(u"ORCL", u"DB", u"ORCL\\DB"));
    EXPECT_TRUE(isComponentAtOrBelow(u"ORCL\\DB", u"Control file", u"ORCL\\DB"));
    EXPECT_TRUE(isComponentAtOrBelow(u"ORCL\\DB\\All", u"USERS", u"ORCL\\DB"));
    EXPECT_FALSE(isComponentAtOrBelow(u"ORCL\\DB2", u"x", u"ORCL\\DB"));
    EXPECT_FALSE(isComponentAtOrBelow(u"ORCL", u"DB2", u"ORCL\\DB"));
    EXPECT_FALSE(isComponentAtOrBelow(u"ORCL", u"Other", u"ORCL\\DB"));
    EXPECT_TRUE(isComponentAtOrBelow(u"", u"Top", u"Top"));
}

TEST(Paths, BackupTypesTakeTheFilesTheirMaskBitsName) {
    EXPECT_TRUE(isRequiredFor(0xF01, kFull));
    EXPECT_TRUE(isRequiredFor(0xF01, kCopy));
    EXPECT_FALSE(isRequiredFor(0xF01, kIncremental));
    EXPECT_TRUE(isRequiredFor(0xF0E, kLog));
    EXPECT_FALSE(isRequiredFor(0xF06, kLog));
    EXPECT_TRUE(isRequiredFor(0xF06, kDifferential));
    EXPECT_EQ(storedPathFor(u"C:\\db/a.dbf"), u"files\\C\\db\\a.dbf");
}

TEST(ComponentIndex, FindsByPathAndNameAcrossAppendsAndANewList) {
    std::vector<ComponentInfo> components(2);
    components[0].logicalPath = u"DB\\A";
    components[0].name = u"F1";
    components[1].logicalPath = u"DB\\B";
    components[1].name = u"F1";
    ComponentIndex index;
    EXPECT_EQ(index.find(components, u"DB\\B", u"F1"), &components[1]);
    EXPECT_EQ(index.find(components, u"DB", u"F1"), nullptr);
    components.push_back(components[0]);
    components.back().name = u"F2";
    EXPECT_EQ(index.find(components, u"DB\\A", u"F2"), &components[2]);
    std::vector<ComponentInfo> other(1, components[2]);
    EXPECT_EQ(index.find(other, u"DB\\A", u"F2"), &other[0]);
    EXPECT_EQ(index.find(other, u"DB\\B", u"F1"), nullptr);
}

}  // namespace
