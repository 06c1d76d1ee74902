// What CBIDI_BP answers about page, ink-jet and System OEM printers served by vprinter: model and
// language bits, memory, option units, trays, paper lists and user-defined limits; the
// tray-details reply read on its own. Printers live on 127.0.89.101-130 and USB021-USB025.
#include "test_bp_live_printers.h"
#include "bidi/InfoReplies.h"

#include <array>
#include <initializer_list>
#include <optional>
#include <tuple>

using namespace bp_test;

namespace {

const char* const kQlmPage04 = "MFG:Vintal;MDL:Corvia LP-700;CMD:PJL,QLMPAGE-04;CLS:PRINTER;";
const char* const kQlmPageS04 = "MFG:Vintal;MDL:Corvia LP-900;CMD:PJL,QLMPAGES-04;CLS:PRINTER;";
const char* const kInkjetId = "MFG:Vintal;MDL:Aquila IJ-300;CMD:BDC,D4PX,QLMPR1;CLS:PRINTER;";
constexpr int kUnknown = 0xFFFE, kNoId = 0xFFFF;

// MIB columns (relative to 1.3.6.1) the temporary printers fill.
const std::string kStorageDescr = "2.1.25.2.3.1.3";
const std::string kStorageSize = "2.1.25.2.3.1.5";
const std::string kColorants = "2.1.43.10.2.1.6.1";
const std::string kOutputName = "2.1.43.9.2.1.7.1";
const std::string kOffsetStacking = "2.1.43.9.2.1.24.1";
const std::string kPathType = "2.1.43.13.4.1.9.1";
const std::string kPathDescription = "2.1.43.13.4.1.10.1";

// snmprec lines of one column from row 1 on: integers (type 2) or texts (type 4).
std::string Ints(const std::string& column, std::initializer_list<int64_t> values) {
    std::string text;
    int row = 1;
    for (const int64_t v : values)
        text += "1.3.6.1." + column + "." + std::to_string(row++) + "|2|" + std::to_string(v) + "\n";
    return text;
}
std::string Texts(const std::string& column, std::initializer_list<const char*> values) {
    std::string text;
    int row = 1;
    for (const char* v : values) text += "1.3.6.1." + column + "." + std::to_string(row++) + "|4|" + v + "\n";
    return text;
}

// The media path table: types, then per row unit, maximum and minimum feed and cross-feed.
std::string Paths(std::initializer_list<int64_t> types, std::initializer_list<int64_t> units,
                  std::initializer_list<int64_t> maxFeed, std::initializer_list<int64_t> maxXFeed,
                  std::initializer_list<int64_t> minFeed, std::initializer_list<int64_t> minXFeed) {
    return Ints(kPathType, types) + Ints("2.1.43.13.4.1.3.1", units) + Ints("2.1.43.13.4.1.5.1", maxFeed) +
           Ints("2.1.43.13.4.1.6.1", maxXFeed) + Ints("2.1.43.13.4.1.7.1", minFeed) +
           Ints("2.1.43.13.4.1.8.1", minXFeed);
}

// A page printer on SNMP with this device ID and only these MIB lines, besides its name and one
// object of the agent's own after all printer objects (so that every walk ends inside the view).
std::string PagePrinter(const TempFolder& folder, const std::string& name, const std::string& deviceId,
                        const std::string& mib) {
    return WriteProfile(folder, name, R"({"channels": ["snmp"], "device_id": ")" + deviceId + R"("})",
                        "1.3.6.1.2.1.1.5.0|4|" + name + "\n" + mib + "1.3.6.1.6.3.10.2.1.3.0|2|4213\n");
}

// The formats-14/16 ink-jet on another port with this device ID, these status fields (and
// confidential-job data).
std::string InkjetD4(const TempFolder& folder, const std::string& name, const std::string& port,
                     const std::string& deviceId, const std::string& statusHex, const std::string& pcHex = "") {
    const std::string path = CopyProfile(folder, "inkjet-usb-f14", name, [&](nlohmann::json& p) {
        p["device_id"] = deviceId;
        p["usb_port"] = port;
        if (!pcHex.empty()) p["replies"]["pc"] = "pc.hex";
    });
    folder.Write(name + "/status.hex", statusHex);
    if (!pcHex.empty()) folder.Write(name + "/pc.hex", pcHex);
    return path;
}

// An input tray as (source bit, source ID, size, type, direction, capacity, level).
using Tray = std::array<int, 7>;
std::vector<Tray> Trays(const BICassetteList& list) {
    std::vector<Tray> trays;
    for (const VANTO_CASETTE_INFO& c : list)
        trays.push_back({c.wPaperSourceBit, c.wPaperSourceEID, c.wPaperSizeID, c.wPaperTypeID, c.byDirection,
                         c.wMaxCapacity, c.wCurrentLevel});
    return trays;
}

// The eight user-defined limits in record order.
using Limits = std::array<int32_t, 8>;
Limits LimitsOf(const VANTO_USERDEF_MAXMIN& l) {
    return {l.lHeiMAX, l.lWidMAX, l.lHeiMIN, l.lWidMIN, l.lHeiMAX_Inch, l.lWidMAX_Inch, l.lHeiMIN_Inch, l.lWidMIN_Inch};
}

class Answers : public LiveTest {
protected:
    void SetUp() override {
        std::vector<LiveQueue> queues = {{"Colour", "127.0.89.101", SampleProfile("colour-page")},
                                         {"ColourS04", "127.0.89.102", SampleProfile("colour-page-s04")},
                                         {"MonoJ", "127.0.89.103", SampleProfile("mono-page-jp")},
                                         {"MonoOpk", "127.0.89.104", SampleProfile("mono-page-opk")},
                                         {"OpkInk", "127.0.89.106", SampleProfile("inkjet-opk")},
                                         {"OemB", "127.0.89.107", SampleProfile("system-oem-b")},
                                         {"OemH", "127.0.89.108", SampleProfile("system-oem-h")},
                                         {"OemLocal", "127.0.89.109", SampleProfile("system-oem-local")},
                                         {"Ink17", "USB021", SampleProfile("inkjet-usb-f17")},
                                         {"Ink14", "USB022", SampleProfile("inkjet-usb-f14")},
                                         {"Busy", "USB025", SampleProfile("inkjet-usb-busy")}};
        int host = 110;
        auto page = [&](const std::string& queue, const std::string& deviceId, const std::string& mib) {
            queues.push_back({queue, "127.0.89." + std::to_string(host++), PagePrinter(m_files, queue, deviceId, mib)});
        };
        // Colorant count and media path type as text, and no other column.
        page("Bare", kQlmPageS04, Texts(kColorants, {"four"}) + Texts(kPathType, {"simplex"}));
        // Colorants and languages but neither paper sizes nor a "Printer RAM" / "Storage RAM" row.
        page("NoSizes", kQlmPageS04,
             Ints(kColorants, {1}) + Texts("2.1.43.7.1.1.2.1", {"en", "ja"}) +
                 Texts(kStorageDescr, {"RAM", "printer ram"}) + Ints(kStorageSize, {1048576, 268435456}));
        // A model of the System OEM list without the System OEM bits (row bit 0x400); four
        // colorants that must not be asked; a negative storage size.
        page("Listed", "MFG:Vintal;MDL:Model-K 7;CMD:PJL,QLMPAGE-04;CLS:PRINTER;",
             Ints(kColorants, {4}) + Texts(kStorageDescr, {"Storage RAM"}) + Ints(kStorageSize, {-16777216}) +
                 Texts("4.1.4913.1.2.2.6.1.1.2.1", {"A3"}));
        // A stacker whose offset-stacking list ends before its row; capital-L duplex text only;
        // storage named "Storage HDD" beside a lower-case "printer cf".
        page("Short", kQlmPage04,
             Texts(kStorageDescr, {"printer cf", "Storage HDD"}) +
                 Texts(kPathDescription, {"Duplex Long Edge Binding"}) +
                 Texts(kOutputName, {"Face-down Tray", "Stacker"}) + Ints(kOffsetStacking, {3}));
        // A stacker whose offset-stacking column answers text; a lower-case RAM disk.
        page("NoOffsets", kQlmPage04,
             Texts(kStorageDescr, {"printer ram disk"}) + Texts(kPathDescription, {"Simplex"}) +
                 Texts(kOutputName, {"Stacker"}) + Texts(kOffsetStacking, {"on"}));
        // No simplex path: row 1, in micrometres, 9 m long (only x100 is computed for this unit);
        // "MP Tray" second, and a paper-type column one row short.
        page("Wide", kQlmPage04,
             Paths({3, 4}, {4, 3}, {9000000, 140000}, {1000000, 85000}, {100001, 50000}, {99999, 30000}) +
                 Texts("2.1.43.8.2.1.13.1", {"Tray 1", "MP Tray", "Tray 2"}) +
                 Ints("4.1.4913.1.2.2.23.1.1.2.1", {9, 1, 8}) + Ints("4.1.4913.1.2.2.23.1.1.6.1", {1, 2}) +
                 Ints("2.1.43.8.2.1.9.1", {500, 100, 500}) + Ints("2.1.43.8.2.1.10.1", {10, 20, 30}));
        // Limits whose 32-bit arithmetic would overflow (x254 in unit 3; unit 4 takes the same
        // bound); simplex at row 2 with a unit at row 1 only.
        page("Over3", kQlmPage04, Paths({5}, {3}, {8454661}, {85000}, {50000}, {30000}));
        page("NoUnit", kQlmPage04, Paths({4, 5}, {3}, {1, 140000}, {1, 85000}, {1, 50000}, {1, 30000}));
        // System OEM Model-J (bits 0x200 only) and Model-H with two inputs.
        std::string modelJ = ReadFile(SampleProfile("system-oem-h") + "/mib.snmprec");
        std::string twoInputs = modelJ;
        modelJ.replace(modelJ.find("MDL:Model-H 20;"), 15, "MDL:Model-J 5;");
        const std::string third = "1.3.6.1.2.1.43.8.2.1.2.1.3|2|3\n";
        twoInputs.erase(twoInputs.find(third), third.size());
        const std::string snmp = R"({"channels": ["snmp"]})";
        queues.push_back({"OemJ", "127.0.89.120", WriteProfile(m_files, "oemj", snmp, modelJ)});
        queues.push_back({"OemH2", "127.0.89.121", WriteProfile(m_files, "oemh2", snmp, twoInputs)});
        // Ink-jets on D4: a status without ink field; a storage field of version 16 and a
        // confidential-job element running past the reply's end.
        queues.push_back(
            {"NoInk", "USB023", InkjetD4(m_files, "noink", "USB023", kInkjetId, "01 01 04 0A 03 11 00 08")});
        queues.push_back({"Broken", "USB024",
                          InkjetD4(m_files, "broken", "USB024",
                                   "MFG:Vintal;MDL:Aquila IJ-300;CMD:BDC,D4PX,QLMPR1;FID:DPA;CLS:PRINTER;",
                                   "0A 03 10 00 08 0F 03 03 00 01", "00 00 04 00 01")});
        m_printers = Serve(m_live, queues);
        ASSERT_TRUE(m_printers->Ready());
    }

