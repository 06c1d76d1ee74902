// Device ID parsing: key lookup, command-set tokens, raster level, FID and the model table.
#include "probe/DeviceIDParser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DeviceIDKeyLookup, FindsTheValueAnywhereCutToCapacityAndOnlyWithItsSemicolon) {
    struct Case {
        const char* text;
        size_t capacity;
        const char* value;  // nullptr: the lookup fails
    };
    const Case cases[] = {
        {"MFG:X;MDL:Abc;", 8, "Abc"},
        {"MFG:X;MDL:0123456789;", 8, "0123456"},
        {"MFG:X;MDL:Abc", 8, nullptr},
        {"MFG:X;MDL", 8, nullptr},  // the key last: nothing is read past the end
        {"MDL:A;", 0, nullptr},
    };
    for (const Case& c : cases) {
        char value[8] = "keep";
        EXPECT_EQ(GetDeviceIDValue(c.text, "MDL", value, c.capacity), c.value ? 1 : 0) << c.text;
        if (c.value) {
            EXPECT_STREQ(value, c.value) << c.text;
        }
    }
}

// Every field of the parsed record for one device ID; kAny where a row does not care.
TEST(DeviceIDConvert, CommandSetRasterLevelFIDAndTheModelTable) {
    constexpr DWORD kAny = ~0u;
    struct Case {
        const char* deviceID;
        int result;
        DWORD commandSet, qlmpr = kAny, fid = kAny, modelClass = kAny, inTable = kAny;
    };
    const Case cases[] = {
        // "D4" selects "D4L3", never "D4"; names are matched in table order.
        {"MDL:P2;CMD:PJL,PCL,D4,QLMPR1;", 1, 0x25, QLMPR_LEVEL_BIT},
        // Tokens longer than every name or unknown are ignored; comparison is case-sensitive.
        {"MDL:P8;CMD:PCLXLX,pcl,ESC/X;", 1, 0},
        // An empty token selects PJL, an empty value nothing.
        {"MDL:P6;CMD:PCL,,BDC;", 1, 0x1005},
        {"MDL:P4;CMD:;", 1, 0, 0, 0},
        // Level bits 0 and 1 announce the raster language; bit 2 alone does not.
        {"MDL:P3;CMD:QLMPR4;", 1, kAny, 0},
        {"MDL:P3;CMD:QLMPR2;", 1, kAny, QLMPR_LEVEL_BIT},
        {"MDL:P3;CMD:QLMPRx1;", 1, kAny, 0},
        // A level far beyond 32 bits keeps its low decimal digits exact: ...01 is odd.
        {"MDL:P3;CMD:QLMPR99999999999999999999999999999999999999999999999901;", 1, kAny, QLMPR_LEVEL_BIT},
        // FID tokens select DPA by prefix, an empty one too.
        {"MDL:P;CMD:PJL;FID:D;", 1, kAny, kAny, FID_DPA},
        {"MDL:P;CMD:PJL;FID:X,,Y;", 1, kAny, kAny, FID_DPA},
        {"MDL:P;CMD:PJL;FID:XYZ;", 1, kAny, kAny, 0},
        {"MDL:P;CMD:PJL;", 1, kAny, kAny, 0},
        // A name and a command set are needed; "MODEL" names the model, only "CMD" the commands.
        {"MFG:X;CMD:PJL;", 0, kAny},
        {"MODEL:P1;COMMAND SET:PCL;", 0, kAny},
        {"MODEL:P1;CMD:PCL;", 1, CMDSET_PCL},
        // Table models need no "CMD" and do not read it; an exact pattern does not match a longer
        // name, which then needs a "CMD" key of its own.
        {"MFG:X;MDL:Model-A;", 1, CMDSET_PCLXL, kAny, kAny, 1, 1},
        {"MDL:Model-E 10;CMD:PJL;", 1, CMDSET_PCLXL, kAny, kAny, 32},
        {"MDL:Model-A2;CMD:PCL;", 1, CMDSET_PCL, kAny, kAny, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deviceID);
        DeviceIDInfo info{};
        ASSERT_EQ(ConvertDeviceID(&info, c.deviceID), c.result);
        const std::pair<DWORD, DWORD> fields[] = {{c.commandSet, info.dwCommandSetBits},
                                                  {c.qlmpr, info.dwQLMPRBits},
                                                  {c.fid, info.dwFIDBits},
                                                  {c.modelClass, info.dwModelClass},
                                                  {c.inTable, info.dwInModelTable}};
        for (const auto& [expected, actual] : fields) {
            if (expected != kAny) {
                EXPECT_EQ(actual, expected);
            }
        }
    }
}

TEST(DeviceIDConvert, ModelNamesAreKeptInBothFormsCutTo99Characters) {
    DeviceIDInfo info{};
    EXPECT_EQ(ConvertDeviceID(&info, "MODEL:P1;COMMAND SET:PCL;"), 0);
    EXPECT_STREQ(info.szModelName, "P1");
    const std::string name(150, 'N');
    ASSERT_EQ(ConvertDeviceID(&info, ("MDL:" + name + ";CMD:PJL;").c_str()), 1);
    EXPECT_EQ(std::string(info.szModelName), name.substr(0, 99));
    EXPECT_EQ(std::u16string(info.wszModelName), std::u16string(99, u'N'));
    EXPECT_EQ(ConvertDeviceID(&info, nullptr), 0);
}

}  // namespace
