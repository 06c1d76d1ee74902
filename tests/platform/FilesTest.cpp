// Files and folders through the drive mapping, and private-profile (INI) reading.
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {
using vanto_test::TempPrefix;

// A file's size and a whole read are every table read (CBITableData, in each live BP test);
// folders that exist or lack a parent are the work folder of BIInfoTest and CfgxExports.
TEST(Files, CaseInsensitiveLookupReadsToTheEndAndMissingFilesFail) {
    TempPrefix prefix;
    const std::string folder = prefix.DriveC() + "/Data";
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Data", nullptr));
    std::ofstream(folder + "/Report.TXT", std::ios::binary) << "hello";

    HANDLE h = CreateFileW(u"c:\\DATA\\report.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "hello");
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u) << "end of file reads as success with 0 bytes";
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(CreateFileW(u"C:\\absent.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

// Reads one key of the test file into a buffer of `size` characters.
std::pair<DWORD, std::u16string> Profile(const char16_t* section, const char16_t* key, DWORD size = 64) {
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    const DWORD n = GetPrivateProfileStringW(section, key, u"DEF", buffer, size, u"C:\\test.ini");
    return {n, std::u16string(buffer, n)};
}

TEST(Profile, WindowsRulesForSectionsKeysValuesAndTruncation) {
    TempPrefix prefix;
    std::ofstream(prefix.DriveC() + "/test.ini", std::ios::binary)
        << "; comment\r\n"
           "[CommonDrvInfo]\r\n"
           "  UIModule =  VUD3CFGX.DLL  \r\n"
           "Quoted=\"with spaces \"\r\n"
           "Half=\"open\r\n"
           "Note=abc ; not a comment\r\n"
           "Empty=\r\n"
           "NoEquals\r\n"
           "uimodule=the first key wins\r\n"
           "[commondrvinfo]\r\n"
           "Other=in the duplicate section\r\n"
           "[Latin]\r\n"
           "Name=Caf\xe9\r\n";
    using Result = std::pair<DWORD, std::u16string>;
    EXPECT_EQ(Profile(u"commondrvinfo", u"UIMODULE"), (Result{12, u"VUD3CFGX.DLL"}));
    EXPECT_EQ(Profile(u"CommonDrvInfo", u"Quoted"), (Result{12, u"with spaces "}));
    EXPECT_EQ(Profile(u"CommonDrvInfo", u"Half"), (Result{5, u"\"open"}));
    EXPECT_EQ(Profile(u"CommonDrvInfo", u"Note"), (Result{19, u"abc ; not a comment"})) << "no trailing comments";
    EXPECT_EQ(Profile(u"CommonDrvInfo", u"Empty"), (Result{0, u""})) << "an empty value is not the default";
    EXPECT_EQ(Profile(u"CommonDrvInfo", u"NoEquals"), (Result{3, u"DEF"}));
    EXPECT_EQ(Profile(u"CommonDrvInfo", u"Other"), (Result{3, u"DEF"})) << "only the first section of a name";
    EXPECT_EQ(Profile(u"CommonDrvInfo", u"UIModule", 5), (Result{4, u"VUD3"})) << "cut to nSize - 1";
    EXPECT_EQ(Profile(u"Latin", u"Name"), (Result{4, u"Caf\u00e9"})) << "read in the ANSI code page";

    char16_t buffer[8];
    EXPECT_EQ(GetPrivateProfileStringW(u"A", u"B", u"Error", buffer, 8, u"C:\\missing.ini"), 5u);
    EXPECT_EQ(std::u16string(buffer), u"Error");
}

}  // namespace
