// The CFGX module binding on the sample driver's module and on one that exports only a few
// functions: Open failures, missing functions, and single prohibit rules as the saved file shows.
#include "cfgx/CCfgxDll.h"
#include "common/BIInfo.h"
#include "platform/prefix.h"
#include "printerinfo/CBIProhibitInfo.h"
#include "support/ErrorLines.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

using vanto_test::ErrorLines;

namespace {

constexpr const char* kQueue = "Cfgx Queue";
constexpr const char16_t* kQueueW = u"Cfgx Queue";
constexpr DWORD kCategoryPage = 2;

// A prefix with the sample driver, its built CFGX and AUDF modules and a queue with its
// identifier; the driver's paths as the queue's printer context gives them.
class CfgxPrefix : public vanto_test::TempPrefix {
public:
    CfgxPrefix()
        : TempPrefix(kQueue, kDefaultPort,
                     {std::string(VANTO_BUILD_DIR) + "/VUD3CFGX.DLL", std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL"}) {
        // The driver's shared folder, in which the queue's work folder is made (without sources,
        // so the sources are those of the driver directory).
        std::filesystem::create_directories(DriveC() + "/ProgramData/KELDA/" + vanto_test::kSampleDriverName);
        EXPECT_TRUE(context.Build(kQueueW, 1));  // flag 1: the queue gets its identifier
        EXPECT_TRUE(context.GetPath(BIInfo::UIModule, szModule));
        EXPECT_TRUE(context.GetPath(BIInfo::DataFile, szVIF));
        EXPECT_TRUE(context.GetPath(BIInfo::CFXFolder, szSource));
        EXPECT_TRUE(context.GetPath(BIInfo::WorkFolder, szWork));
    }
    // Opens the sample page-printer source on kQueue.
    int32_t Open(CCfgxDll& cfgx) const { return cfgx.Open(szModule, szVIF, szSource, kQueueW, kCategoryPage); }
    // Saves the session into the work folder and reads the file back.
    nlohmann::json Saved(const CCfgxDll& cfgx) const {
        EXPECT_EQ(cfgx.Save(szWork), 0);
        const auto onDisk = vplat::ToLinuxPath(std::u16string(szWork) + u"\\K_PAGE.CFX");
        EXPECT_TRUE(onDisk.has_value());
        std::ifstream in(onDisk.value_or(""));
        EXPECT_TRUE(in.good()) << "no saved file";
        return in.good() ? nlohmann::json::parse(in) : nlohmann::json::object();
    }

    BIInfo context;
    WCHAR szModule[MAX_PATH] = {};
    WCHAR szVIF[MAX_PATH] = {};
    WCHAR szSource[MAX_PATH] = {};
    WCHAR szWork[MAX_PATH] = {};
};

// Whether a saved file holds a prohibit group of exactly these (function, element) items.
using Group = std::set<std::pair<uint32_t, uint32_t>>;
bool HasGroup(const nlohmann::json& file, const Group& group) {
    for (const auto& g : file.value("prohibits", nlohmann::json::array())) {
        Group items;
        for (const auto& it : g["items"]) items.emplace(it["function"].get<uint32_t>(), it["element"].get<uint32_t>());
        if (items == group) return true;
    }
    return false;
}

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

constexpr DWORD kPaperSize = 9;
constexpr DWORD kOutputPaperSize = 35;
constexpr WORD kA4 = 9, kB5 = 13;                           // no flag in the sample
constexpr WORD kStatement = 6, kFolio = 14, kOficio = 259; // flag 0x08000000 in the sample
constexpr WORD kNoSuchSize = 9999;

}  // namespace

TEST(CfgxBinding, OpenKeepsOneSessionAndAFailedOpenKeepsNone) {
    CfgxPrefix p;
    CCfgxDll cfgx;
    ASSERT_EQ(p.Open(cfgx), 0);
    const HKDCFGX first = cfgx.GetHandle();
    ASSERT_EQ(p.Open(cfgx), 0);
    EXPECT_NE(cfgx.GetHandle(), first) << "a second Open ends the first session";

    const std::u16string missing = std::u16string(p.szModule) + u".missing";
    const std::u16string audf = WinPath(std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL");
    const std::u16string empty = WinPath(p.DriveC() + "/ProgramData");
    struct Case {
        const char16_t *module, *vif, *source, *queue;
        int32_t result;
        bool loaded;
    };
    // A null path; no module at the path, or one without KD_CFGXInitEx (the AUDF module), which is
    // unloaded again; then the module's own refusals (a folder without a source of the category,
    // a null queue name), passed on with the module still loaded.
    const Case cases[] = {{nullptr, p.szVIF, p.szSource, kQueueW, kCfgxOpenNullPath, false},
                          {missing.c_str(), p.szVIF, p.szSource, kQueueW, kCfgxOpenNotLoaded, false},
                          {audf.c_str(), p.szVIF, p.szSource, kQueueW, kCfgxOpenNotLoaded, false},
                          {p.szModule, p.szVIF, empty.c_str(), kQueueW, KD_CFGX_ERR_NO_SOURCE, true},
                          {p.szModule, p.szVIF, p.szSource, nullptr, KD_CFGX_ERR_BAD_ARGUMENT, true}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(cfgx.Open(c.module, c.vif, c.source, c.queue, kCategoryPage), c.result) << i;
        EXPECT_EQ(cfgx.IsLoaded(), c.loaded) << i;
        EXPECT_EQ(cfgx.GetHandle(), nullptr) << i;
    }
    cfgx.Close();
    EXPECT_FALSE(cfgx.IsLoaded());
    for (int32_t result : CallEveryWrapper(cfgx)) EXPECT_EQ(result, kCfgxMissingFunction);
}

TEST(CfgxBinding, FunctionsTheModuleLacksAnswerMinusThreeAndFailTheProhibitEdits) {
    vanto_test::TempPrefix prefix;
    const std::string record = prefix.Root() + "/calls.txt";
    ::setenv("VANTO_TEST_CFGX_RECORD", record.c_str(), 1);
    const std::u16string module = WinPath(VANTO_TEST_PARTIAL_CFGX);
    {
        CCfgxDll cfgx;
        ASSERT_EQ(cfgx.Open(module.c_str(), u"C:\\vif", u"C:\\src", kQueueW, kCategoryPage), 0);
        const std::vector<int32_t> results = CallEveryWrapper(cfgx);
        // Only the two element queries of the wrapped calls exist (the 5th and 7th call).
        for (size_t i = 0; i < results.size(); ++i)
            EXPECT_EQ(results[i] < 0, i != 4 && i != 6) << "call " << i << ": " << results[i];
        EXPECT_EQ(cfgx.SetFunctionElementAttribute(9, 9, 16, 1), 0);
    }  // the destructor ends the session
    ::unsetenv("VANTO_TEST_CFGX_RECORD");
    std::ifstream in(record);
    const std::string calls((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(calls,
              "KD_CFGXInitEx\nKD_CFGXGetFunctionElementStatus\nKD_CFGXGetFunctionElementAttribute\n"
              "KD_CFGXSetFunctionElementAttribute\nKD_CFGXExit\n");

    // The prohibit edits fail on missing functions as on any refusal.
    CCfgxDll cfgx;
    ASSERT_EQ(cfgx.Open(module.c_str(), u"C:\\vif", u"C:\\src", kQueueW, kCategoryPage), 0);
    ErrorLines errors;
    // The attribute is set; adding the group needs a function the module lacks.
    EXPECT_FALSE(AddProhibitInfo(&cfgx, kPaperSize, kB5, FALSE));
    EXPECT_TRUE(AddProhibitInfo(&cfgx, kPaperSize, kB5, TRUE));
    // The entry qualifies, but neither rule can be deleted: both failures are logged and the
    // entry still counts as handled.
    const SBIPaperEntry entry{kStatement, 1, 2, 0};
    EXPECT_TRUE(DeletePaperSizeProhibitInfo(&cfgx, &entry, 1));
    EXPECT_TRUE(errors.Has("#Failed to delete Prohibit Info of PaperSize."));
    EXPECT_TRUE(errors.Has("#Failed to delete Prohibit Info of OutputPaperSize."));
}

// Marking an element and adding its group is CfgxExports' (languages and quality levels); here an
// element the file lacks, and deleting the rules of paper sizes the printer shows.
TEST(ProhibitEdit, AddRefusesMissingElementsAndDeleteDropsRulesOfShownDroppableSizesOnly) {
    CfgxPrefix prefix;
    CCfgxDll cfgx;
    ASSERT_EQ(prefix.Open(cfgx), 0);
    ErrorLines errors;
    EXPECT_FALSE(AddProhibitInfo(&cfgx, kPaperSize, kNoSuchSize, FALSE));
    EXPECT_FALSE(AddProhibitInfo(nullptr, kPaperSize, kB5, FALSE));
    for (WORD id : {kStatement, kFolio, kA4})
        for (DWORD function : {kPaperSize, kOutputPaperSize}) {
            const KD_CFGX_PROHIBIT_ITEM item{function, id, 0, 0};
            ASSERT_EQ(cfgx.AddProhibitData(&item, 1, 0), 0);
        }
    const SBIPaperEntry entries[] = {
        {kStatement, 1, 2, 0},   // droppable and shown: both rules go
        {kFolio, 0, 2, 0},       // droppable, not shown: handled, rules stay
        {kA4, 1, 2, 0},          // not droppable: skipped
        {kNoSuchSize, 1, 2, 0},  // not in the file: skipped
        {kOficio, 1, 2, 0},      // droppable and shown, without rules: nothing to delete
    };
    EXPECT_TRUE(DeletePaperSizeProhibitInfo(&cfgx, entries, static_cast<int>(std::size(entries))));
    EXPECT_EQ(errors.Count(), 0u) << "neither a refused attribute nor a missing rule is a failure";

    const nlohmann::json saved = prefix.Saved(cfgx);
    EXPECT_FALSE(HasGroup(saved, {{kPaperSize, kNoSuchSize}}));
    EXPECT_FALSE(HasGroup(saved, {{kPaperSize, kStatement}}));
    EXPECT_FALSE(HasGroup(saved, {{kOutputPaperSize, kStatement}}));
    for (WORD id : {kFolio, kA4}) {
        EXPECT_TRUE(HasGroup(saved, {{kPaperSize, id}})) << id;
        EXPECT_TRUE(HasGroup(saved, {{kOutputPaperSize, id}})) << id;
    }
    EXPECT_TRUE(HasGroup(saved, {{1, 4}, {26, 1}})) << "the source's own rules stay";

    // Nothing handled, and nothing to handle.
    EXPECT_FALSE(DeletePaperSizeProhibitInfo(&cfgx, entries + 2, 2));
    EXPECT_FALSE(DeletePaperSizeProhibitInfo(&cfgx, entries, 0));
}
