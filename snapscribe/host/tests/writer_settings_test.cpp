#include "snapscribe/host/writer_settings.h"

#include <gtest/gtest.h>

namespace snapscribe {
namespace {

TEST(WriterSettings, DefaultsLeaveEveryDeveloperOptionOff) {
    WriterSettings settings;
    EXPECT_EQ(settings.HangMillis, 120000u);
    EXPECT_FALSE(settings.HangEnabled);
    EXPECT_EQ(settings.FailPhase, PhaseNone);
    EXPECT_TRUE(settings.Running.load());
    EXPECT_EQ(settings.TraceLevel, 0u);
    EXPECT_TRUE(settings.Sid.empty());
    EXPECT_TRUE(settings.SidNarrow.empty());
}

TEST(WriterSettings, TheProcessHasOneRecord) { EXPECT_EQ(&writerSettings(), &writerSettings()); }

TEST(PhaseLetters, EveryLetterNamesItsPhaseInEitherCase) {
    const wchar_t letters[] = L"ybsftnaczro";
    for (int phase = PhaseIdentify; phase <= PhasePostRestore; ++phase) {
        const wchar_t lower = letters[phase - 1];
        EXPECT_EQ(phaseFromLetter(lower), phase) << static_cast<char>(lower);
        EXPECT_EQ(phaseFromLetter(static_cast<wchar_t>(lower - L'a' + L'A')), phase);
    }
}

TEST(PhaseLetters, OtherLettersNameNoPhase) {
    for (wchar_t c : {L'x', L'q', L'e', L'1', L' ', L'\0'}) {
        EXPECT_EQ(phaseFromLetter(c), PhaseNone) << static_cast<int>(c);
    }
}

}  // namespace
}  // namespace snapscribe
