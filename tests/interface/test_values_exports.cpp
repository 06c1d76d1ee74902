// The value exports end to end: an instance with flag bit 1 on a queue of the sample driver, its
// store seeded from the built-in defaults, values and records read and written by identifier.
#include "vanto.h"

#include "interface/test_values_prefix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using values_test::ValuesPrefix;

namespace {

// An instance released when the holder goes.
using Instance = std::unique_ptr<VANTO_INSTANCE, PFN_VANTO_Release>;
Instance Open(const char16_t* queue, uint32_t flags = VANTO_FLAG_PRINTERINFO) {
    return Instance(Initialize(queue, flags), Release);
}

// A 32-bit value through GetDWORDValue; the sentinel when the export fails.
constexpr uint32_t kUnset = 0xDEADBEEF;
uint32_t Get(HVANTO h, uint32_t id) {
    uint32_t value = kUnset;
    return GetDWORDValue(h, id, 0, &value) == 1 ? value : kUnset;
}

}  // namespace

// The first instance seeds the store (its values: PrinterInfoObjectTest.SeedingWrites... in
// tests/printerinfo); a later one keeps what was set in between, unless the model bits changed
// (that clears "BIStoreFlag"). Stores are per queue.
TEST(ValueExportsTest, FirstInstanceSeedsALaterOneKeepsValuesAndNewModelBitsReseed) {
    ValuesPrefix prefix;
    {
        Instance first = Open(u"V1");
        ASSERT_NE(first.get(), nullptr);
        EXPECT_EQ(Get(first.get(), VANTO_DWID_INSTALLEDMEMORY), 64u);
        VANTO_USERDEF_MAXMIN limits{};
        uint32_t size = sizeof limits;
        EXPECT_EQ(GetStructValue(first.get(), VANTO_STID_USERDEF_MAXMIN, 0, &limits, &size), 0) << "not seeded";
        EXPECT_EQ(SetDWORDValue(first.get(), VANTO_DWID_OPTIONUNITBITS, 0, 0x5), 1);
        EXPECT_EQ(SetDWORDValue(first.get(), VANTO_DWID_MODELINFOBITS, 0, 0), 1);  // as stored
    }
    {
        Instance second = Open(u"V1");
        ASSERT_NE(second.get(), nullptr);
        EXPECT_EQ(Get(second.get(), VANTO_DWID_OPTIONUNITBITS), 0x5u) << "same bits must keep the store";
        Instance other = Open(u"V2");
        EXPECT_EQ(Get(other.get(), VANTO_DWID_OPTIONUNITBITS), 0u);
        EXPECT_EQ(SetDWORDValue(second.get(), VANTO_DWID_MODELINFOBITS, 0, 0x2), 1);
    }
    Instance third = Open(u"V1");
    EXPECT_EQ(Get(third.get(), VANTO_DWID_OPTIONUNITBITS), 0u) << "new bits must reseed";
    EXPECT_EQ(Get(third.get(), VANTO_DWID_MODELINFOBITS), 0u);
}

TEST(ValueExportsTest, FlagsChooseTheSeededRecordAndResourceIDsFollowTheModelBits) {
    ValuesPrefix prefix;
    {
        Instance inkjet = Open(u"V1", VANTO_FLAG_PRINTERINFO | VANTO_FLAG_BIJ_CUSTOM);
        ASSERT_NE(inkjet.get(), nullptr);
        EXPECT_EQ(Get(inkjet.get(), VANTO_DWID_DEFAULTPDLBITS), 1u) << "always 1, not the record's 0x10";
        EXPECT_EQ(Get(inkjet.get(), VANTO_DWID_INSTALLEDMEMORY), kUnset) << "memory 0 reads as a failure";
        EXPECT_EQ(Get(inkjet.get(), VANTO_DWID_BINARYRESOURCEID), 0u) << "custom ink-jet";
    }
    {
        // The install-time record gives 101 whatever the stored bits say.
        Instance erd = Open(u"V1", VANTO_FLAG_PRINTERINFO | VANTO_FLAG_ERD);
        ASSERT_NE(erd.get(), nullptr);
        EXPECT_EQ(SetDWORDValue(erd.get(), VANTO_DWID_MODELINFOBITS, 0, 0x6), 1);
        EXPECT_EQ(Get(erd.get(), VANTO_DWID_BINARYRESOURCEID), 101u);
    }
    Instance live = Open(u"V1");
    ASSERT_NE(live.get(), nullptr);
    struct Row {
        uint32_t bits, binary, cfgx;
    };
    // 0x6 adds both bits' steps and 0x2 tells them apart; the rest are the CFGX mask's cases.
    const Row rows[] = {{0x6, 4, 201},   {0x2, 2, 201},   {0x8, 101, 201},  {0x300, 1, 205},
                        {0x100, 1, 203}, {0x200, 1, 204}, {0x400, 1, 202}, {0x500, 1, 203}};
    for (const Row& row : rows) {
        ASSERT_EQ(SetDWORDValue(live.get(), VANTO_DWID_MODELINFOBITS, 0, row.bits), 1);
        EXPECT_EQ(Get(live.get(), VANTO_DWID_BINARYRESOURCEID), row.binary) << std::hex << row.bits;
        EXPECT_EQ(Get(live.get(), VANTO_DWID_CFGXRESOURCEID), row.cfgx) << std::hex << row.bits;
    }
}


