// Waits, the tick count, run-time loading and the module's own file name.
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {
using vanto_test::TempPrefix;

TEST(Threads, AutoResetEventsAndWaitingForOneOfSeveral) {
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

    for (HANDLE h : {first, second}) EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED);
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

// Loading by path and entry points by name and ordinal: every module the library and the tests
// load (AUDFModuleTest by ordinal); here the failures, the file name's bound and bare names.
TEST(Loader, FailuresTheFileNamesBoundAndBareNamesFromSystem32) {
    TempPrefix prefix;
    const std::filesystem::path module = VANTO_TEST_MODULE;
    std::u16string path = vplat::ToWindowsPath(module.string());
    HMODULE h = LoadLibraryW(path.c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_NE(GetProcAddress(h, MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(GetProcAddress(h, MAKEINTRESOURCEA(3)), nullptr);
    EXPECT_EQ(GetProcAddress(h, "Absent"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
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
