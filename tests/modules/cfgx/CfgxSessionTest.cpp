// Sessions of the CFGX module on the sample sources: what the update's calls refuse, prohibit
// groups, and refusals of bad arguments.
#include "CfgxModule.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <fstream>
#include <map>
#include <vector>

namespace cfgxtest {
namespace {

TEST_F(CfgxTest, InitExRefusesBadArgumentsAndMissingThings) {
    Session s;
    EXPECT_EQ(m.InitEx(nullptr, kDataFile, kDriverFolder, kQueueW, 2), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.InitEx(s.Out(), kDataFile, kDriverFolder, kQueueW, 3), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.InitEx(s.Out(), u"relative\\path", kDriverFolder, kQueueW, 2), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.InitEx(s.Out(), u"C:\\missing.ini", kDriverFolder, kQueueW, 2), KD_CFGX_ERR_IO);
    EXPECT_EQ(m.InitEx(s.Out(), kDataFile, kDriverFolder, u"No Such Queue", 2), KD_CFGX_ERR_PRINTER);
    std::u16string longQueue(2000, u'q');
    EXPECT_EQ(m.InitEx(s.Out(), kDataFile, kDriverFolder, longQueue.c_str(), 2), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(s.Get(), nullptr);
}

// What the update's calls save, a group added once included, is CfgxExports'; here their
// refusals and the effects on settings the update cannot see.
TEST_F(CfgxTest, UpdateCallsRefuseWhatTheSourceDoesNotAllow) {
    Session s;
    ASSERT_EQ(Open(s, 2), KD_CFGX_OK);
    const HKDCFGX h = s.Get();
    EXPECT_EQ(m.SetDefault(h, 132, 33, 1, 0, 0, 1), KD_CFGX_OK);  // language defaults leave the setting
    uint32_t setting = 0;
    EXPECT_EQ(m.GetControlState(h, 132, &setting), KD_CFGX_OK);
    EXPECT_EQ(setting, 4u);
    // Copies: the value itself (a value beyond the maximum is the devmode's refusal, by the same
    // check).
    EXPECT_EQ(m.SetDefault(h, 14, 25, 1, 0, 1, 1), KD_CFGX_OK);
    EXPECT_EQ(m.SetFunctionElementAttribute(h, 35, 8, 16, 2), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.SetFunctionElementAttribute(h, 9, 6, 70000, 1), KD_CFGX_ERR_NO_ATTRIBUTE);

    // Limits that cross are refused (a minimum above the source's maximum 2159; accepted limits
    // are CfgxExports' custom size limits); a new limit moves the setting inside it.
    EXPECT_EQ(m.SetFunctionValueAttribute(h, 10, 31, 3000), KD_CFGX_ERR_OUT_OF_RANGE);
    EXPECT_EQ(m.SetFunctionValueAttribute(h, 11, 32, 2000), KD_CFGX_OK);  // below the default 2970
    EXPECT_EQ(m.SetFunctionValueAttribute(h, 9, 32, 1), KD_CFGX_ERR_WRONG_KIND);
    EXPECT_EQ(m.SetFunctionValueAttribute(h, 10, 33, 1), KD_CFGX_ERR_NO_ATTRIBUTE);

    int32_t panel = 0;
    ASSERT_EQ(m.GetLogPrinterData(h, 305, &panel), KD_CFGX_OK);
    EXPECT_EQ(m.SetLogPrinterData(h, 305, panel | 0x2), KD_CFGX_OK);
    EXPECT_EQ(m.GetLogPrinterData(h, 999, &panel), KD_CFGX_ERR_NO_ATTRIBUTE);

    ASSERT_EQ(m.Save(h, u"C:\\ProgramData"), KD_CFGX_OK);
    std::ifstream in(prefix.DriveC() + "/ProgramData/K_PAGE.CFX");
    const auto json = nlohmann::json::parse(in);
    std::map<uint32_t, nlohmann::json> defaults;
    for (const auto& f : json["functions"]) defaults[f["id"]] = f.value("default", nlohmann::json());
    EXPECT_EQ(defaults[14], 25);
    EXPECT_EQ(defaults[11], 2000) << "the setting moves inside the new limits";
    std::map<uint32_t, nlohmann::json> tags;
    for (const auto& t : json["tags"]) tags[t["id"]] = t["value"];
    EXPECT_EQ(tags[305], "0x00000002");
}

TEST_F(CfgxTest, ProhibitGroupsDecideAvailabilityAndCurrentSettings) {
    Session s;
    ASSERT_EQ(Open(s, 2), KD_CFGX_OK);
    const HKDCFGX h = s.Get();
    // The source forbids transparencies (type 4) with long-edge duplex (26/1).
    EXPECT_EQ(m.SetControlState(h, 26, 1), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 1, 4), KD_CFGX_ERR_PROHIBITED);
    EXPECT_EQ(m.SetControlStateOnly(h, 1, 4), KD_CFGX_OK);
    uint32_t type = 0;
    EXPECT_EQ(m.GetControlState(h, 1, &type), KD_CFGX_OK);
    EXPECT_EQ(type, 4u);
    EXPECT_EQ(m.SetControlState(h, 26, 0), KD_CFGX_OK);

    // Inversion: Env #10 only from the MP tray (7/1).
    EXPECT_EQ(m.SetControlState(h, 7, 2), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 9, 20), KD_CFGX_ERR_PROHIBITED);
    EXPECT_EQ(m.SetControlState(h, 7, 1), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 9, 20), KD_CFGX_OK);