    std::vector<Tray> TraysOf(const std::string& queue, DWORD flags = 0) {
        auto printer = OpenQueue(queue, flags);
        BICassetteList list;
        EXPECT_EQ(printer->GetCassetteInfo(&list), 1) << queue;
        return Trays(list);
    }
    // The limits of a queue; nothing when the query fails.
    std::optional<Limits> LimitsOfQueue(const std::string& queue) {
        auto printer = OpenQueue(queue);
        VANTO_USERDEF_MAXMIN limits{};
        if (printer->GetUserDefMaxMin(&limits) != 1) return std::nullopt;
        return LimitsOf(limits);
    }
};

}  // namespace

TEST_F(Answers, ModelLanguageAndMemoryAnswers) {
    // Queue, result, model bits, PDL bits, memory in MB.
    const std::tuple<const char*, int, DWORD, DWORD, DWORD> cases[] = {
        // QLMPAGECOLOR-01, "A3", character set 106 beside the paper-type mask; "Printer RAM" bytes.
        {"Colour", 1, 0x10003, 0x302, 536870912 / 1024 / 1024},
        // QLMPAGES-04: four colorants, "JA", "A3", character set 3; "Storage RAM" KB at row 3
        // (row 1 is a lower-case "printer ram").
        {"ColourS04", 1, 0x7, 0x304, 393216 / 1024},
        // QLMPAGEJ-04 with a MIB saying "en": Japanese from the device ID; no character set;
        // "Printer RAM" at row 3 after "Storage RAM" at row 1.
        {"MonoJ", 1, 0x4, 0x301, 268435456 / 1024 / 1024},
        // QLMPAGE-04 asks no colorants; record bit 0x400 of a listed model; negative size.
        {"Listed", 1, 0x402, 0x301, 0},
        // Failures end the query and leave what was found: a text colorant count; no paper sizes
        // with the Japanese bit already set ("printer ram" is not "Printer RAM": memory unknown).
        {"Bare", 0, 0, 0x304, 0},
        {"NoSizes", 0, 0x4, 0x304, 0},
        // Ink-jets: format 17 over TVD4 (colour inks, QLMPR, resolution 360, "62"/"69" sizes,
        // P-section words 5 (14) and 21 (11), format-17 mark); formats 14/16 over D4 (black inks
        // only); a status reply without the ink field fails the query.
        {"Ink17", 1, 0x1 | 0x2 | 0x8 | 0x10 | 0xE0000 | 0x700000 | 0x10000000u, 0x310, 0},
        {"Ink14", 1, 0x2 | 0x8 | 0x10u, 0x310, 0},
        {"NoInk", 0, 0, 0x310, 0},
        // System OEM: Model-H (row bits 0x500, 128 MB) over SNMP gives the printer's 768 MB and
        // 0x800 for a channel; without a channel the record's bits and memory.
        {"OemH", 1, 0xD00, 0x304, 786432 / 1024},
        {"OemLocal", 1, 0x500, 0x304, 128},
    };
    for (const auto& [queue, result, modelBits, pdlBits, memoryMB] : cases) {
        SCOPED_TRACE(queue);
        auto printer = OpenQueue(queue);
        DWORD bits = 0xDEAD0000;
        EXPECT_EQ(printer->GetModelInfoBits(&bits), result);
        EXPECT_EQ(bits, modelBits);
        EXPECT_EQ(printer->GetSupportPDLBits(), pdlBits);
        EXPECT_EQ(printer->GetInstalledMemory(), memoryMB);
    }

    // Colour's character set (106: its UTF-8 bit 0x10000) is read at its own object, also where
    // the paper-type mask lies before it.
    Opened colour("Colour");
    EXPECT_EQ(colour->GetJobCtrlLangCharSet(nullptr), 0);
    EXPECT_EQ(colour->GetModelInfoBits(nullptr), 0);
    // The colorant count sets and clears the colour bit and leaves the others.
    DWORD colour1 = 0x81;
    EXPECT_EQ(Opened("MonoOpk")->GetColorInfoBitsByMIB(&colour1), 1);
    EXPECT_EQ(colour1, 0x80u);
}

