// Threads and waits, GUID text, run-time loading and the module's own file name.
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
using vanto_test::TempPrefix;

DWORD WaitForEvent(LPVOID parameter) {
    return WaitForSingleObject(static_cast<HANDLE>(parameter), 10000) == WAIT_OBJECT_0 ? 7 : 99;
}

TEST(Threads, SuspendedThreadAutoResetEventsAndWaitingForOneOfSeveral) {
    HANDLE first = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE second = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(first && second);
    const HANDLE both[] = {first, second};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 20), WAIT_TIMEOUT);
    SetEvent(second);
    SetEvent(first);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0) << "the lowest index wins";
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1) << "the other stayed signalled";
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT) << "each wait consumed its signal";
    const HANDLE twice[] = {first, first};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // A suspended thread does not run; once resumed, SetEvent from here releases it.
    HANDLE waiter = CreateThread(nullptr, 0, WaitForEvent, first, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(waiter, nullptr);
    SetEvent(first);
    EXPECT_EQ(WaitForSingleObject(waiter, 50), WAIT_TIMEOUT);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(waiter, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ResumeThread(waiter), 1u);
    EXPECT_EQ(WaitForSingleObject(waiter, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_OBJECT_0) << "a finished thread stays signalled";
    EXPECT_TRUE(GetExitCodeThread(waiter, &code));
    EXPECT_EQ(code, 7u);
    for (HANDLE h : {first, second, waiter}) EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Threads, TickCountWraps) {
    const DWORD now = GetTickCount();
    vplat::SetTickCountOffset(0xFFFFFFFFu - now - 10);  // 10 ms before the wrap
    const DWORD before = GetTickCount();
    Sleep(30);
    const DWORD after = GetTickCount();
    vplat::SetTickCountOffset(0);
    EXPECT_LT(after, before) << "the counter wrapped";
    EXPECT_GE(static_cast<DWORD>(after - before), 30u) << "unsigned differences still measure time";
}

constexpr const char16_t* kMutexName = u"Local\\vanto.test.mutex";

// A wait by another thread of this process: 1 when it got the mutex (and released it again).
DWORD TakeAndRelease(LPVOID parameter) {
    HANDLE mutex = static_cast<HANDLE>(parameter);
    if (ReleaseMutex(mutex) || GetLastError() != ERROR_NOT_OWNER) return 99;
    if (WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0) return 0;
    return ReleaseMutex(mutex) ? 1 : 98;
}

TEST(Threads, MutexIsOwnedByOneThreadRecursivelyAndOneObjectPerName) {
    TempPrefix prefix;
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kMutexName);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE same = CreateMutexW(nullptr, FALSE, kMutexName);
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WaitForSingleObject(same, 0), WAIT_OBJECT_0) << "the owner may take it again";

    HANDLE thread = CreateThread(nullptr, 0, TakeAndRelease, same, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT) << "another thread got a mutex that is owned";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT) << "released once of twice: still owned";
    EXPECT_TRUE(ReleaseMutex(same));
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    for (HANDLE h : {thread, mutex, same}) CloseHandle(h);
}

TEST(Guid, TextIsBracedUpperCaseHexOf38Characters) {
    const GUID guid{0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    char16_t text[40];
    EXPECT_EQ(StringFromGUID2(guid, text, 40), 39);
    EXPECT_EQ(std::u16string(text), u"{0123ABCD-4567-89EF-0123-456789ABCDEF}");
    EXPECT_EQ(StringFromGUID2(guid, text, 38), 0);

    GUID a{}, b{};
    ASSERT_EQ(CoCreateGuid(&a), S_OK);
    ASSERT_EQ(CoCreateGuid(&b), S_OK);
    EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_EQ(a.Data3 >> 12, 4) << "version 4";
    EXPECT_EQ(a.Data4[0] >> 6, 2) << "RFC variant";
}

TEST(Loader, ByPathByBareNameByNameAndByOrdinal) {
    TempPrefix prefix;
    const std::filesystem::path module = VANTO_TEST_MODULE;
    std::u16string path = vplat::ToWindowsPath(module.string());
    HMODULE h = LoadLibraryW(path.c_str());
    ASSERT_NE(h, nullptr);
    using Answer = int (*)();
    const auto byName = reinterpret_cast<Answer>(GetProcAddress(h, "TestModuleAnswer"));
    const auto byOrdinal = reinterpret_cast<Answer>(GetProcAddress(h, MAKEINTRESOURCEA(2)));
    ASSERT_TRUE(byName && byOrdinal);
    EXPECT_EQ(byName(), 42);
    EXPECT_EQ(byOrdinal(), 2);
    EXPECT_EQ(GetProcAddress(h, MAKEINTRESOURCEA(3)), nullptr);
    EXPECT_EQ(GetProcAddress(h, "Absent"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    char16_t file[MAX_PATH];
    const DWORD length = GetModuleFileNameW(h, file, MAX_PATH);
    EXPECT_EQ(std::u16string(file, length), path);
    char16_t small[8];
    EXPECT_EQ(GetModuleFileNameW(h, small, 8), 8u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(small), path.substr(0, 7));
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(FreeLibrary(h));

    std::ofstream(prefix.DriveC() + "/NotAModule.dll") << "text, not a module";
    EXPECT_EQ(LoadLibraryW(u"C:\\notamodule.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), 193u) << "ERROR_BAD_EXE_FORMAT";
    EXPECT_EQ(LoadLibraryW(u"TESTMOD"), nullptr) << "no such module in System32 yet";
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    std::string error;
    ASSERT_TRUE(vplat::InstallSystemModule(module.string(), u"TestMod.dll", error)) << error;
    HMODULE bare = LoadLibraryW(u"TESTMOD");  // ".DLL" added, case ignored
    ASSERT_NE(bare, nullptr);
    EXPECT_NE(GetProcAddress(bare, "TestModuleAnswer"), nullptr);
    FreeLibrary(bare);
}

}  // namespace
