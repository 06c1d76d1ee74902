// The option units CBIDI_BP finds: storage, duplex unit, output options and confidential-job
// functions of page, ink-jet (SNMP, D4, TVD4, job-language port) and System OEM printers served
// by vprinter. Printers live on 127.0.89.121-140 and USB031-USB034.
#include "test_bp_answers.h"

#include <gtest/gtest.h>

using namespace bp_answers;

namespace {

const char* const kQlmPage04 = "MFG:Vintal;MDL:Corvia LP-700;CMD:PJL,QLMPAGE-04;CLS:PRINTER;";

class OptionAnswers : public AnswersTest {
protected:
    void SetUp() override {
        // A stacker whose offset-stacking list ends before its row; capital-L duplex text only;
        // storage named "Storage HDD" beside a lower-case "printer cf".
        const std::string shortOffsets = PagePrinter(
            m_files, "short", kQlmPage04,
            Texts(kStorageDescr, {"printer cf", "Storage HDD"}) +
                Texts(kPathDescription, {"Duplex Long Edge Binding"}) +
                Texts(kOutputName, {"Face-down Tray", "Stacker"}) + Ints(kOffsetStacking, {3}));
        // A stacker whose offset-stacking column answers text; a lower-case RAM disk.
        const std::string noOffsets = PagePrinter(
            m_files, "nooffsets", kQlmPage04,
            Texts(kStorageDescr, {"printer ram disk"}) + Texts(kPathDescription, {"Simplex"}) +
                Texts(kOutputName, {"Stacker"}) + Texts(kOffsetStacking, {"on"}));
        // No storage column: the first sub-query fails.
        const std::string noStorage =
            PagePrinter(m_files, "nostorage", kQlmPage04, Texts(kPathDescription, {"Simplex"}));
        // An ink-jet on D4 whose storage field has version 16 and whose confidential-job element
        // runs past the reply's end.
        const std::string broken = InkjetD4(m_files, "broken", "USB033",
                                            "MFG:Vintal;MDL:Aquila IJ-300;CMD:BDC,D4PX,QLMPR1;FID:DPA;CLS:PRINTER;",
                                            "0A 03 10 00 08 0F 03 03 00 01", "00 00 04 00 01");
        Serve({{"Colour", "127.0.89.121", SampleProfile("colour-page")},
               {"ColourS04", "127.0.89.122", SampleProfile("colour-page-s04")},
               {"MonoJ", "127.0.89.123", SampleProfile("mono-page-jp")},
               {"MonoOpk", "127.0.89.124", SampleProfile("mono-page-opk")},
               {"Short", "127.0.89.125", shortOffsets},
               {"NoOffsets", "127.0.89.126", noOffsets},
               {"NoStorage", "127.0.89.127", noStorage},
               {"NetInk", "127.0.89.128", SampleProfile("inkjet-network")},
               {"OpkInk", "127.0.89.129", SampleProfile("inkjet-opk")},
               {"OemB", "127.0.89.130", SampleProfile("system-oem-b")},
               {"OemH", "127.0.89.131", SampleProfile("system-oem-h")},
               {"OemLocal", "127.0.89.132", SampleProfile("system-oem-local")},
               {"Ink17", "USB031", SampleProfile("inkjet-usb-f17")},
               {"Ink14", "USB032", SampleProfile("inkjet-usb-f14")},
               {"Broken", "USB033", broken}});
    }

    // The option bits of a queue; -1 when the query fails.
    int64_t OptionBits(const std::string& queue, DWORD flags = 0) {
        Opened printer(queue, flags);
        EXPECT_EQ(printer.result, 1) << queue;
        DWORD bits = 0xDEAD;
        return printer->GetOptionUnitBits(&bits) == 1 ? int64_t{bits} : -1;
    }
};

}  // namespace

TEST_F(OptionAnswers, PagePrintersByExactNames) {
    // HDD and RAM disk; both duplex texts; face-up tray, stacker with a stapler.
    EXPECT_EQ(OptionBits("Colour"), 0x507);
    // CF and RAM disk; short-edge duplex; face-up tray, offset stacking (4) at the stacker's row,
    // no finisher column (only logged).
    EXPECT_EQ(OptionBits("ColourS04"), 0x907);
    // HDD; "Duplex long Edge Binding"; stacker at row 2 with 5 there (4 is the face-down tray's).
    EXPECT_EQ(OptionBits("MonoJ"), 0x205);
    // Over MDR: CF; "Duplex Long Edge Binding" is not the duplex text; face-down tray only.
    EXPECT_EQ(OptionBits("MonoOpk"), 0x4);
    // "Storage HDD" (not "printer cf"); offset list too short for the stacker's row.
    EXPECT_EQ(OptionBits("Short"), 0x204);
}

