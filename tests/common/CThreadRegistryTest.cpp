// Small wrappers of platform handles: a worker thread that runs only once resumed and is always
// waited for, and a registry key whose reads are bounded.
#include "common/CRegistry.h"
#include "common/CThread.h"

#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

std::atomic<int> g_runs{0};

DWORD CountRun(LPVOID argument) {
    Sleep(20);
    ++g_runs;
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(argument));
}

TEST(CThreadTest, RunsOnlyWhenResumedAndIsAlwaysWaitedFor) {
    vanto_test::TempPrefix prefix;
    g_runs = 0;
    {
        CThread thread;
        ASSERT_TRUE(thread.Create(&CountRun, reinterpret_cast<LPVOID>(uintptr_t{42})));
        Sleep(50);
        EXPECT_EQ(g_runs.load(), 0) << "created suspended";
        DWORD code = 0;
        ASSERT_TRUE(thread.GetExitCode(&code));
        EXPECT_EQ(code, STILL_ACTIVE);
        ASSERT_TRUE(thread.Resume());
        EXPECT_FALSE(thread.Resume()) << "resumed once";
        ASSERT_TRUE(thread.Wait(10000));
        ASSERT_TRUE(thread.GetExitCode(&code));
        EXPECT_EQ(code, 42u);

        // A second start waits for the first thread; a thread never resumed still ends.
        ASSERT_TRUE(thread.Create(&CountRun, nullptr));
        ASSERT_TRUE(thread.Resume());
        ASSERT_TRUE(thread.Create(&CountRun, nullptr));
        EXPECT_EQ(g_runs.load(), 2);
    }
    EXPECT_EQ(g_runs.load(), 3) << "the destructor ran and waited for the suspended thread";
}

TEST(CRegistryTest, ValueLargerThanTheBufferIsRefusedWhole) {
    vanto_test::TempPrefix prefix;
    CRegistry key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KELDA\\TEST", KEY_ALL_ACCESS), ERROR_SUCCESS);
    const BYTE six[] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(key.SetValue(u"Six", REG_BINARY, six, sizeof(six)), ERROR_SUCCESS);
    ASSERT_EQ(key.SetValue(u"Two", REG_BINARY, six, 2), ERROR_SUCCESS);
    ASSERT_EQ(key.SetDWORD(u"Num", 0x01020304), ERROR_SUCCESS);

    DWORD value = 7;
    EXPECT_EQ(key.QueryDWORD(u"Six", &value), static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_NE(key.QueryDWORD(u"Two", &value), ERROR_SUCCESS);
    EXPECT_EQ(key.QueryDWORD(u"Missing", &value), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(key.QueryDWORD(u"Num", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 0x01020304u);
    EXPECT_EQ(key.DeleteValue(u"Num"), ERROR_SUCCESS);
    EXPECT_EQ(key.QueryDWORD(u"Num", &value), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
