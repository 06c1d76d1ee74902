// The paper answers of CBIDI_BP: input trays of page, ink-jet and System OEM printers, supported
// paper sizes, types and directions with their caches, and the limits of user-defined paper; the
// tray-details reply read on its own. Printers live on 127.0.90.x and USB041-USB043.
#include "test_bp_answers.h"
#include "bidi/InfoReplies.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

using namespace bp_answers;

namespace {

const char* const kQlmPage04 = "MFG:Vintal;MDL:Corvia LP-700;CMD:PJL,QLMPAGE-04;CLS:PRINTER;";

// The media path table of a temporary printer: types, then per row unit and the four limits.
std::string Paths(std::initializer_list<int64_t> types, std::initializer_list<int64_t> units,
                  std::initializer_list<int64_t> maxFeed, std::initializer_list<int64_t> maxXFeed,
                  std::initializer_list<int64_t> minFeed, std::initializer_list<int64_t> minXFeed) {
    return Ints(kPathType, types) + Ints(kPathUnit, units) + Ints(kPathMaxFeed, maxFeed) +
           Ints(kPathMaxXFeed, maxXFeed) + Ints(kPathMinFeed, minFeed) + Ints(kPathMinXFeed, minXFeed);
}

class PaperAnswers : public AnswersTest {
protected:
    void SetUp() override {
        // No simplex path: row 1, in micrometres, 9 m long (only x100 is computed for this unit);
        // "MP Tray" second, and a paper-type column one row short.
        const std::string wide = PagePrinter(
            m_files, "wide", kQlmPage04,
            Paths({3, 4}, {4, 3}, {9000000, 140000}, {1000000, 85000}, {100001, 50000}, {99999, 30000}) +
                Texts(kInputName, {"Tray 1", "MP Tray", "Tray 2"}) + Ints(kInputPaperSize, {9, 1, 8}) +
                Ints(kInputPaperType, {1, 2}) + Ints(kInputCapacity, {500, 100, 500}) +
                Ints(kInputLevel, {10, 20, 30}));
        // Limits whose 32-bit arithmetic would overflow: x254 in unit 3, x100 in unit 4.
        const std::string over3 =
            PagePrinter(m_files, "over3", kQlmPage04, Paths({5}, {3}, {8454661}, {85000}, {50000}, {30000}));
        const std::string over4 =
            PagePrinter(m_files, "over4", kQlmPage04,
                        Paths({4, 5}, {4, 4}, {1, 297000}, {1, 210000}, {1, 30000000}, {1, 90000}));
        // Simplex at row 2 with a unit at row 1 only.
        const std::string noUnit = PagePrinter(m_files, "nounit", kQlmPage04,
                                               Paths({4, 5}, {3}, {1, 140000}, {1, 85000}, {1, 50000}, {1, 30000}));
        // Nothing but media path types given as text.
        const std::string bare = PagePrinter(m_files, "bare", kQlmPage04, Texts(kPathType, {"simplex"}));
        // System OEM Model-J (bits 0x200 only) and Model-H with two inputs.
        const std::string oemH = ReadFile(SampleProfile("system-oem-h") + "/mib.snmprec");
        std::string modelJ = oemH;
        modelJ.replace(modelJ.find("MDL:Model-H 20;"), 15, "MDL:Model-J 5;");
        std::string twoInputs = oemH;
        const std::string third = "1.3.6.1.2.1.43.8.2.1.2.1.3|2|3\n";
        twoInputs.erase(twoInputs.find(third), third.size());
        const std::string profile = R"({"channels": ["snmp"]})";
        Serve({{"Colour", "127.0.90.1", SampleProfile("colour-page")},
               {"ColourS04", "127.0.90.2", SampleProfile("colour-page-s04")},
               {"MonoJ", "127.0.90.3", SampleProfile("mono-page-jp")},
               {"MonoOpk", "127.0.90.4", SampleProfile("mono-page-opk")},
               {"Wide", "127.0.90.5", wide},
               {"Over3", "127.0.90.6", over3},
               {"Over4", "127.0.90.7", over4},
               {"NoUnit", "127.0.90.8", noUnit},
               {"Bare", "127.0.90.9", bare},
               {"NetInk", "127.0.90.10", SampleProfile("inkjet-network")},
               {"OpkInk", "127.0.90.11", SampleProfile("inkjet-opk")},
               {"OemB", "127.0.90.12", SampleProfile("system-oem-b")},
               {"OemH", "127.0.90.13", SampleProfile("system-oem-h")},
               {"OemJ", "127.0.90.14", WriteProfile(m_files, "oemj", profile, modelJ)},
               {"OemH2", "127.0.90.15", WriteProfile(m_files, "oemh2", profile, twoInputs)},
               {"OemLocal", "127.0.90.16", SampleProfile("system-oem-local")},
               {"Ink17", "USB041", SampleProfile("inkjet-usb-f17")},
               {"Ink14", "USB042", SampleProfile("inkjet-usb-f14")},
               {"Busy", "USB043", SampleProfile("inkjet-usb-busy")}});
    }