TEST(ValueExportsTest, RecordWrittenWithOneMaskIsReadBackWithAnother) {
    ValuesPrefix prefix;
    Instance instance = Open(u"V1");
    ASSERT_NE(instance.get(), nullptr);

    VANTO_PRINTER_INFO in{};
    in.dwSize = sizeof in;
    in.ullElementMask = VANTO_ELEMENT_MODELNAME | VANTO_ELEMENT_SUPPORTPDLBITS | VANTO_ELEMENT_CASSETTE |
                        VANTO_ELEMENT_USERDEF_MAXMIN | 0x200000000ull;  // a high bit selects option units
    std::u16string name = u"Vintal LP-9";
    std::copy(name.begin(), name.end(), in.szModelName);
    in.dwModelInfoBits = 0x300;  // mask bit clear: not stored
    in.dwSupportPDLBits = 0x31;
    in.dwOptionUnitBits = 0x44;
    in.dwInstalledMemory = 999;  // mask bit clear: not stored
    in.nCassetteNum = 3;
    for (int i = 0; i < 3; ++i) {
        in.stCassette[i].wPaperSizeID = static_cast<uint16_t>(100 + i);
        in.stCassette[i].wPaperSourceBit = static_cast<uint16_t>(1u << i);
    }
    in.stCassette[3].wPaperSizeID = 777;  // past the count: not stored
    in.stUserDefMaxMin.lHeiMAX = 4321;
    in.stUserDefMaxMin.lWidMIN_Inch = 55;
    ASSERT_EQ(SetStructValue(instance.get(), VANTO_STID_PRINTER_INFO, 0, &in), 1);

    VANTO_PRINTER_INFO out;
    std::memset(&out, 0xEE, sizeof out);
    out.ullElementMask = VANTO_ELEMENT_MODELNAME | VANTO_ELEMENT_MODELINFOBITS | VANTO_ELEMENT_CASSETTE |
                         VANTO_ELEMENT_INSTALLEDMEMORY | VANTO_ELEMENT_OPTIONUNITBITS |
                         VANTO_ELEMENT_SUPPORTPDLBITS | VANTO_ELEMENT_USERDEF_MAXMIN;
    uint32_t size = sizeof out;
    ASSERT_EQ(GetStructValue(instance.get(), VANTO_STID_PRINTER_INFO, 0, &out, &size), 1);
    EXPECT_EQ(std::u16string(out.szModelName), name);
    EXPECT_EQ(out.dwModelInfoBits, 0u);
    EXPECT_EQ(out.dwInstalledMemory, 64u);
    EXPECT_EQ(out.dwOptionUnitBits, 0x44u);
    EXPECT_EQ(out.dwSupportPDLBits, 0x31u);
    ASSERT_EQ(out.nCassetteNum, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out.stCassette[i].wPaperSizeID, 100 + i);
        EXPECT_EQ(out.stCassette[i].wPaperSourceBit, 1u << i);
    }
    EXPECT_EQ(out.stCassette[3].wPaperSizeID, 0xEEEEu) << "slots past the count keep the caller's bytes";
    EXPECT_EQ(out.stUserDefMaxMin.lHeiMAX, 4321);
    EXPECT_EQ(out.stUserDefMaxMin.lWidMIN_Inch, 55);
    EXPECT_EQ(out.dwDefaultPDLBits, 0xEEEEEEEEu) << "mask bit clear: the caller's value stays";
    EXPECT_EQ(out.dwBinaryResourceID, 1u);
    EXPECT_EQ(out.dwCFGXResourceID, 201u);

    // A negative cassette count is refused before anything is written.
    in.ullElementMask = VANTO_ELEMENT_SUPPORTPDLBITS | VANTO_ELEMENT_CASSETTE;
    in.dwSupportPDLBits = 0x1;
    in.nCassetteNum = -1;
    EXPECT_EQ(SetStructValue(instance.get(), VANTO_STID_PRINTER_INFO, 0, &in), 0);
    EXPECT_EQ(Get(instance.get(), VANTO_DWID_SUPPORTPDLBITS), 0x31u);
    EXPECT_EQ(Get(instance.get(), VANTO_DWID_CASSETTENUM), 3u);
}