    // A one-item group makes the element unavailable, as attribute 16 = 0 does; deleting it
    // gives the element back.
    const KD_CFGX_PROHIBIT_ITEM a3[] = {{9, 8, 0, 0}};
    ASSERT_EQ(m.AddProhibitData(h, a3, 1, 0), KD_CFGX_OK);
    EXPECT_EQ(m.SetDefault(h, 9, 8, 1, 0, 1, 1), KD_CFGX_ERR_PROHIBITED);
    EXPECT_EQ(m.SetDefault(h, 9, 8, 1, 0, 1, 0), KD_CFGX_OK) << "no check asked";
    ASSERT_EQ(m.DeleteProhibitData(h, a3, 1), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 9, 8), KD_CFGX_OK);
    ASSERT_EQ(m.SetFunctionElementAttribute(h, 9, 5, 16, 0), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 9, 5), KD_CFGX_ERR_PROHIBITED);
    EXPECT_EQ(m.SetFunctionElementStatus(h, 9, 1, KD_CFGX_STATUS_DISABLED), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 9, 1), KD_CFGX_ERR_PROHIBITED);

    // Sub-elements: a rule on Thick (3) with sub-element Extra Thick (12) also holds for 12.
    const KD_CFGX_PROHIBIT_ITEM thickDuplex[] = {{1, 3, 0, 12}, {26, 2, 0, 0}};
    ASSERT_EQ(m.AddProhibitData(h, thickDuplex, 2, 0), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 1, 2), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 26, 2), KD_CFGX_OK);
    EXPECT_EQ(m.SetControlState(h, 1, 12), KD_CFGX_ERR_PROHIBITED);

    // Items are checked before a group is added or deleted.
    struct BadItem {
        KD_CFGX_PROHIBIT_ITEM item;
        int32_t expected;
    };
    const BadItem badItems[] = {{{9999, 1, 0, 0}, KD_CFGX_ERR_NO_FUNCTION}, {{9, 9999, 0, 0}, KD_CFGX_ERR_NO_ELEMENT},
                                {{14, 1, 0, 0}, KD_CFGX_ERR_WRONG_KIND},    {{9, 8, 2, 0}, KD_CFGX_ERR_BAD_ARGUMENT},
                                {{9, 8, 0, 9999}, KD_CFGX_ERR_NO_ELEMENT}};
    for (const BadItem& b : badItems)
        EXPECT_EQ(m.AddProhibitData(h, &b.item, 1, 0), b.expected) << b.item.functionID << "/" << b.item.elementID;
    EXPECT_EQ(m.DeleteProhibitData(h, &badItems[1].item, 1), KD_CFGX_ERR_NO_ELEMENT);
    EXPECT_EQ(m.AddProhibitData(h, a3, 1, 1), KD_CFGX_ERR_BAD_ARGUMENT) << "reserved argument";
    EXPECT_EQ(m.AddProhibitData(h, a3, 0, 0), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.AddProhibitData(h, a3, 17, 0), KD_CFGX_ERR_LIMIT);
}

TEST_F(CfgxTest, VersionStringIsSizedAndChecked) {
    Session s;
    ASSERT_EQ(Open(s, 1), KD_CFGX_OK);
    const HKDCFGX h = s.Get();
    char16_t text[8];
    uint32_t cch = 5;  // one short
    EXPECT_EQ(m.GetVersionString(h, text, &cch), KD_CFGX_ERR_MORE_DATA);
    EXPECT_EQ(cch, 6u);  // "1.0.0" and its zero
    ASSERT_EQ(m.GetVersionString(h, text, &cch), KD_CFGX_OK);
    EXPECT_EQ(std::u16string(text), u"1.0.0");
    EXPECT_EQ(m.GetVersionString(h, text, nullptr), KD_CFGX_ERR_BAD_ARGUMENT);

    EXPECT_EQ(m.SetVersionString(h, u"2.0 \u00e9\U0001F5A8"), KD_CFGX_OK);
    cch = 8;
    ASSERT_EQ(m.GetVersionString(h, text, &cch), KD_CFGX_OK);
    EXPECT_EQ(std::u16string(text), u"2.0 \u00e9\U0001F5A8");
    EXPECT_EQ(m.SetVersionString(h, std::u16string(63, u'9').c_str()), KD_CFGX_OK);
    const std::u16string tooLong(64, u'9');
    const char16_t lone[] = {u'1', 0xD800, 0};
    for (const char16_t* bad : {tooLong.c_str(), u"tab\there", u"csi\u009b2J", lone,
                                static_cast<const char16_t*>(nullptr)})
        EXPECT_EQ(m.SetVersionString(h, bad), KD_CFGX_ERR_BAD_ARGUMENT);
}