TEST_F(Answers, OptionUnitBits) {
    const std::tuple<const char*, DWORD, int64_t> cases[] = {
        // HDD and RAM disk; both duplex texts; face-up tray, stacker with a stapler.
        {"Colour", 0, 0x507},
        // CF and RAM disk; short-edge duplex; face-up tray, offset stacking (4) at the stacker's
        // row, no finisher column (only logged).
        {"ColourS04", 0, 0x907},
        // HDD; "Duplex long Edge Binding"; stacker at row 2 with 5 there (4 is the face-down tray's).
        {"MonoJ", 0, 0x205},
        // "Storage HDD" (not "printer cf"); offset list too short for the stacker's row.
        {"Short", 0, 0x204},
        // Ink-jets: storage from the status field (version 17, bit 0x08), duplex from FID:DPA,
        // confidential kinds 0 and 1; D4 without storage or DPA, "pc" answering NA quietly; a
        // damaged confidential-job element fails instead of reading as none.
        {"Ink17", 0, 0x30005},
        {"Ink14", 0, 0},
        {"Broken", 0, -1},
        // A large ink-jet on the job-language port asks neither storage nor confidential jobs.
        {"OpkInk", BP_FLAG_FORCE_LARGE_INKJET, 0x1},
        // Model-B: duplex option in the record; bits 0x300 ask the storage ("CF", "HDD").
        // Model-H: no duplex option, so the media path types (3) tell; it lacks bit 0x200, so
        // its MIB's "CF" row is never asked for. Without a channel: only the record's duplex
        // option.
        {"OemB", 0, 0x5},
        {"OemH", 0, 0x1},
        {"OemLocal", 0, 0},
    };
    for (const auto& [queue, flags, expected] : cases) {
        SCOPED_TRACE(queue);
        auto printer = OpenQueue(queue, flags);
        DWORD bits = 0;
        EXPECT_EQ(printer->GetOptionUnitBits(&bits) == 1 ? int64_t{bits} : -1, expected);
    }

    // A failing sub-query ends the query: the later ones are not asked.
    m_live.EnableLog();
    DWORD bits = 0;
    EXPECT_EQ(Opened("Bare")->GetOptionUnitBits(&bits), 0);
    EXPECT_EQ(m_live.CountInNewLog("CBIDI_BP::GetOptionUnitBitsDuplexUnit"), 0u);
    // Sub-queries only add bits (that lower-case names and other path texts add none is Short's).
    Opened noOffsets("NoOffsets");
    bits = 0x8000;
    EXPECT_EQ(noOffsets->GetOptionUnitBitsFinisher(&bits), 0);
    EXPECT_EQ(noOffsets->GetOptionUnitBitsStorage(&bits), 1);
    EXPECT_EQ(bits, 0x8000u);
    EXPECT_EQ(noOffsets->GetOptionUnitBits(nullptr), 0);

    // Confidential jobs: PI requests on the job-language port (kind 0 with the two-byte value 1,
    // kind 5 skipped, kind 1 with value 2 not supported); not supported on D4; damaged.
    DWORD kinds = 0;
    EXPECT_EQ(Opened("OpkInk", BP_FLAG_FORCE_LARGE_INKJET)->IsSupportConfidentialJobFunction(&kinds), 1);
    EXPECT_EQ(kinds, 0x1u);
    EXPECT_EQ(Opened("Ink14")->IsSupportConfidentialJobFunction(&kinds), 0);
    DWORD flag = 7;
    EXPECT_EQ(Opened("Broken")->GetOptionStorageInfoBySTReply(&flag), 1);
    EXPECT_EQ(flag, 0u) << "storage field version 16";
}

