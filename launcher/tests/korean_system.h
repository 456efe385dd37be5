#pragma once
// Tests that need a Korean system (ANSI and OEM code page 949). CTest runs
// them under a Korean locale with EXPECTED_CODE_PAGE=949, so there a locale
// that did not take fails the test instead of skipping it.

#include <windows.h>

#include <gtest/gtest.h>

namespace launcher::testing {

inline void requireKoreanCodePages() {
    wchar_t expected[16] = L"";
    if (GetEnvironmentVariableW(L"EXPECTED_CODE_PAGE", expected, 16) > 0) {
        ASSERT_EQ(GetACP(), static_cast<UINT>(_wtoi(expected)));
        ASSERT_EQ(GetOEMCP(), static_cast<UINT>(_wtoi(expected)));
    }
    if (GetACP() != 949 || GetOEMCP() != 949) GTEST_SKIP() << "needs code page 949";
}

}  // namespace launcher::testing