    std::vector<Tray> TraysOf(const std::string& queue, DWORD flags = 0) {
        Opened printer(queue, flags);
        EXPECT_EQ(printer.result, 1) << queue;
        BICassetteList list;
        EXPECT_EQ(printer->GetCassetteInfo(&list), 1) << queue;
        return Trays(list);
    }
    // The limits of a queue; nothing when the query fails.
    std::optional<std::array<int32_t, 8>> LimitsOf(const std::string& queue) {
        Opened printer(queue);
        EXPECT_EQ(printer.result, 1) << queue;
        VANTO_USERDEF_MAXMIN limits{};
        if (printer->GetUserDefMaxMin(&limits) != 1) return std::nullopt;
        return Limits(limits);
    }
};

constexpr int kUnknown = 0xFFFE, kNoId = 0xFFFF;

}  // namespace

TEST_F(PaperAnswers, PageTraysFromMpTrayOrAfterAuto) {
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

TEST_F(PaperAnswers, PaperListsAreCachedUntilClose) {
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
    EXPECT_EQ(sizes->size(), 7u);
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
}

TEST_F(PaperAnswers, UserDefinedLimitsAtTheChosenRowInBothUnits) {
    using L = std::array<int32_t, 8>;
    // Unit 3 at row 1: 140000 -> 3556 and 1400; minimum 50000 -> 1270 (1270.9999 truncated).
    EXPECT_EQ(LimitsOf("Colour"), (L{3556, 2159, 1270, 889, 1400, 850, 500, 350}));
    // Unit 3 at row 2 (simplex) after a unit-4 duplex row; minima round up: 50001 -> 501.
    EXPECT_EQ(LimitsOf("MonoJ"), (L{3556, 2159, 1271, 762, 1400, 850, 501, 300}));
    // Unit 4 at row 2 after a unit-3 duplex row.
    EXPECT_EQ(LimitsOf("ColourS04"), (L{4318, 2970, 1481, 990, 1700, 1169, 583, 390}));
    // Over MDR, row 1.
    EXPECT_EQ(LimitsOf("MonoOpk"), (L{3556, 2159, 1270, 762, 1400, 850, 500, 300}));
    // Paths [3, 4] take row 1; 9 m in micrometres fits the unit's arithmetic.
    EXPECT_EQ(LimitsOf("Wide"), (L{90000, 10000, 1001, 1000, 35433, 3937, 394, 394}));

    EXPECT_EQ(LimitsOf("Over3"), std::nullopt);
    EXPECT_EQ(LimitsOf("Over4"), std::nullopt);
    EXPECT_EQ(LimitsOf("NoUnit"), std::nullopt);
    EXPECT_EQ(LimitsOf("Bare"), std::nullopt);

    // System OEM printers copy the record; ink-jets leave the record as it was.
    EXPECT_EQ(LimitsOf("OemLocal"), (L{2970, 2100, 1000, 900, 1169, 826, 394, 354}));
    EXPECT_EQ(LimitsOf("OemB"), (L{3556, 2159, 1480, 980, 1400, 850, 583, 386}));
    Opened ink("Ink14");
    VANTO_USERDEF_MAXMIN untouched{};
    untouched.lHeiMAX = 77;
    EXPECT_EQ(ink->GetUserDefMaxMin(&untouched), 1);
    EXPECT_EQ(Limits(untouched), (L{77, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(ink->GetUserDefMaxMin(nullptr), 0);
}

TEST_F(PaperAnswers, InkjetTraysMergeTheTrayDetailsIntoTheMediaSources) {
    // Media analysis found sources 0x1, 0x100 and 0x1000; the tray details update 0x1 (code
    // 0x0100) and add 0x10 (code 0x0200). Over SNMP and TVD4 alike.
    const std::vector<Tray> format17 = {{0x1, 0, 15, 0, 0, 100, 0},
                                        {0x100, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                        {0x1000, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                        {0x10, 0, 15, 0, 1, 250, 0}};
    EXPECT_EQ(TraysOf("NetInk"), format17);
    EXPECT_EQ(TraysOf("Ink17"), format17);
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
    Opened busy("Busy");
    ASSERT_EQ(busy.result, 1);
    BICassetteList list(3);
    EXPECT_EQ(busy->GetCassetteInfo(&list), 1);
    EXPECT_EQ(Trays(list), (std::vector<Tray>{{0x100, 0, kNoId, kNoId, 0, kUnknown, kUnknown},
                                              {0x1000, 0, kNoId, kNoId, 0, kUnknown, kUnknown}}));
    EXPECT_EQ(busy->GetCassetteDetailInfoByD4Cmd(&list), 0);
}

TEST_F(PaperAnswers, SystemOemTraysFromTheRecordAndTheInputCount) {
    auto ids = [this](const std::string& queue) {
        std::vector<int> eids;
        for (const Tray& t : TraysOf(queue)) eids.push_back(t[1]);
        return eids;
    };
    // Model-B (0x300, two trays of sources 7, 1, 2, 3) with three inputs: one more.
    EXPECT_EQ(ids("OemB"), (std::vector<int>{7, 1, 2, 3}));
    // Model-H (0x100, one tray of 7, 1, 2): one more with three inputs, none with two.
    EXPECT_EQ(ids("OemH"), (std::vector<int>{7, 1, 2}));
    EXPECT_EQ(ids("OemH2"), (std::vector<int>{7, 1}));
    // Model-J (0x200): never one more.
    EXPECT_EQ(ids("OemJ"), (std::vector<int>{7, 1}));
    // Without a channel the inputs are not asked.
    m_live.EnableLog();
    EXPECT_EQ(ids("OemLocal"), (std::vector<int>{7, 1}));
    EXPECT_EQ(m_live.Sends(), 0u);
    Opened oem("OemH");
    ASSERT_NE(oem->GetSupportPaperSize(0), nullptr);
    EXPECT_TRUE(oem->GetSupportPaperSize(0)->empty());
    EXPECT_EQ(oem->GetPaperDirection(), nullptr);
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

int Analyze(const Bytes& reply, int form, BICassetteList* list) {
    CBIDI_BP bidi;
    return bidi.AnalyzeCassetteDetialInfo(reply.data(), static_cast<DWORD>(reply.size()), list, form);
}

}  // namespace

TEST(CassetteDetails, RecordsUpdateKnownTraysAddNewOnesAndStopAtTheEnd) {
    const Bytes block = Join({{0x01, 0x16},
                              Record(0x0101, 0xFFFF, 1, 3, 9, 1),  // tray of bit 0x2: in the list
                              Record(0x0999, 10, 1, 1, 1, 1),      // unknown code
                              Record(0x0104, 300, 0, 5, 5, 5),     // bit 0x200, paper not valid
                              Text(";"),
                              Record(0x0102, 20, 1, 1, 1, 1)});
    VANTO_CASETTE_INFO known{};
    known.wPaperSourceBit = 0x2;
    known.wPaperSourceEID = 4;
    known.wCurrentLevel = 7;
    const std::vector<Tray> expected = {{0x2, 4, 9, 3, 1, kUnknown, 0}, {0x200, 0, 0, 0, 0, 300, 0}};
    for (int form : {BP_CASSETTE_FORM_COMMAND, BP_CASSETTE_FORM_PI}) {
        SCOPED_TRACE(form);
        BICassetteList list = {known};
        EXPECT_EQ(Analyze(form == BP_CASSETTE_FORM_PI ? block : Command(block), form, &list), 1);
        EXPECT_EQ(Trays(list), expected);
    }
    // A last record with the 16 bytes read is whole; the shortest command reply has no record.
    BICassetteList list;
    Bytes last = Join({{0x01, 0x0E}, Record(0x0300, 5, 0, 0, 0, 0)});
    last.resize(2 + 16);
    EXPECT_EQ(Analyze(last, BP_CASSETTE_FORM_PI, &list), 1);
    EXPECT_EQ(Trays(list), (std::vector<Tray>{{0x400, 0, 0, 0, 0, 5, 0}}));
    Bytes shortest = Command(Join({{0x01, 0x16}, Bytes(13, ';')}));
    ASSERT_EQ(shortest.size(), 26u);
    shortest.erase(shortest.begin());
    EXPECT_EQ(Analyze(shortest, BP_CASSETTE_FORM_COMMAND, &list), 1);
}

// Each reply would be read without the check it is meant to trip. A printer that says it has no
// details is told apart from a reply that is damaged or not a tray-details reply at all, and a
// failed analysis leaves the list as it was.
TEST(CassetteDetails, DamagedRepliesFail) {
    const Bytes good = Join({{0x01, 0x16}, Record(0x0100, 50, 1, 1, 9, 0), Record(0x0101, 20, 1, 1, 9, 0)});
    // A record with fewer bytes before the end than its length of 22 (the command form's ";" counts).
    const Bytes cut14(good.begin(), good.begin() + 2 + 22 + 14), cut21(good.begin(), good.begin() + 2 + 22 + 21);
    Bytes noS(40, 'x'), sLast(40, 'x');
    sLast.back() = 's';
    Bytes shortCommand = Command(Join({{0x01, 0x16}, Bytes(13, ';')}));
    shortCommand.resize(24);
    Bytes otherCommand = Command(good);
    otherCommand[2] = 't';  // "st:": the status command's reply
    const std::vector<std::tuple<const char*, Bytes, CassetteReply>> commandForm = {
        {"status 01", Command(good, "01"), CassetteReply::NoDetails},
        {"NA", Join({Text("sr:00:NA;"), {0x01, 0x16, ';'}, Bytes(17, 0)}), CassetteReply::NoDetails},
        {"BUSY", Join({Text("sr:00:BUSY;;"), Bytes(19, 0)}), CassetteReply::NoDetails},
        {"24 bytes", shortCommand, CassetteReply::Damaged},
        {"no s", noS, CassetteReply::Damaged},
        {"s at the end", sLast, CassetteReply::Damaged},
        {"another command", otherCommand, CassetteReply::Damaged},
        {"record length 13", Command(Join({{0x01, 0x0D}, Record(0x0100, 50, 1, 1, 9, 0)})), CassetteReply::Damaged},
        {"record cut short", Command(cut14), CassetteReply::Damaged},
    };
    VANTO_CASETTE_INFO known = {};
    known.wPaperSourceBit = 0x1;
    for (const auto& [what, reply, result] : commandForm) {
        BICassetteList list = {known};
        EXPECT_EQ(AnalyzeCassetteReply(reply, kCassetteReplyCommand, &list), result) << what;
        EXPECT_EQ(Trays(list), Trays({known})) << what;
    }
    BICassetteList list = {known};
    EXPECT_EQ(AnalyzeCassetteReply(cut21, kCassetteReplyPI, &list), CassetteReply::Damaged) << "record cut short";
    EXPECT_EQ(Trays(list), Trays({known})) << "a record merged before the damage is undone";
    Bytes fifteen = {0x01, 0x16, ';'};
    fifteen.resize(15);
    EXPECT_EQ(Analyze(fifteen, BP_CASSETTE_FORM_PI, &list), 0) << "15 bytes";
    EXPECT_EQ(CBIDI_BP().AnalyzeCassetteDetialInfo(nullptr, 30, &list, BP_CASSETTE_FORM_PI), 0);
}
