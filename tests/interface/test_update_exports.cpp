// UpdatePrinterInfo and CheckModelNameHasChanged through the exports, against virtual printers of
// the sample profiles (127.0.116.x, 127.0.117.x and a USB socket).
#include "interface/test_update_harness.h"

#include <signal.h>

namespace {

using namespace update_test;
const std::vector<Sample> kSamples = Fleet("127.0.116.", "USB001");

TEST_F(UpdateExports, EverySampleStoresWhatItsPrinterReportsInTheDriversTerms) {
    vanto_test::VprinterProcess vprinter(AddFleet(kSamples));
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.profile);
        if (s.elements != kAllElements) {
            // A query that fails ends the update before any write: the seeded store stays whole.
            Release(Initialize(Wide(s.queue).c_str(), VANTO_FLAG_PRINTERINFO));
            auto seeded = StoreOf(s.queue);
            EXPECT_EQ(Update(s.queue), -2);
            auto after = StoreOf(s.queue);
            // A System OEM printer's model bits are stored before the queries: they choose the tables.
            if (std::string(s.profile).rfind("system-oem", 0) == 0) {
                after.erase("BIModelInfoBits");
                seeded.erase("BIModelInfoBits");
            }
            EXPECT_EQ(after, seeded);
        }
        ASSERT_EQ(Update(s.queue, s.elements), 0);
        const Answers a = Ask(s.queue);
        const auto store = StoreOf(s.queue);
        const bool oem = a.category == PRINTER_CATEGORY_SYSTEM_OEM, inkjet = a.category == PRINTER_CATEGORY_INKJET;

        // Model name through the string export; bits as reported.
        HVANTO h = Initialize(Wide(s.queue).c_str(), VANTO_FLAG_PRINTERINFO);
        char16_t model[64] = {};
        EXPECT_EQ(GetStringValueW(h, VANTO_SZID_MODELNAME, 0, model, 64), 1);
        EXPECT_EQ(std::u16string(model), a.model);
        EXPECT_EQ(CheckModelNameHasChanged(h), 0) << "the printer is the stored model";
        Release(h);
        EXPECT_EQ(Number(store, "BIModelInfoBits"), a.modelBits);
        EXPECT_EQ(Number(store, "BIOptionUnitBits") & a.options, a.options);
        const bool directions = !inkjet && (a.pdl & 0x4) && !a.directions.empty();
        EXPECT_EQ(Number(store, "BIStoreFlag"), kStoreFlagUpdated | (directions ? kStoreFlagDirections : 0));
        EXPECT_EQ(Number(store, "BIDefaultPDL") & ~Number(store, "BISupportPDL"), 0u) << "one of the supported";

        // Cassettes: one per tray; ink-jet codes become the rows named by them, with the element of
        // the paper source row of their bit.
        const auto cassettes = Records<VANTO_CASETTE_INFO>(store, "BICassetteInfo");
        if (s.elements & 0x10) {
            ASSERT_EQ(Number(store, "BICassetteNum"), a.trays.size());
        }
        if (inkjet) {
            ASSERT_EQ(cassettes.size(), a.trays.size());
            const auto sizes = TableRows("ij_tables.json", 3010);
            for (size_t i = 0; i < cassettes.size(); ++i) {
                WORD expected = 0;
                for (const auto& r : sizes)
                    if (expected == 0 && r["name"] == std::to_string(a.trays[i].wPaperSizeID)) expected = r["id"];
                if (a.trays[i].wPaperSizeID != 0xFFFF) {
                    EXPECT_NE(cassettes[i].wPaperSizeID, 0) << "tray " << i;
                }
                EXPECT_EQ(cassettes[i].wPaperSizeID, expected) << "tray " << i;
                EXPECT_NE(cassettes[i].wPaperSourceEID, 0) << "tray " << i << " source bit " << a.trays[i].wPaperSourceBit;
            }
        }

        // Paper sizes: one entry per table row, shown exactly for the names the printer reports.
        if (!oem) {
            const std::string file = inkjet ? "ij_tables.json" : "lp_tables.json";
            const auto sizeRows = TableRows(file, 3010);
            const auto entries = Records<SBIPaperEntry>(store, "BIPaperSizeIDs");
            ASSERT_EQ(Number(store, "BIPaperSizeNum"), sizeRows.size());
            ASSERT_EQ(entries.size(), sizeRows.size());
            size_t shown = 0;
            for (size_t i = 0; i < entries.size(); ++i) {
                EXPECT_EQ(entries[i].wID, sizeRows[i]["id"].get<int>());
                EXPECT_EQ(entries[i].wShow != 0, ListHolds(a.sizes, sizeRows[i]["name"].get<std::string>().c_str()))
                    << sizeRows[i]["name"];
                shown += entries[i].wShow;
            }
            EXPECT_GT(shown, 0u) << "some reported size is a row of the driver's table";
        }