TEST_F(Answers, PageTraysFromMpTrayOrAfterAuto) {
    // From "MP Tray" on; a current level of -3 (at least one sheet) kept as its 16 bits.
    EXPECT_EQ(TraysOf("Colour"), (std::vector<Tray>{{0, 0, 9, 1, 0, 100, 0}, {0, 0, 9, 1, 0, 550, 330},
                                                     {0, 0, 8, 1, 0, 550, 550}, {0, 0, 1, 2, 0, 550, 0xFFFD}}));
    // After "Auto", over MDR.
    EXPECT_EQ(TraysOf("MonoOpk"), (std::vector<Tray>{{0, 0, 9, 1, 0, 250, 120}, {0, 0, 9, 1, 0, 500, 500}}));
    // No capacity or level column: unknown for every tray.
    EXPECT_EQ(TraysOf("MonoJ"),
              (std::vector<Tray>{{0, 0, 9, 1, 0, kUnknown, kUnknown}, {0, 0, 11, 2, 0, kUnknown, kUnknown}}));
    // "MP Tray" second: the first tray is skipped; the walk stops where the type column ends.
    EXPECT_EQ(TraysOf("Wide"), (std::vector<Tray>{{0, 0, 1, 2, 0, 100, 20}}));

    // Neither name; no input table at all. The caller's list is appended to, never cleared.
    BICassetteList list(1);
    EXPECT_EQ(Opened("ColourS04")->GetCassetteInfo(&list), 0);
    EXPECT_EQ(Opened("Bare")->GetCassetteInfo(&list), 0);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(Opened("Colour")->GetCassetteInfo(&list), 1);
    EXPECT_EQ(list.size(), 5u);
}

