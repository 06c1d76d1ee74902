// Run-time loading and the module's own file name. Event waits are the probe's: its wait for
// activity or a stop is ProbeExports' (tests/interface) subnet search and stop from another thread.
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {
using vanto_test::TempPrefix;

// Loading by path and entry points by name and ordinal: every module the library and the tests
// load (AUDFModuleTest by ordinal, CSnmpDll a bare name from System32); here the failures and
// the file name's bound.
TEST(Loader, MissingEntryPointsTheFileNamesBoundAndAFileThatIsNoModule) {
    TempPrefix prefix;
    const std::filesystem::path module = VANTO_TEST_MODULE;
    std::u16string path = vplat::ToWindowsPath(module.string());
    HMODULE h = LoadLibraryW(path.c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_NE(GetProcAddress(h, MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(GetProcAddress(h, MAKEINTRESOURCEA(3)), nullptr);
    EXPECT_EQ(GetProcAddress(h, "Absent"), nullptr);
    char16_t small[8];
    EXPECT_EQ(GetModuleFileNameW(h, small, 8), 8u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(small), path.substr(0, 7));
    EXPECT_TRUE(FreeLibrary(h));

    std::ofstream(prefix.DriveC() + "/NotAModule.dll") << "text, not a module";
    EXPECT_EQ(LoadLibraryW(u"C:\\notamodule.DLL"), nullptr);
}

}  // namespace