TEST_F(CfgxTest, DefaultsFromADevmode) {
    Session s;
    ASSERT_EQ(Open(s, 2), KD_CFGX_OK);
    std::vector<uint8_t> dm(220, 0);
    auto put16 = [&](size_t off, uint16_t v) { std::memcpy(&dm[off], &v, 2); };
    auto put32 = [&](size_t off, uint32_t v) { std::memcpy(&dm[off], &v, 4); };
    put16(68, 220);
    put32(72, 0x2 | 0x1000 | 0x800 | 0x100);  // paper size, duplex, colour, copies
    put16(78, 8);    // A3
    put16(94, 3);    // short edge
    put16(92, 2);    // colour
    put16(86, 3);    // copies
    ASSERT_EQ(m.SetDefaultByDevmode(s.Get(), dm.data(), 220), KD_CFGX_OK);
    uint32_t v = 0;
    for (const auto& [function, expected] : {std::pair{9u, 8u}, {35u, 8u}, {26u, 2u}, {6u, 2u}}) {
        EXPECT_EQ(m.GetControlState(s.Get(), function, &v), KD_CFGX_OK);
        EXPECT_EQ(v, expected) << "function " << function;
    }

    // One unknown field value changes nothing at all.
    put16(78, 9);
    put16(86, 5000);  // beyond the copies maximum
    EXPECT_EQ(m.SetDefaultByDevmode(s.Get(), dm.data(), 220), KD_CFGX_ERR_OUT_OF_RANGE);
    EXPECT_EQ(m.GetControlState(s.Get(), 9, &v), KD_CFGX_OK);
    EXPECT_EQ(v, 8u);
    EXPECT_EQ(m.SetDefaultByDevmode(s.Get(), dm.data(), 219), KD_CFGX_ERR_BAD_ARGUMENT);
    put16(70, 100);  // driver extra bytes the record does not have
    EXPECT_EQ(m.SetDefaultByDevmode(s.Get(), dm.data(), 220), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.SetDefaultByDevmode(s.Get(), nullptr, 220), KD_CFGX_ERR_BAD_ARGUMENT);
}

// An element or function the file lacks, asked for its status, is what the update skips
// (CfgxExports' stored rules, ProhibitEdit's size not in the file).
TEST_F(CfgxTest, HandlesAndIDsAreChecked) {
    Session s;
    ASSERT_EQ(Open(s, 2), KD_CFGX_OK);
    const HKDCFGX h = s.Get();
    uint32_t u = 0;
    EXPECT_EQ(m.GetFunctionStatus(h, 9999), KD_CFGX_ERR_NO_FUNCTION);
    EXPECT_EQ(m.GetFunctionElementStatus(h, 14, 1), KD_CFGX_ERR_WRONG_KIND);
    EXPECT_EQ(m.SetFunctionStatus(h, 9, 4), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.SetFunctionElementStatus(h, 9, 9, 0), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.SetDefault(h, 9, 9999, 1, 0, 1, 1), KD_CFGX_ERR_NO_ELEMENT);
    EXPECT_EQ(m.SetDefault(h, 9, 9, 2, 0, 1, 1), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.SetFunctionState(h, 9, 2), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.GetFunctionAttribute(h, 9, 1, &u), KD_CFGX_ERR_NO_ATTRIBUTE);
    EXPECT_EQ(m.SetFunctionAttribute(h, 9, 1, 5), KD_CFGX_OK);
    EXPECT_EQ(m.GetFunctionAttribute(h, 9, 1, &u), KD_CFGX_OK);
    EXPECT_EQ(u, 5u);
    EXPECT_EQ(m.GetFunctionAttribute(h, 9, 1, nullptr), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.GetControlState(h, 9, nullptr), KD_CFGX_ERR_BAD_ARGUMENT);
    EXPECT_EQ(m.GetLogPrinterData(h, 100, nullptr), KD_CFGX_ERR_BAD_ARGUMENT);

    // An element's attributes stop at 64.
    for (uint32_t a = 100; a < 164; ++a) ASSERT_EQ(m.SetFunctionElementAttribute(h, 9, 9, a, a), KD_CFGX_OK) << a;
    EXPECT_EQ(m.SetFunctionElementAttribute(h, 9, 9, 164, 1), KD_CFGX_ERR_LIMIT);
    EXPECT_EQ(m.SetFunctionElementAttribute(h, 9, 9, 100, 7), KD_CFGX_OK) << "changing one that is there";

    // A closed handle is refused, by the lookup every session call shares and by Exit's own.
    s.Close();
    EXPECT_EQ(m.Exit(h), KD_CFGX_ERR_BAD_HANDLE);
    EXPECT_EQ(m.GetFunctionStatus(h, 9), KD_CFGX_ERR_BAD_HANDLE);
}

}  // namespace
}  // namespace cfgxtest