TEST_F(Answers, PaperListsAreCachedUntilClose) {
    Opened colour("Colour");
    const BIStringList* sizes = colour->GetSupportPaperSize(7);
    ASSERT_NE(sizes, nullptr);
    EXPECT_EQ(*sizes, (BIStringList{"A4", "A3", "A5", "B5", "Letter", "Legal", "Executive"}));
    // The mask 0x84040000 adds "Letterhead" and "Labels"; "Plain" is there already.
    const BIStringList* types = colour->GetSupportPaperType();
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(*types, (BIStringList{"Plain", "Thick", "Recycled", "Transparency", "Letterhead", "Labels"}));
    const BIStringList* directions = colour->GetPaperDirection();
    ASSERT_NE(directions, nullptr);
    EXPECT_EQ(*directions, (BIStringList{"SEF", "SEF", "LEF", "SEF", "SEF", "SEF", "LEF"}));
    m_live.EnableLog();
    EXPECT_EQ(colour->GetSupportPaperSize(0), sizes);
    EXPECT_EQ(colour->GetSupportPaperType(), types);
    EXPECT_EQ(colour->GetPaperDirection(), directions);
    EXPECT_EQ(m_live.Sends(), 0u);
    colour->Close();
    ASSERT_EQ(colour->Open(u"Colour"), 1);
    m_live.MarkLog();
    EXPECT_EQ(colour->GetSupportPaperSize(0)->size(), 7u);
    EXPECT_GT(m_live.Sends(), 0u) << "Close empties the caches";

    // Fewer directions than sizes over SNMP: padded; the mask's "Thick" is not repeated.
    Opened colourS04("ColourS04");
    EXPECT_EQ(*colourS04->GetPaperDirection(), (BIStringList{"SEF", "LEF", "", ""}));
    EXPECT_EQ(*colourS04->GetSupportPaperType(), (BIStringList{"Plain", "Thick", "Extra Thick", "High Quality"}));
    // Row by row over MDR; no mask object.
    EXPECT_EQ(Opened("MonoOpk")->GetPaperDirection()->size(), 7u);
    EXPECT_EQ(*Opened("MonoJ")->GetSupportPaperType(), (BIStringList{"Plain", "Recycled"}));

    Opened bare("Bare");
    EXPECT_EQ(bare->GetSupportPaperSize(0), nullptr);
    EXPECT_EQ(bare->GetSupportPaperType(), nullptr);
    EXPECT_EQ(bare->GetPaperDirection(), nullptr);
    // System OEM printers have no paper sizes to ask and no directions.
    Opened oem("OemH");
    ASSERT_NE(oem->GetSupportPaperSize(0), nullptr);
    EXPECT_TRUE(oem->GetSupportPaperSize(0)->empty());
    EXPECT_EQ(oem->GetPaperDirection(), nullptr);
}

