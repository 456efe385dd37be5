#include "support/unique_handle.h"

#include <gtest/gtest.h>

namespace {

// Counts closes so moves and resets can be checked for exactly-once closing.
struct CountingTraits {
    using Handle = int;
    static inline int closes = 0;
    static inline int lastClosed = 0;
    static Handle invalid() noexcept { return 0; }
    static bool isValid(Handle h) noexcept { return h != 0; }
    static void close(Handle h) noexcept {
        ++closes;
        lastClosed = h;
        SetLastError(ERROR_ACCESS_DENIED);  // a close that disturbs the last error
    }
};
using Counted = support::UniqueHandle<CountingTraits>;

class UniqueHandleTest : public ::testing::Test {
protected:
    void SetUp() override { CountingTraits::closes = 0; }
};

TEST_F(UniqueHandleTest, ClosesOnceThroughMovesAndReleases) {
    {
        Counted a(7);
        Counted b(std::move(a));
        Counted c;
        c = std::move(b);
        EXPECT_FALSE(a.valid());
        EXPECT_FALSE(b.valid());
        EXPECT_EQ(c.get(), 7);
    }
    EXPECT_EQ(CountingTraits::closes, 1);

    Counted d(9);
    EXPECT_EQ(d.release(), 9);
    d.reset();
    EXPECT_EQ(CountingTraits::closes, 1);
}

TEST_F(UniqueHandleTest, AssignmentAndReceiveCloseWhatWasHeld) {
    Counted a(1);
    a = Counted(2);
    EXPECT_EQ(CountingTraits::closes, 1);
    EXPECT_EQ(CountingTraits::lastClosed, 1);
    *a.receive() = 3;
    EXPECT_EQ(CountingTraits::closes, 2);
    EXPECT_EQ(CountingTraits::lastClosed, 2);
    EXPECT_EQ(a.get(), 3);
}

TEST_F(UniqueHandleTest, ClosingKeepsTheLastError) {
    Counted a(5);
    SetLastError(ERROR_FILE_NOT_FOUND);
    a.reset();
    EXPECT_EQ(CountingTraits::closes, 1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(KernelHandle, ClosesTheRealObjectAndTreatsBothInvalidValuesAsNone) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    HANDLE duplicate = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), raw, GetCurrentProcess(), &duplicate, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    { support::KernelHandle owner(raw); }
    // The owner's handle is gone; the duplicate keeps the event alive.
    EXPECT_FALSE(SetEvent(raw));
    EXPECT_TRUE(SetEvent(duplicate));
    CloseHandle(duplicate);

    EXPECT_FALSE(support::KernelHandle(INVALID_HANDLE_VALUE).valid());
    EXPECT_FALSE(support::KernelHandle(nullptr).valid());
}

TEST(KernelHandle, ClosingKeepsTheLastError) {
    support::KernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SetLastError(ERROR_PATH_NOT_FOUND);
    event.reset();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(RegistryKey, ClosesTheKey) {
    support::RegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.receive()),
              ERROR_SUCCESS);
    HKEY raw = key.get();
    key.reset();
    DWORD count = 0;
    EXPECT_NE(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
}

TEST(ServiceHandle, ClosesTheManagerHandle) {
    support::ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager.valid());
    SC_HANDLE raw = manager.get();
    manager.reset();
    EXPECT_FALSE(CloseServiceHandle(raw));
}

TEST(FindHandle, InvalidValueIsNoneAndSearchIsClosed) {
    WIN32_FIND_DATAW data;
    support::FindHandle none(FindFirstFileW(L"C:\\no-such-dir-xyz\\*", &data));
    EXPECT_FALSE(none.valid());

    support::FindHandle search(FindFirstFileW(L"C:\\windows\\*", &data));
    ASSERT_TRUE(search.valid());
    HANDLE raw = search.get();
    search.reset();
    EXPECT_FALSE(FindNextFileW(raw, &data));
}

}  // namespace
