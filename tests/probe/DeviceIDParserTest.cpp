// Device ID parsing: key lookup, command-set tokens, raster level, FID and the model table.
#include "probe/DeviceIDParser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Parsed {
    int result = 0;
    DeviceIDInfo info{};
};

Parsed Parse(const std::string& deviceID) {
    Parsed parsed;
    parsed.result = ConvertDeviceID(&parsed.info, deviceID.c_str());
    return parsed;
}

TEST(DeviceIDKeyLookup, FindsValueAnywhereAndCutsToCapacity) {
    char value[8];
    EXPECT_EQ(GetDeviceIDValue("MFG:X;MDL:Abc;", "MDL", value, sizeof(value)), 1);
    EXPECT_STREQ(value, "Abc");
    EXPECT_EQ(GetDeviceIDValue("MFG:X;MDL:0123456789;", "MDL", value, sizeof(value)), 1);
    EXPECT_STREQ(value, "0123456");
    // Plain text search: the key may sit inside another key's name.
    EXPECT_EQ(GetDeviceIDValue("XMDL:Q;", "MDL", value, sizeof(value)), 1);
    EXPECT_STREQ(value, "Q");
}

TEST(DeviceIDKeyLookup, FailsWithoutKeyOrClosingSemicolon) {
    char value[8] = "keep";
    EXPECT_EQ(GetDeviceIDValue("MFG:X;", "MDL", value, sizeof(value)), 0);
    EXPECT_EQ(GetDeviceIDValue("MFG:X;MDL:Abc", "MDL", value, sizeof(value)), 0);
    // The key as the last characters: no character to skip, nothing read past the end.
    EXPECT_EQ(GetDeviceIDValue("MFG:X;MDL", "MDL", value, sizeof(value)), 0);
    EXPECT_EQ(GetDeviceIDValue("MDL:", "MDL", value, sizeof(value)), 0);
    EXPECT_EQ(GetDeviceIDValue("MDL:A;", "MDL", value, 0), 0);
}

TEST(DeviceIDCommandSet, TokensSelectFirstNameInTableOrder) {
    Parsed p = Parse("MDL:P2;CMD:PJL,PCL,D4,QLMPR1;");
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.info.dwCommandSetBits, 0x25u);  // "D4" selects "D4L3", never "D4"
    EXPECT_EQ(p.info.dwQLMPRBits, QLMPR_LEVEL_BIT);

    p = Parse("MDL:P5;CMD:D4PX,TVD4;");
    EXPECT_EQ(p.info.dwCommandSetBits, 0x44000u);

    p = Parse("MDL:P7;CMD:PCLXL,POSTSCRIPT,OPK,BDC;");
    EXPECT_EQ(p.info.dwCommandSetBits, 0x101Au);

    // Tokens longer than every name or unknown are ignored; comparison is case-sensitive.
    p = Parse("MDL:P8;CMD:PCLXLX,pcl,ESC/X;");
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.info.dwCommandSetBits, 0u);
}

TEST(DeviceIDCommandSet, EmptyTokensSelectPJLButEmptyValueHasNone) {
    Parsed p = Parse("MDL:P6;CMD:PCL,,BDC;");
    EXPECT_EQ(p.info.dwCommandSetBits, 0x1005u);
    p = Parse("MDL:P6;CMD:PCL,;");
    EXPECT_EQ(p.info.dwCommandSetBits, 0x5u);

    p = Parse("MDL:P4;CMD:;");
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.info.dwCommandSetBits, 0u);
    EXPECT_EQ(p.info.dwQLMPRBits, 0u);
    EXPECT_EQ(p.info.dwFIDBits, 0u);
}