TEST_F(Answers, UserDefinedLimitsAtTheChosenRowInBothUnits) {
    // Unit 3 at row 1: 140000 -> 3556 and 1400; minimum 50000 -> 1270 (1270.9999 truncated).
    EXPECT_EQ(LimitsOfQueue("Colour"), (Limits{3556, 2159, 1270, 889, 1400, 850, 500, 350}));
    // Unit 4 at row 2 after a unit-3 duplex row.
    EXPECT_EQ(LimitsOfQueue("ColourS04"), (Limits{4318, 2970, 1481, 990, 1700, 1169, 583, 390}));
    // Paths [3, 4] take row 1; 9 m in micrometres fits the unit's arithmetic.
    EXPECT_EQ(LimitsOfQueue("Wide"), (Limits{90000, 10000, 1001, 1000, 35433, 3937, 394, 394}));
    for (const char* queue : {"Over3", "NoUnit", "Bare"})
        EXPECT_EQ(LimitsOfQueue(queue), std::nullopt) << queue;

    // System OEM printers copy the record; ink-jets leave the record as it was.
    EXPECT_EQ(LimitsOfQueue("OemB"), (Limits{3556, 2159, 1480, 980, 1400, 850, 583, 386}));
    Opened ink("Ink14");
    VANTO_USERDEF_MAXMIN untouched{};
    untouched.lHeiMAX = 77;
    EXPECT_EQ(ink->GetUserDefMaxMin(&untouched), 1);
    EXPECT_EQ(LimitsOf(untouched), (Limits{77, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ink->GetUserDefMaxMin(nullptr), 0);
}

TEST_F(Answers, InkjetTraysMergeTheTrayDetailsIntoTheMediaSources) {
    // Media analysis found sources 0x1, 0x100 and 0x1000; the tray details update 0x1 (code
    // 0x0100) and add 0x10 (code 0x0200).
    EXPECT_EQ(TraysOf("Ink17"), (std::vector<Tray>{{0x1, 0, 15, 0, 0, 100, 0},
                                                    {0x100, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                                    {0x1000, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                                    {0x10, 0, 15, 0, 1, 250, 0}}));
    // D4, formats 14/16: sources 0x100 and 0x1000 only, so both trays are added.
    EXPECT_EQ(TraysOf("Ink14"), (std::vector<Tray>{{0x100, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                                    {0x1000, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                                    {0x1, 0, 15, 0, 0, 100, 0},
                                                    {0x10, 0, 15, 0, 1, 250, 0}}));
    // Job-language port, no media analysis: an unknown code skipped, capacity 0xFFFF unknown,
    // invalid paper fields zero, the second record of code 0x0100 updating the first, nothing
    // read after ";".
    EXPECT_EQ(TraysOf("OpkInk", BP_FLAG_FORCE_LARGE_INKJET),
              (std::vector<Tray>{{0x1, 0, 9, 1, 0, 100, 0}, {0x400, 0, 0, 0, 0, kUnknown, 0}}));

    // A busy printer: the trays are those of the media analysis, the caller's list replaced.
    auto busy = OpenQueue("Busy");
    BICassetteList list(3);
    EXPECT_EQ(busy->GetCassetteInfo(&list), 1);
    EXPECT_EQ(Trays(list), (std::vector<Tray>{{0x100, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                              {0x1000, 0, kNoId, kNoId, 0, kUnknown, kUnknown}}));
    EXPECT_EQ(busy->GetCassetteDetailInfoByD4Cmd(&list), 0);
}

TEST_F(Answers, SystemOemTraysFromTheRecordAndTheInputCount) {
    auto ids = [this](const std::string& queue) {
        std::vector<int> eids;
        for (const Tray& t : TraysOf(queue)) eids.push_back(t[1]);
        return eids;
    };
    // Model-H (0x100, one tray of 7, 1, 2): one more with three inputs, none with two.
    EXPECT_EQ(ids("OemH"), (std::vector<int>{7, 1, 2}));
    EXPECT_EQ(ids("OemH2"), (std::vector<int>{7, 1}));
    // Model-J (0x200): never one more.
    EXPECT_EQ(ids("OemJ"), (std::vector<int>{7, 1}));
    // Without a channel the inputs are not asked.
    EXPECT_EQ(ids("OemLocal"), (std::vector<int>{7, 1}));
}

// ---- The tray-details reply on its own ----

namespace {

using Bytes = std::vector<BYTE>;

Bytes Record(WORD code, WORD capacity, BYTE valid, BYTE type, BYTE size, BYTE direction) {
    Bytes r(22, 0xEE);
    r[0] = static_cast<BYTE>(code >> 8), r[1] = static_cast<BYTE>(code);
    r[2] = static_cast<BYTE>(capacity), r[3] = static_cast<BYTE>(capacity >> 8);
    r[8] = valid, r[9] = type, r[14] = size, r[15] = direction;
    return r;
}
Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
// The reply to "sr": "sr:", status, ":", 16-bit length, ":", block, ";" (with a byte before it).
Bytes Command(const Bytes& block, const std::string& status = "00") {
    return Join({Text("\x01sr:" + status + ":"), {static_cast<BYTE>(block.size()), 0, ':'}, block, Text(";")});
}

}  // namespace

// How the records merge is checked against live printers (InkjetTraysMerge...); here the bounds
// of the reply. A printer that says it has no details is told apart from a reply that is damaged
// or not a tray-details reply at all, and a failed analysis leaves the list as it was.
TEST(CassetteDetails, RepliesAtTheirBoundsReadAndDamagedOnesFail) {
    const Bytes good = Join({{0x01, 0x16}, Record(0x0100, 50, 1, 1, 9, 0), Record(0x0101, 20, 1, 1, 9, 0)});
    // A record with fewer bytes before the end than its length of 22.
    const Bytes cut21(good.begin(), good.begin() + 2 + 22 + 21);
    Bytes otherCommand = Command(good);
    otherCommand[2] = 't';  // "st:": the status command's reply
    // The shortest command reply, 25 bytes, has no record; a last record of 16 bytes is whole.
    Bytes shortest = Command(Join({{0x01, 0x16}, Bytes(13, ';')}));
    shortest.erase(shortest.begin());
    const Bytes shortCommand(shortest.begin(), shortest.end() - 1);
    Bytes last16 = Join({{0x01, 0x0E}, Record(0x0300, 5, 0, 0, 0, 0)});
    last16.resize(2 + 16);
    const std::vector<std::tuple<const char*, Bytes, int, CassetteReply>> cases = {
        {"25 bytes", shortest, kCassetteReplyCommand, CassetteReply::Merged},
        {"status 01", Command(good, "01"), kCassetteReplyCommand, CassetteReply::NoDetails},
        {"NA", Join({Text("sr:00:NA;"), {0x01, 0x16, ';'}, Bytes(17, 0)}), kCassetteReplyCommand,
         CassetteReply::NoDetails},
        {"24 bytes", shortCommand, kCassetteReplyCommand, CassetteReply::Damaged},
        {"another command", otherCommand, kCassetteReplyCommand, CassetteReply::Damaged},
        {"record length 13", Command(Join({{0x01, 0x0D}, Record(0x0100, 50, 1, 1, 9, 0)})), kCassetteReplyCommand,
         CassetteReply::Damaged},
        // A record merged before the damage is undone.
        {"PI record cut short", cut21, kCassetteReplyPI, CassetteReply::Damaged},
    };
    VANTO_CASETTE_INFO known = {};
    known.wPaperSourceBit = 0x1;
    for (const auto& [what, reply, form, result] : cases) {
        BICassetteList list = {known};
        EXPECT_EQ(AnalyzeCassetteReply(reply, form, &list), result) << what;
        EXPECT_EQ(Trays(list), Trays({known})) << what;
    }
    // A known tray keeps its source ID; its level starts again at 0.
    known.wPaperSourceEID = 4;
    known.wCurrentLevel = 7;
    BICassetteList list = {known};
    EXPECT_EQ(AnalyzeCassetteReply(good, kCassetteReplyPI, &list), CassetteReply::Merged);
    EXPECT_EQ(Trays(list), (std::vector<Tray>{{0x1, 4, 9, 1, 0, 50, 0}, {0x2, 0, 9, 1, 0, 20, 0}}));
    list.clear();
    EXPECT_EQ(AnalyzeCassetteReply(last16, kCassetteReplyPI, &list), CassetteReply::Merged);
    EXPECT_EQ(Trays(list), (std::vector<Tray>{{0x400, 0, 0, 0, 0, 5, 0}}));
    Bytes fifteen = {0x01, 0x16, ';'};
    fifteen.resize(15);
    EXPECT_EQ(CBIDI_BP().AnalyzeCassetteDetialInfo(fifteen.data(), 15, &list, BP_CASSETTE_FORM_PI), 0) << "15 bytes";
    EXPECT_EQ(CBIDI_BP().AnalyzeCassetteDetialInfo(nullptr, 30, &list, BP_CASSETTE_FORM_PI), 0);
}