// One case per refusal: identifiers that cannot be set or do not exist, strings other than the
// model name, cassettes at or past the stored count, and buffers that are missing or too short.
TEST(ValueExportsTest, CassettesExistOnlyBelowTheStoredCountAndShortBuffersAndOtherIDsAreRefused) {
    ValuesPrefix prefix;
    Instance instance = Open(u"V1");
    ASSERT_NE(instance.get(), nullptr);  // seeded with two zero cassettes
    uint32_t value = 0x1234;
    EXPECT_EQ(GetDWORDValue(instance.get(), VANTO_DWID_RESERVED14, 0, &value), 1);
    EXPECT_EQ(value, 0x1234u);
    // 14, the computed 17 and 18 and unknown identifiers share one refusal.
    EXPECT_EQ(SetDWORDValue(instance.get(), VANTO_DWID_BINARYRESOURCEID, 0, 1), 0);
    EXPECT_EQ(GetDWORDValue(instance.get(), 19, 0, &value), 0);
    EXPECT_EQ(GetDWORDValue(instance.get(), VANTO_DWID_MODELINFOBITS, 0, nullptr), 0);
    EXPECT_EQ(GetStructValue(instance.get(), 13, 0, &value, &value), 0);
    EXPECT_EQ(SetStructValue(instance.get(), 13, 0, &value), 0);
    EXPECT_EQ(SetStructValue(instance.get(), VANTO_STID_USERDEF_MAXMIN, 0, nullptr), 0);
    ASSERT_EQ(SetStringValueW(instance.get(), VANTO_SZID_MODELNAME, 0, u"Vintal IJ-3"), 1);
    char16_t buffer[16] = {u'k', u'e', u'e', u'p', 0};
    EXPECT_EQ(GetStringValueW(instance.get(), 11, 0, buffer, 16), 0);
    EXPECT_EQ(std::u16string(buffer), u"keep");
    EXPECT_EQ(GetStringValueW(instance.get(), VANTO_SZID_MODELNAME, 0, buffer, 0), 0);
    EXPECT_EQ(GetStringValueW(instance.get(), VANTO_SZID_MODELNAME, 0, buffer, 4), 0) << "too small for the name";
    EXPECT_EQ(GetStringValueW(instance.get(), VANTO_SZID_MODELNAME, 0, buffer, 12), 1);
    EXPECT_EQ(std::u16string(buffer), u"Vintal IJ-3");
    EXPECT_EQ(SetStringValueW(instance.get(), 11, 0, u"X"), 0);

    VANTO_CASETTE_INFO entry{};
    entry.wPaperSizeID = 12;
    entry.wMaxCapacity = 250;
    EXPECT_EQ(SetStructValue(instance.get(), VANTO_STID_CASETTE_INFO, 1, &entry), 1);
    EXPECT_EQ(SetStructValue(instance.get(), VANTO_STID_CASETTE_INFO, 2, &entry), 0);

    VANTO_CASETTE_INFO out{};
    uint32_t size = sizeof out;
    EXPECT_EQ(GetStructValue(instance.get(), VANTO_STID_CASETTE_INFO, 1, &out, &size), 1);
    EXPECT_EQ(out.wPaperSizeID, 12);
    EXPECT_EQ(out.wMaxCapacity, 250);
    EXPECT_EQ(GetStructValue(instance.get(), VANTO_STID_CASETTE_INFO, 2, &out, &size), 0);
    size = sizeof out - 1;
    EXPECT_EQ(GetStructValue(instance.get(), VANTO_STID_CASETTE_INFO, 0, &out, &size), 0);

    size = 0;
    EXPECT_EQ(GetStructValue(instance.get(), VANTO_STID_PRINTER_INFO, 0, nullptr, &size), 1);
    EXPECT_EQ(size, 416u);
    VANTO_PRINTER_INFO record{};
    std::memset(&record, 0xEE, sizeof record);
    size = 415;
    EXPECT_EQ(GetStructValue(instance.get(), VANTO_STID_PRINTER_INFO, 0, &record, &size), 0);
    EXPECT_EQ(record.dwSize, 0xEEEEEEEEu) << "a short buffer must not be written";
    EXPECT_EQ(GetStructValue(instance.get(), VANTO_STID_PRINTER_INFO, 0, &record, nullptr), 0);

    VANTO_USERDEF_MAXMIN limits{};
    EXPECT_EQ(SetStructValue(instance.get(), VANTO_STID_USERDEF_MAXMIN, 0, &limits), 1);
    size = sizeof limits - 1;
    EXPECT_EQ(GetStructValue(instance.get(), VANTO_STID_USERDEF_MAXMIN, 0, &limits, &size), 0);
}