TEST_F(OptionAnswers, PageFailuresStopTheQueryAtTheFailingSubQuery) {
    m_live.EnableLog();
    EXPECT_EQ(OptionBits("NoStorage"), -1);
    EXPECT_EQ(m_live.CountInNewLog("CBIDI_BP::GetOptionUnitBitsDuplexUnit"), 0u)
        << "the sub-queries after the failure are not asked";

    Opened noOffsets("NoOffsets");
    DWORD bits = 0x8000;
    EXPECT_EQ(noOffsets->GetOptionUnitBitsFinisher(&bits), 0);
    EXPECT_EQ(bits, 0x8000u) << "sub-queries only add bits";
    EXPECT_EQ(noOffsets->GetOptionUnitBitsStorage(&bits), 1);
    EXPECT_EQ(noOffsets->GetOptionUnitBitsDuplexUnit(&bits), 1);
    EXPECT_EQ(bits, 0x8000u) << "lower-case names and a simplex path add nothing";
    EXPECT_EQ(noOffsets->GetOptionUnitBits(nullptr), 0);
}

TEST_F(OptionAnswers, InkjetsOnEveryChannel) {
    // Storage from the status field (version 17, bit 0x08), duplex from FID:DPA, confidential
    // kinds 0 and 1: over SNMP, TVD4.
    EXPECT_EQ(OptionBits("NetInk"), 0x30005);
    EXPECT_EQ(OptionBits("Ink17"), 0x30005);
    // D4: no storage, no DPA, "pc" answers NA: the sub-query fails quietly.
    EXPECT_EQ(OptionBits("Ink14"), 0);
    Opened ink14("Ink14");
    DWORD kinds = 0;
    EXPECT_EQ(ink14->IsSupportConfidentialJobFunction(&kinds), 0);
    // Storage field version 16, and an element running past the reply's end: a damaged answer
    // about confidential jobs fails the query instead of reading as none.
    EXPECT_EQ(OptionBits("Broken"), -1);
    Opened broken("Broken");
    DWORD flag = 7;
    EXPECT_EQ(broken->GetOptionStorageInfoBySTReply(&flag), 1);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(broken->IsSupportConfidentialJobFunction(&kinds), 0);

    // A large ink-jet on the job-language port: PI requests; kind 0 with the two-byte value 1,
    // kind 5 skipped, kind 1 with value 2 not supported. Its category asks neither the storage
    // nor the confidential jobs in the option query.
    Opened opk("OpkInk", BP_FLAG_FORCE_LARGE_INKJET);
    ASSERT_EQ(opk.result, 1);
    ASSERT_EQ(opk->GetChannelKind(), kZkChannelOPK);
    kinds = 0;
    EXPECT_EQ(opk->IsSupportConfidentialJobFunction(&kinds), 1);
    EXPECT_EQ(kinds, 0x1u);
    DWORD bits = 0;
    EXPECT_EQ(opk->GetOptionUnitBits(&bits), 1);
    EXPECT_EQ(bits, 0x1u);
}

TEST_F(OptionAnswers, SystemOemPrintersFromRecordAndMib) {
    // Model-B: duplex option in the record; bits 0x300 ask the storage ("CF", "HDD").
    EXPECT_EQ(OptionBits("OemB"), 0x5);
    // Model-H: no duplex option, so the media path types (3) tell; bit 0x200 is missing, so its
    // "CF" row is never asked for.
    Opened oemH("OemH");
    m_live.EnableLog();
    DWORD bits = 0;
    EXPECT_EQ(oemH->GetOptionUnitBitsStorage(&bits), 1);
    EXPECT_EQ(m_live.Sends(), 0u);
    EXPECT_EQ(oemH->GetOptionUnitBits(&bits), 1);
    EXPECT_EQ(bits, 0x1u);
    // Without a channel: only the record's duplex option.
    EXPECT_EQ(OptionBits("OemLocal"), 0);
    ::setenv("VANTO_TEST_CHANNELS", "opk", 1);
    EXPECT_EQ(OptionBits("OemB"), 0x1);
}
