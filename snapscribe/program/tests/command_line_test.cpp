#include "snapscribe/program/command_line.h"

#include <gtest/gtest.h>

#include "snapscribe/host/writer_settings.h"

namespace snapscribe {
namespace {

InstanceOptions read(const Words& words, bool developer = false, RunSettings current = {}) {
    current.hangMillis = current.hangMillis == 0 ? 120000 : current.hangMillis;
    return readInstanceOptions(words, 1, developer, current);
}

using Told = std::vector<std::pair<NoteKind, std::wstring>>;

Told notes(const InstanceOptions& options) {
    Told told;
    for (const Note& note : options.notes) told.emplace_back(note.kind, note.text);
    return told;
}

TEST(LeadingWords, HostMustComeBeforeExepath) {
    LeadingWords both = readLeadingWords({L"/HOST", L"m1", L"/exepath", L"C:\\p.exe", L"DB1"});
    EXPECT_EQ(both.machine, L"m1");
    EXPECT_EQ(both.programPath, L"C:\\p.exe");
    EXPECT_EQ(both.next, 4u);

    LeadingWords reversed = readLeadingWords({L"/exepath", L"C:\\p.exe", L"/host", L"m1"});
    EXPECT_EQ(reversed.machine, L"");
    EXPECT_EQ(reversed.programPath, L"C:\\p.exe");
    EXPECT_EQ(reversed.next, 2u) << "a later /host is an instance name, not a machine";

    EXPECT_EQ(readLeadingWords({L"/host"}).next, 0u) << "a pair needs its value";
}

TEST(Query, TheSecondWordChoosesTheActionAndAnythingElseLists) {
    EXPECT_EQ(readQuery({L"/Q"}, 0), ServiceQuery::List);
    EXPECT_EQ(readQuery({L"/q", L"/STATUS"}, 0), ServiceQuery::Status);
    EXPECT_EQ(readQuery({L"/q", L"/start"}, 0), ServiceQuery::Start);
    EXPECT_EQ(readQuery({L"/q", L"/stop"}, 0), ServiceQuery::Stop);
    EXPECT_EQ(readQuery({L"/q", L"/stopp"}, 0), ServiceQuery::List);
    EXPECT_FALSE(readQuery({L"DB1", L"/q"}, 0).has_value());
    EXPECT_FALSE(readQuery({}, 0).has_value());
}

TEST(InstanceOptions, InstallTakesAccountAndPasswordOrAsksForThePassword) {
    InstanceOptions plain = read({L"DB1", L"/I"});
    EXPECT_EQ(plain.action, InstanceAction::Install);
    EXPECT_FALSE(plain.passwordFromInput);

    InstanceOptions full = read({L"DB1", L"/i", L"/USER:dom\\ora", L"/Password:s e"});
    EXPECT_EQ(full.account, L"dom\\ora");
    EXPECT_EQ(full.password, L"s e");
    EXPECT_FALSE(full.passwordFromInput);
    EXPECT_EQ(notes(full), (Told{{NoteKind::ServiceAccount, L"dom\\ora"}}));

    InstanceOptions asks = read({L"DB1", L"/i", L"/user:ora", L"/tl"});
    EXPECT_EQ(asks.account, L"ora");
    EXPECT_TRUE(asks.passwordFromInput);
    EXPECT_TRUE(asks.notes.empty()) << "words after the install request are not read";
}

TEST(InstanceOptions, OptionsBeforeInstallStillApply) {
    InstanceOptions options = read({L"DB1", L"/tl", L"5", L"/i"});
    EXPECT_EQ(options.action, InstanceAction::Install);
    EXPECT_TRUE(options.traceLevelGiven);
    EXPECT_EQ(options.settings.traceLevel, 5u);
    EXPECT_EQ(read({L"DB1", L"/x", L"/d", L"/y"}).action, InstanceAction::Remove);
}

TEST(InstanceOptions, TraceSettingsTellTheValuesTheyReplace) {
    RunSettings stored;
    stored.traceLevel = 9;
    stored.traceFile = L"C:\\old.trc";
    InstanceOptions options = read(
        {L"DB1", L"/tl", L"0", L"/tl", L"x", L"/tf", L"", L"/tf", L"C:\\new.trc"}, false, stored);
    ASSERT_EQ(options.notes.size(), 2u);
    EXPECT_EQ(options.notes[0].kind, NoteKind::CurrentTraceLevel);
    EXPECT_EQ(options.notes[0].number, 9);
    EXPECT_EQ(notes(options)[1], (Told::value_type{NoteKind::CurrentTraceFile, L"C:\\old.trc"}))
        << "the empty name in between tells nothing";
    EXPECT_EQ(options.settings.traceLevel, 0u) << "a word that is no number leaves the level";
    EXPECT_EQ(options.settings.traceFile, L"C:\\new.trc");

    stored.traceLevel = kTraceLevelAll;
    EXPECT_TRUE(read({L"DB1", L"/tl", L"3"}, false, stored).notes.empty());
}

TEST(InstanceOptions, UnknownWordsAndOptionsWithoutValuesAreIgnored) {
    EXPECT_EQ(notes(read({L"DB1", L"/tl"})), (Told{{NoteKind::IgnoredArgument, L"/tl"}}));
    EXPECT_EQ(notes(read({L"DB1", L"/fp", L"x"})),
              (Told{{NoteKind::IgnoredArgument, L"/fp"}, {NoteKind::IgnoredArgument, L"x"}}));
    EXPECT_EQ(notes(read({L"DB1", L"/h", L"5", L"/fp"}, true)),
              (Told{{NoteKind::IgnoredArgument, L"/fp"}}));
    EXPECT_EQ(read({L"DB1", L"/h", L"5"}).settings.hangEnabled, false);
}

TEST(InstanceOptions, DeveloperModeTakesStallAndFailPhase) {
    InstanceOptions options = read({L"DB1", L"/h", L"5", L"/fp", L"Freeze"}, true);
    EXPECT_TRUE(options.settings.hangEnabled);
    EXPECT_EQ(options.settings.hangMillis, 5000u);
    EXPECT_EQ(options.settings.failPhase, PhaseFreeze);

    RunSettings current;
    current.failPhase = PhaseThaw;
    InstanceOptions unknown =
        read({L"DB1", L"/fp", L"q", L"/fp", L"", L"/h", L"soon"}, true, current);
    EXPECT_EQ(notes(unknown),
              (Told{{NoteKind::IgnoredParameter, L"q"}, {NoteKind::IgnoredParameter, L""}}));
    EXPECT_EQ(unknown.settings.failPhase, PhaseThaw);
    EXPECT_EQ(unknown.settings.hangMillis, 120000u * 1000u)
        << "a stall that is no number keeps the default before the multiplication";
}

}  // namespace
}  // namespace snapscribe
