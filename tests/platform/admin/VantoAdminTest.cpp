// `vanto reg set`, run as a separate process on a test prefix: bad input fails with a message and
// leaves the prefix as it was. The queue verbs' refusals are checked by SpoolerAdmin
// (test_platform), the tool's failure messages by ToolJson (test_tool_json).
#include "support/TempPrefix.h"
#include "support/ToolRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using vanto_test::TempPrefix;

// Runs build/vanto with `args`; what it wrote to standard error, and its exit code.
vanto_test::ToolRun Vanto(const std::vector<std::string>& args) {
    std::string command = std::string(VANTO_BUILD_DIR) + "/vanto";
    for (const std::string& arg : args) command += " '" + arg + "'";
    return vanto_test::RunCommand(command + " 2>&1 >/dev/null");
}

DWORD ReadDword(const char16_t* key, const char16_t* name) {
    HKEY h = nullptr;
    DWORD value = 0, size = sizeof value;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return 0xDEAD;
    if (RegQueryValueExW(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) value = 0xDEAD;
    RegCloseKey(h);
    return value;
}

TEST(VantoAdmin, RegistryValuesAreWrittenOnlyWhenTheWholeRequestIsValid) {
    TempPrefix prefix;
    EXPECT_EQ(Vanto({"reg", "set", "HKLM\\SOFTWARE\\KELDA\\VANTO", "VANTO_LOG", "dword", "0x10"}).status, 0);
    EXPECT_EQ(ReadDword(vplat::kLogSwitchKey, vplat::kLogSwitchValue), 16u);

    for (const std::vector<std::string>& bad : {
             std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\KELDA\\New", "V", "dword", "4294967296"},
             std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\KELDA\\New", "V", "binary", "abc"},
             std::vector<std::string>{"reg", "set", "HKLM\\SOFTWARE\\KELDA\\New", "V", "qword", "1"},
             std::vector<std::string>{"reg", "set", "HKXX\\SOFTWARE\\KELDA\\New", "V", "sz", "x"}}) {
        const vanto_test::ToolRun run = Vanto(bad);
        EXPECT_NE(run.status, 0) << bad[5];
        EXPECT_NE(run.out.find("vanto reg set:"), std::string::npos) << run.out;
    }
    HKEY none = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KELDA\\New", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND)
        << "a refused request creates no key";
}

}  // namespace
