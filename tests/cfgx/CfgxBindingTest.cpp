// The CFGX module binding: opening the sample driver's module and source through the queue's
// paths, the Open failures, and the functions a module lacks.
#include "CfgxTestUtil.h"

#include "platform/prefix.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace cfgxtest;

namespace {

std::u16string WinPath(const std::string& linuxPath) { return vplat::ToWindowsPath(linuxPath); }

// The functions the binding wraps, each called once with harmless arguments; their results.
std::vector<int32_t> CallEveryWrapper(const CCfgxDll& cfgx) {
    int32_t lValue = 0;
    DWORD dwValue = 0;
    const KD_CFGX_PROHIBIT_ITEM item{9, 9, 0, 0};
    VANTO_PRINTER_INFO record{};
    return {cfgx.GetLogPrinterData(100, &lValue),
            cfgx.SetLogPrinterData(100, 1),
            cfgx.SetDefault(3, 2, 1, 0, 1, 1),
            cfgx.SetFunctionStatus(3, 1),
            cfgx.GetFunctionElementStatus(9, 9),
            cfgx.SetFunctionElementStatus(9, 9, 1),
            cfgx.GetFunctionElementAttribute(9, 9, 27, &dwValue),
            cfgx.SetFunctionValueAttribute(14, 32, 99),
            cfgx.AddProhibitData(&item, 1, 0),
            cfgx.DeleteProhibitData(&item, 1),
            cfgx.SetCustomVersionAuto(nullptr),
            cfgx.Save(u"C:\\nowhere"),
            cfgx.DeleteBinFiles(nullptr),
            cfgx.UpdateREGData(nullptr, 12, &record, 1)};
}

}  // namespace

TEST(CfgxBinding, OpensTheSampleSourceFoundThroughTheQueuesPathsAndClosesAgain) {
    CfgxPrefix prefix;
    CCfgxDll cfgx;
    ASSERT_EQ(prefix.Open(cfgx), 0);
    EXPECT_NE(cfgx.GetHandle(), nullptr);
    for (size_t fn = 0; fn < CCfgxDll::kFunctionCount; ++fn)
        EXPECT_TRUE(cfgx.HasFunction(static_cast<CCfgxDll::Function>(fn))) << CCfgxDll::FunctionName(
            static_cast<CCfgxDll::Function>(fn));
    const HKDCFGX first = cfgx.GetHandle();

    // A second Open ends the first session.
    ASSERT_EQ(prefix.Open(cfgx), 0);
    EXPECT_NE(cfgx.GetHandle(), first);

    cfgx.Close();
    EXPECT_EQ(cfgx.GetHandle(), nullptr);
    EXPECT_FALSE(cfgx.IsLoaded());
    for (int32_t result : CallEveryWrapper(cfgx)) EXPECT_EQ(result, kCfgxMissingFunction);
}

TEST(CfgxBinding, OpenFailures) {
    CfgxPrefix prefix;
    const DriverPaths& p = prefix.paths;
    CCfgxDll cfgx;
    EXPECT_EQ(cfgx.Open(nullptr, p.szVIF, p.szSource, kQueueW, kCategoryPage), kCfgxOpenNullPath);
    EXPECT_EQ(cfgx.Open(p.szModule, nullptr, p.szSource, kQueueW, kCategoryPage), kCfgxOpenNullPath);
    EXPECT_EQ(cfgx.Open(p.szModule, p.szVIF, nullptr, kQueueW, kCategoryPage), kCfgxOpenNullPath);
    EXPECT_FALSE(cfgx.IsLoaded());

    // No module at the path; a module without KD_CFGXInitEx (the AUDF module) is unloaded again.
    const std::u16string missing = std::u16string(p.szModule) + u".missing";
    EXPECT_EQ(cfgx.Open(missing.c_str(), p.szVIF, p.szSource, kQueueW, kCategoryPage), kCfgxOpenNotLoaded);
    EXPECT_FALSE(cfgx.IsLoaded());
    const std::u16string audf = WinPath(std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL");
    EXPECT_EQ(cfgx.Open(audf.c_str(), p.szVIF, p.szSource, kQueueW, kCategoryPage), kCfgxOpenNotLoaded);
    EXPECT_FALSE(cfgx.IsLoaded());
    EXPECT_EQ(cfgx.GetHandle(), nullptr);

    // The module's own refusal is the result: a folder without a source of the category, and a
    // null queue name. No session is kept.
    const std::u16string empty = WinPath(prefix.DriveC() + "/ProgramData");
    EXPECT_EQ(cfgx.Open(p.szModule, p.szVIF, empty.c_str(), kQueueW, kCategoryPage), KD_CFGX_ERR_NO_SOURCE);
    EXPECT_EQ(cfgx.GetHandle(), nullptr);
    EXPECT_TRUE(cfgx.IsLoaded());
    EXPECT_EQ(cfgx.Open(p.szModule, p.szVIF, p.szSource, nullptr, kCategoryPage), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(cfgx.GetHandle(), nullptr);
    cfgx.Close();
    EXPECT_FALSE(cfgx.IsLoaded());
}

TEST(CfgxBinding, FunctionsTheModuleLacksAnswerMinusThree) {
    vanto_test::TempPrefix prefix;
    const std::string record = prefix.Root() + "/calls.txt";
    ::setenv("VANTO_TEST_CFGX_RECORD", record.c_str(), 1);
    {
        CCfgxDll cfgx;
        const std::u16string module = WinPath(VANTO_TEST_PARTIAL_CFGX);
        ASSERT_EQ(cfgx.Open(module.c_str(), u"C:\\vif", u"C:\\src", kQueueW, kCategoryPage), 0);
        size_t resolved = 0;
        for (size_t fn = 0; fn < CCfgxDll::kFunctionCount; ++fn)
            resolved += cfgx.HasFunction(static_cast<CCfgxDll::Function>(fn)) ? 1 : 0;
        EXPECT_EQ(resolved, 5u);
        const std::vector<int32_t> results = CallEveryWrapper(cfgx);
        // Only the two element queries of the wrapped calls exist (the 5th and 7th call).
        for (size_t i = 0; i < results.size(); ++i) {
            if (i == 4 || i == 6) {
                EXPECT_GE(results[i], 0) << "call " << i;
            } else {
                EXPECT_EQ(results[i], kCfgxMissingFunction) << "call " << i;
            }
        }
        EXPECT_EQ(cfgx.SetFunctionElementAttribute(9, 9, 16, 1), 0);
    }  // the destructor ends the session
    ::unsetenv("VANTO_TEST_CFGX_RECORD");
    std::ifstream in(record);
    const std::string calls((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(calls,
              "KD_CFGXInitEx\nKD_CFGXGetFunctionElementStatus\nKD_CFGXGetFunctionElementAttribute\n"
              "KD_CFGXSetFunctionElementAttribute\nKD_CFGXExit\n");
}