        // Limits as reported; default settings with no paper named (a printer without defaults).
        const auto limits = Records<VANTO_USERDEF_MAXMIN>(store, "BIUserDefMaxMin");
        ASSERT_EQ(limits.size(), inkjet ? 0u : 1u) << "ink-jets have no user-defined limits to ask";
        if (!inkjet) {
            EXPECT_EQ(std::memcmp(&limits[0], &a.limits, sizeof a.limits), 0);
        }
        const auto defaults = Records<BIDefaultSettings>(store, "BIDefaultSettings");
        ASSERT_EQ(defaults.size(), 1u);
        EXPECT_EQ(defaults[0].dwMediaSizeID, 0u);
        EXPECT_EQ(defaults[0].dwMediaTypeID, 0u) << "an empty name names no paper";
    }
}

TEST_F(UpdateExports, EdgesOfTheElementBitsTheModelCheckAndTheQueueIdentifier) {
    AddQueue("Colour", "127.0.116.1");
    AddQueue("Gone", "127.0.116.9");  // no printer answers there
    m_prefix.AddQueue("NoId", "IP_127.0.116.1");
    vanto_test::VprinterProcess vprinter({"-p", "127.0.116.1=" + SampleProfile("colour-page")});

    // Only upper-half bits select nothing: the flag alone says "updated".
    ASSERT_EQ(Update("Colour", 0x100000000ull), 0);
    auto store = StoreOf("Colour");
    EXPECT_EQ(Number(store, "BIStoreFlag"), kStoreFlagUpdated);
    EXPECT_EQ(store["BIModelName"], (std::vector<BYTE>{0, 0})) << "the seeded empty name stays";

    // The driver's model name must be the printer's with flag 0x100.
    EXPECT_EQ(Update("Colour", kAllElements, 0, VANTO_FLAG_CHECK_MODELNAME), -2);
    EXPECT_EQ(StoreOf("Colour"), store) << "nothing written";

    // No printer: -1 and the seeded store as it was.
    EXPECT_EQ(Update("Gone"), -1);
    EXPECT_EQ(Number(StoreOf("Gone"), "BIStoreFlag"), kStoreFlagSeeded);

    // A queue without its identifier has no store: a clear failure, not a silent success.
    EXPECT_EQ(Update("NoId"), -999);

    // A changed model is reported as changed.
    HVANTO h = Initialize(u"Colour", VANTO_FLAG_PRINTERINFO);
    EXPECT_EQ(SetStringValueW(h, VANTO_SZID_MODELNAME, 0, u"Another Model"), 1);
    EXPECT_EQ(CheckModelNameHasChanged(h), 1);
    Release(h);
}


// The update's writes broken off (process killed before write 3, or write 3 refused): the flag
// still says "seeded", so no reader takes the half-written store for an update.
TEST_F(UpdateExports, WritesBrokenOffLeaveTheStoreFlagAsItWas) {
    AddQueue("Colour", "127.0.116.1");
    vanto_test::VprinterProcess vprinter({"-p", "127.0.116.1=" + SampleProfile("colour-page")});
    const std::string installed = m_prefix.Prefix().DriveC() + "/Windows/System32/spool/drivers/x64/3/VUD3AUDF.DLL";
    fs::copy_file(VANTO_TEST_INTERRUPTING_AUDF, installed, fs::copy_options::overwrite_existing);
    ::setenv("VANTO_TEST_REAL_AUDF", (std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL").c_str(), 1);
    ASSERT_EQ(RunVanto("info Colour"), 0);  // seeds the store
    const auto seeded = StoreOf("Colour");
    ASSERT_EQ(Number(seeded, "BIStoreFlag"), kStoreFlagSeeded);

    // Write 1 is the model name, 2 the model bits; the kill comes before write 3.
    EXPECT_EQ(RunVanto("update Colour", "VANTO_TEST_AUDF_KILL_AT=3"), 128 + SIGKILL);
    auto store = StoreOf("Colour");
    EXPECT_EQ(Number(store, "BIStoreFlag"), kStoreFlagSeeded);
    EXPECT_NE(store["BIModelName"], seeded.at("BIModelName")) << "the writes before the kill stay";
    EXPECT_EQ(store["BIPaperSizeNum"], seeded.at("BIPaperSizeNum")) << "later values untouched";

    ::setenv("VANTO_TEST_AUDF_FAIL_AT", "3", 1);
    EXPECT_EQ(Update("Colour"), -999);
    EXPECT_EQ(Number(StoreOf("Colour"), "BIStoreFlag"), kStoreFlagSeeded);
    ::unsetenv("VANTO_TEST_AUDF_FAIL_AT");
    EXPECT_EQ(Update("Colour"), 0);
    EXPECT_EQ(Number(StoreOf("Colour"), "BIStoreFlag"), kStoreFlagUpdated);
    ::unsetenv("VANTO_TEST_REAL_AUDF");
}

}  // namespace