TEST(DeviceIDCommandSet, QLMPRLevelKeepsOnlyTheRasterBit) {
    EXPECT_EQ(Parse("MDL:P3;CMD:QLMPR4;").info.dwQLMPRBits, 0u);
    EXPECT_EQ(Parse("MDL:P3;CMD:QLMPR2;").info.dwQLMPRBits, QLMPR_LEVEL_BIT);
    EXPECT_EQ(Parse("MDL:P3;CMD:QLMPR7;").info.dwQLMPRBits, QLMPR_LEVEL_BIT);
    EXPECT_EQ(Parse("MDL:P3;CMD:QLMPR;").info.dwQLMPRBits, 0u);
    EXPECT_EQ(Parse("MDL:P3;CMD:QLMPRx1;").info.dwQLMPRBits, 0u);
    // A level far beyond 32 bits keeps its low decimal bits exact: ...01 is odd.
    EXPECT_EQ(Parse("MDL:P3;CMD:QLMPR99999999999999999999999999999999999999999999999901;").info.dwQLMPRBits,
              QLMPR_LEVEL_BIT);
}

TEST(DeviceIDFID, TokensSelectDPAByPrefix) {
    EXPECT_EQ(Parse("MDL:P;CMD:PJL;FID:DPA;").info.dwFIDBits, FID_DPA);
    EXPECT_EQ(Parse("MDL:P;CMD:PJL;FID:D;").info.dwFIDBits, FID_DPA);
    EXPECT_EQ(Parse("MDL:P;CMD:PJL;FID:X,,Y;").info.dwFIDBits, FID_DPA);
    EXPECT_EQ(Parse("MDL:P;CMD:PJL;FID:XYZ;").info.dwFIDBits, 0u);
    Parsed p = Parse("MDL:P;CMD:PJL;");
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.info.dwFIDBits, 0u);
}

TEST(DeviceIDModelName, MissingNameOrCommandSetFails) {
    EXPECT_EQ(Parse("MFG:X;CMD:PJL;").result, 0);
    // "MODEL" supplies the name, but the command set is read from "CMD" only.
    Parsed p = Parse("MODEL:P1;COMMAND SET:PCL;");
    EXPECT_EQ(p.result, 0);
    EXPECT_STREQ(p.info.szModelName, "P1");
    p = Parse("MODEL:P1;CMD:PCL;");
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.info.dwCommandSetBits, CMDSET_PCL);
    EXPECT_EQ(ConvertDeviceID(nullptr, "MDL:P;CMD:PJL;"), 0);
    DeviceIDInfo info{};
    EXPECT_EQ(ConvertDeviceID(&info, nullptr), 0);
}

TEST(DeviceIDModelName, LongNameKeeps99CharactersInBothForms) {
    const std::string name(150, 'N');
    Parsed p = Parse("MDL:" + name + ";CMD:PJL;");
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(std::string(p.info.szModelName), name.substr(0, 99));
    EXPECT_EQ(std::u16string(p.info.wszModelName), std::u16string(99, u'N'));
}

TEST(DeviceIDModelTable, MatchesExactAndPrefixPatternsWithoutCMD) {
    Parsed p = Parse("MFG:X;MDL:Model-A;");
    ASSERT_EQ(p.result, 1);
    EXPECT_EQ(p.info.dwCommandSetBits, CMDSET_PCLXL);
    EXPECT_EQ(p.info.dwModelClass, 1u);
    EXPECT_EQ(p.info.dwInModelTable, 1u);
    EXPECT_EQ(std::u16string(p.info.wszModelName), u"Model-A");

    p = Parse("MDL:Model-E 10;CMD:PJL;");
    EXPECT_EQ(p.info.dwModelClass, 32u);
    EXPECT_EQ(p.info.dwCommandSetBits, CMDSET_PCLXL);  // "CMD" is not read for table models
    EXPECT_EQ(Parse("MDL:Model-F;").info.dwModelClass, 32u);
    EXPECT_EQ(Parse("MDL:Model-G;").info.dwModelClass, 37u);
    EXPECT_EQ(Parse("MDL:Model-B;").info.dwModelClass, 33u);

    // Exact patterns do not match longer names or other case; those need a "CMD" key.
    EXPECT_EQ(Parse("MDL:Model-A2;").result, 0);
    EXPECT_EQ(Parse("MDL:model-a;").result, 0);
    p = Parse("MDL:Model-A2;CMD:PCL;");
    EXPECT_EQ(p.info.dwInModelTable, 0u);
    EXPECT_EQ(p.info.dwModelClass, 0u);
    EXPECT_EQ(p.info.dwCommandSetBits, CMDSET_PCL);
}

}  // namespace
