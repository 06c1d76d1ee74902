// What CBIDI_BP tells about the printer itself: model-information bits, page-description
// languages, the job-control character set and the installed memory, for page, ink-jet and System
// OEM printers served by vprinter. Printers live on 127.0.89.101-120 and USB021-USB023.
#include "test_bp_answers.h"

#include <gtest/gtest.h>

using namespace bp_answers;

namespace {

const char* const kQlmPageS04 = "MFG:Vintal;MDL:Corvia LP-900;CMD:PJL,QLMPAGES-04;CLS:PRINTER;";
const char* const kInkjetId = "MFG:Vintal;MDL:Aquila IJ-300;CMD:BDC,D4PX,QLMPR1;CLS:PRINTER;";

class ModelAnswers : public AnswersTest {
protected:
    void SetUp() override {
        // QLMPAGES-04 only: one whose colorant count is text, one with colorants and languages
        // but neither paper sizes nor a "Printer RAM" / "Storage RAM" row.
        const std::string bare = PagePrinter(m_files, "bare", kQlmPageS04, Texts(kColorants, {"four"}));
        const std::string noSizes =
            PagePrinter(m_files, "nosizes", kQlmPageS04,
                        Ints(kColorants, {1}) + Texts("2.1.43.7.1.1.2.1", {"en", "ja"}) +
                            Texts(kStorageDescr, {"RAM", "printer ram"}) +
                            Ints(kStorageSize, {1048576, 268435456}));
        // QLMPAGE-04 on a model of the System OEM list without the System OEM bits (row bit
        // 0x400); four colorants that must not be asked; a negative storage size.
        const std::string listed = PagePrinter(
            m_files, "listed", "MFG:Vintal;MDL:Model-K 7;CMD:PJL,QLMPAGE-04;CLS:PRINTER;",
            Ints(kColorants, {4}) + Texts(kStorageDescr, {"Storage RAM"}) + Ints(kStorageSize, {-16777216}) +
                Texts(kPaperSizes, {"A3"}));
        // An ink-jet whose status has no ink field.
        const std::string noInk = InkjetD4(m_files, "noink", "USB023", kInkjetId, "01 01 04 0A 03 11 00 08");
        Serve({{"Colour", "127.0.89.101", SampleProfile("colour-page")},
               {"ColourS04", "127.0.89.102", SampleProfile("colour-page-s04")},
               {"MonoJ", "127.0.89.103", SampleProfile("mono-page-jp")},
               {"MonoOpk", "127.0.89.104", SampleProfile("mono-page-opk")},
               {"Bare", "127.0.89.105", bare},
               {"NoSizes", "127.0.89.109", noSizes},
               {"Listed", "127.0.89.106", listed},
               {"OemH", "127.0.89.107", SampleProfile("system-oem-h")},
               {"OemLocal", "127.0.89.108", SampleProfile("system-oem-local")},
               {"Ink17", "USB021", SampleProfile("inkjet-usb-f17")},
               {"Ink14", "USB022", SampleProfile("inkjet-usb-f14")},
               {"NoInk", "USB023", noInk}});
    }
};

struct PageCase {
    const char* queue;
    DWORD modelBits, pdlBits, memoryMB;
};

}  // namespace

TEST_F(ModelAnswers, PagePrintersFromDeviceIdAndMib) {
    const PageCase cases[] = {
        // QLMPAGECOLOR-01, "A3", character set 106 beside the paper-type mask; "Printer RAM" bytes.
        {"Colour", 0x10003, 0x302, 536870912 / 1024 / 1024},
        // QLMPAGES-04: four colorants, "JA", "A3", character set 3; "Storage RAM" KB at row 3
        // (row 1 is a lower-case "printer ram").
        {"ColourS04", 0x7, 0x304, 393216 / 1024},
        // QLMPAGEJ-04 with a MIB saying "en": Japanese from the device ID; no character set;
        // "Printer RAM" at row 3 after "Storage RAM" at row 1.
        {"MonoJ", 0x4, 0x301, 268435456 / 1024 / 1024},
        // QLMPAGES-04 over MDR: one colorant, "ja" second, character set 3; "Storage RAM".
        {"MonoOpk", 0x4, 0x304, 131072 / 1024},
        // QLMPAGE-04 asks no colorants; record bit 0x400 of a listed model; negative size.
        {"Listed", 0x402, 0x301, 0},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.queue);
        Opened printer(c.queue);
        ASSERT_EQ(printer.result, 1);
        ASSERT_EQ(printer->GetPrinterCategory(), PRINTER_CATEGORY_PAGE);
        DWORD bits = 0xDEAD0000;
        EXPECT_EQ(printer->GetModelInfoBits(&bits), 1);
        EXPECT_EQ(bits, c.modelBits);
        EXPECT_EQ(printer->GetSupportPDLBits(), c.pdlBits);
        EXPECT_EQ(printer->GetInstalledMemory(), c.memoryMB);
    }

    // The character set is read at its own object, also where the paper-type mask lies before it.
    Opened colour("Colour");
    DWORD charSet = 0;
    EXPECT_EQ(colour->GetJobCtrlLangCharSet(&charSet), 1);
    EXPECT_EQ(charSet, 106u);
    EXPECT_EQ(colour->GetJobCtrlLangCharSet(nullptr), 0);
    EXPECT_EQ(colour->GetModelInfoBits(nullptr), 0);

    // The colorant count sets and clears the colour bit and leaves the others.
    Opened mono("MonoOpk");
    DWORD colour1 = 0x81;
    EXPECT_EQ(mono->GetColorInfoBitsByMIB(&colour1), 1);
    EXPECT_EQ(colour1, 0x80u);
}

TEST_F(ModelAnswers, PagePrinterFailuresEndTheQueryAndLeaveWhatWasFound) {
    Opened bare("Bare");
    ASSERT_EQ(bare.result, 1);
    DWORD bits = 0xFF;
    EXPECT_EQ(bare->GetModelInfoBits(&bits), 0);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(bare->GetInstalledMemory(), 0u);
    EXPECT_EQ(bare->GetSupportPDLBits(), 0x304u);

    // No paper sizes: the query fails with the Japanese bit already set.
    Opened noSizes("NoSizes");
    ASSERT_EQ(noSizes.result, 1);
    EXPECT_EQ(noSizes->GetModelInfoBits(&bits), 0);
    EXPECT_EQ(bits, 0x4u);
    // Neither RAM name matches ("printer ram" is not "Printer RAM"): memory unknown.
    EXPECT_EQ(noSizes->GetInstalledMemory(), 0u);
}

TEST_F(ModelAnswers, InkjetsFromStatusDeviceIdAndMediaAnalysis) {
    // Format 17 over TVD4: colour inks, QLMPR, resolution 360, "62"/"69" sizes, P-section words
    // 5 (14) and 21 (11), format-17 mark.
    Opened ink17("Ink17");
    ASSERT_EQ(ink17.result, 1);
    DWORD bits = 0;
    EXPECT_EQ(ink17->GetModelInfoBits(&bits), 1);
    EXPECT_EQ(bits, 0x1 | 0x2 | 0x8 | 0x10 | 0xE0000 | 0x700000 | 0x10000000u);
    EXPECT_EQ(ink17->GetSupportPDLBits(), 0x310u);
    EXPECT_EQ(ink17->GetInstalledMemory(), 0u);

    // Formats 14/16 over D4: black inks only, no format-17 bits.
    Opened ink14("Ink14");
    ASSERT_EQ(ink14.result, 1);
    EXPECT_EQ(ink14->GetModelInfoBits(&bits), 1);
    EXPECT_EQ(bits, 0x2 | 0x8 | 0x10u);

    // A status reply without the ink field fails the query.
    Opened noInk("NoInk");
    ASSERT_EQ(noInk.result, 1);
    EXPECT_EQ(noInk->GetModelInfoBits(&bits), 0);
}

TEST_F(ModelAnswers, SystemOemPrintersFromTheirRecord) {
    // Model-H (row bits 0x500, PDL 0x4, 128 MB): over SNMP the printer's 768 MB count, and 0x800
    // says a channel is there.
    Opened oem("OemH");
    ASSERT_EQ(oem.result, 1);
    ASSERT_EQ(oem->GetPrinterCategory(), PRINTER_CATEGORY_SYSTEM_OEM);
    m_live.EnableLog();
    DWORD bits = 0;
    EXPECT_EQ(oem->GetModelInfoBits(&bits), 1);
    EXPECT_EQ(bits, 0xD00u);
    EXPECT_EQ(m_live.Sends(), 0u) << "the model bits come from the record";
    EXPECT_EQ(oem->GetSupportPDLBits(), 0x304u);
    EXPECT_EQ(oem->GetInstalledMemory(), 786432u / 1024);

    // Without a channel: the record's memory, no 0x800; the printer's MIB is never read.
    Opened local("OemLocal");
    ASSERT_EQ(local.result, 1);
    ASSERT_EQ(local->IsChannelAvailable(), 0u);
    EXPECT_EQ(local->GetModelInfoBits(&bits), 1);
    EXPECT_EQ(bits, 0x500u);
    EXPECT_EQ(local->GetSupportPDLBits(), 0x304u);
    EXPECT_EQ(local->GetInstalledMemory(), 128u);
}
