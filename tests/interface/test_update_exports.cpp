// UpdatePrinterInfo and CheckModelNameHasChanged through the exports, against virtual printers of
// the sample profiles (127.0.116.x and 127.0.117.x, and a USB socket): the stored values agree with
// what the printer reports (asked once more in this process) and with the sample driver's tables;
// a failed query, a refused write or a killed process leaves the store flag as it was; every fault
// of the virtual printer ends with a status and a store that is either untouched or right.
#include "bidi/test_bp_live_printers.h"
#include "interface/test_values_prefix.h"
#include "vanto.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/wait.h>

#include <map>
#include <set>

using namespace bp_test;

namespace {

constexpr uint64_t kAllElements = 0xFFFFFFFF;
constexpr DWORD kStoreFlagSeeded = 1, kStoreFlagUpdated = 2, kStoreFlagDirections = 4;
const std::string kDriverKey = "SOFTWARE\\KELDA\\PRINTER\\Vintal Universal Driver\\";

constexpr uint64_t kNoCassettes = kAllElements & ~0x10ull;
constexpr uint64_t kNoDirections = kAllElements & ~0x800ull;

struct Sample {
    const char* queue;
    const char* where;  // vprinter address or USB port
    const char* profile;
    uint64_t elements = kAllElements;  // what the printer can answer as a whole
};
// colour-page-s04 names no "MP Tray" or "Auto" input, so its trays cannot be asked; the System
// OEM printer reports no paper directions.
const Sample kSamples[] = {
    {"Colour", "127.0.116.1", "colour-page"},      {"MonoJ", "127.0.116.2", "mono-page-jp"},
    {"S04", "127.0.116.3", "colour-page-s04", kNoCassettes}, {"OemH", "127.0.116.4", "system-oem-h", kNoDirections},
    {"InkNet", "127.0.116.5", "inkjet-network"},   {"MonoOpk", "127.0.116.6", "mono-page-opk"},
    {"InkUsb", "USB001", "inkjet-usb-f17"},
};

// build/vanto in this prefix, its output dropped; its exit code, or -1 when a signal ended it.
int RunVanto(const std::string& args, const std::string& env = "") {
    const int status = std::system((env + " " + VANTO_BUILD_DIR + "/vanto " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string PortOf(const std::string& where) { return where.rfind("USB", 0) == 0 ? where : "IP_" + where; }

// Every value under the queue's store key, by name.
std::map<std::string, std::vector<BYTE>> StoreOf(const std::string& queue) {
    std::map<std::string, std::vector<BYTE>> values;
    auto context = Context(queue);
    const std::u16string key = Wide(kDriverKey) + context->GetQueueGUID();
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return values;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD cch = 256, type = 0, cb = 0;
        if (RegEnumValueW(h, i, name, &cch, nullptr, &type, nullptr, &cb) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(cb);
        if (RegQueryValueExW(h, name, nullptr, &type, data.data(), &cb) == ERROR_SUCCESS)
            values[BILogging::Narrow(name)] = data;
    }
    RegCloseKey(h);
    return values;
}

DWORD Number(const std::map<std::string, std::vector<BYTE>>& store, const std::string& name) {
    auto it = store.find(name);
    if (it == store.end() || it->second.size() != 4) return 0xDEADBEEF;
    DWORD v;
    std::memcpy(&v, it->second.data(), 4);
    return v;
}

template <typename T>
std::vector<T> Records(const std::map<std::string, std::vector<BYTE>>& store, const std::string& name) {
    auto it = store.find(name);
    if (it == store.end()) return {};
    std::vector<T> out(it->second.size() / sizeof(T));
    std::memcpy(out.data(), it->second.data(), out.size() * sizeof(T));
    return out;
}

// The rows of one table of a sample driver table source, after the live-printer row filter.
std::vector<nlohmann::json> TableRows(const std::string& file, int id) {
    const auto doc = nlohmann::json::parse(ReadFile(std::string(VANTO_SOURCE_DIR) + "/samples/driver/tables/" + file));
    std::vector<nlohmann::json> rows;
    for (const auto& table : doc["tables"]) {
        if (table["id"] != id) continue;
        for (const auto& row : table["rows"]) {
            const auto flags = row.contains("flags") ? std::stoul(row["flags"].get<std::string>(), nullptr, 16) : 0;
            if ((flags & 0xF) == 0 || (flags & 0xE)) rows.push_back(row);
        }
    }
    return rows;
}

// What the printer reports, asked in this process as the update asks it.
struct Answers {
    DWORD category = 0, modelBits = 0, pdl = 0, options = 0;
    std::u16string model;
    BICassetteList trays;
    BIStringList sizes, types, directions;
    VANTO_USERDEF_MAXMIN limits{};
    size_t pairs = 0;
};

Answers Ask(const std::string& queue) {
    Answers a;
    auto context = Context(queue);
    CBIDI_BP bidi;
    EXPECT_TRUE(bidi.Initialize(context.get(), 0));
    const std::u16string name = Wide(queue);
    EXPECT_TRUE(bidi.Open(name.c_str()));
    a.category = bidi.GetPrinterCategory();
    if (const WCHAR* m = bidi.GetModelName()) a.model = m;
    bidi.GetModelInfoBits(&a.modelBits);
    a.pdl = bidi.GetSupportPDLBits();
    bidi.GetOptionUnitBits(&a.options);
    bidi.GetCassetteInfo(&a.trays);
    if (auto* s = bidi.GetSupportPaperSize(0)) a.sizes = *s;
    if (auto* t = bidi.GetSupportPaperType()) a.types = *t;
    if (auto* d = bidi.GetPaperDirection()) a.directions = *d;
    bidi.GetUserDefMaxMin(&a.limits);
    a.pairs = bidi.GetForbiddenPairs().size();
    bidi.Close();
    return a;
}

class UpdateExports : public ::testing::Test {
protected:
    UpdateExports() : m_prefix({std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL", std::string(VANTO_BUILD_DIR) + "/VUD3IJ.BRT"}) {}

    // Adds the queue with its identifier, as `vanto queue add` makes it.
    void AddQueue(const std::string& queue, const std::string& where) {
        m_prefix.AddQueue(queue, PortOf(where));
        values_test::GiveQueueGUID(Wide(queue), u"{6A1F0E52-0C1B-4D8A-9E31-0000000B" + Wide(std::to_string(1000 + m_next++)) + u"}");
    }

    // Initialize with flag bit 1 (seeds the store), the update, Release; the update's status.
    int Update(const std::string& queue, uint64_t elements = kAllElements, uint32_t option = 0, uint32_t flags = 0) {
        const std::u16string name = Wide(queue);
        HVANTO h = Initialize(name.c_str(), VANTO_FLAG_PRINTERINFO | flags);
        EXPECT_NE(h, nullptr);
        if (h == nullptr) return 1;
        const int status = UpdatePrinterInfo(h, elements, option);
        Release(h);
        return status;
    }

    LivePrefix m_prefix;
    int m_next = 0;
};

TEST_F(UpdateExports, EverySampleStoresWhatItsPrinterReportsInTheDriversTerms) {
    std::vector<std::pair<std::string, std::string>> printers;
    for (const Sample& s : kSamples) {
        AddQueue(s.queue, s.where);
        printers.push_back({s.where, SampleProfile(s.profile)});
    }
    Printers vprinter(printers);
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.profile);
        if (s.elements != kAllElements) {
            // A query that fails ends the update before any write: the seeded store stays whole.
            const std::u16string queue = Wide(s.queue);
            Release(Initialize(queue.c_str(), VANTO_FLAG_PRINTERINFO));
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
        const std::u16string name = Wide(s.queue);
        HVANTO h = Initialize(name.c_str(), VANTO_FLAG_PRINTERINFO);
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

        // Paper lists: one entry per table row, shown exactly for the names the printer reports.
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
            EXPECT_EQ(Number(store, "BIPaperTypeNum"), Records<SBIPaperEntry>(store, "BIPaperTypeIDs").size());
            size_t typesShown = 0;
            for (const SBIPaperEntry& e : Records<SBIPaperEntry>(store, "BIPaperTypeIDs")) typesShown += e.wShow;
            EXPECT_GT(typesShown, 1u) << "more than \"Unspecified\" is shown";
        }

        // Limits as reported; default settings with no paper named (a printer without defaults);
        // the prohibit set holds a group per forbidden pair (two per pair in the PCL form).
        const auto limits = Records<VANTO_USERDEF_MAXMIN>(store, "BIUserDefMaxMin");
        ASSERT_EQ(limits.size(), inkjet ? 0u : 1u) << "ink-jets have no user-defined limits to ask";
        if (!inkjet) {
            EXPECT_EQ(std::memcmp(&limits[0], &a.limits, sizeof a.limits), 0);
        }
        const auto defaults = Records<BIDefaultSettings>(store, "BIDefaultSettings");
        ASSERT_EQ(defaults.size(), 1u);
        EXPECT_EQ(defaults[0].dwMediaSizeID, 0u);
        EXPECT_EQ(defaults[0].dwMediaTypeID, 0u) << "an empty name names no paper";
        if (a.pairs > 0) {
            const auto blob = store.at("BIProhibitInfo");
            EXPECT_EQ(Number(store, "BIProhibitBuffSize"), blob.size());
            const DWORD groups = blob.size() >= 4 ? *reinterpret_cast<const DWORD*>(blob.data()) : 0;
            EXPECT_TRUE(groups == a.pairs || groups == 2 * a.pairs) << groups << " groups for " << a.pairs;
        }
    }
}

TEST_F(UpdateExports, EdgesOfTheElementBitsTheModelCheckAndTheQueueIdentifier) {
    AddQueue("Colour", "127.0.116.1");
    AddQueue("Gone", "127.0.116.9");  // no printer answers there
    m_prefix.AddQueue("NoId", "IP_127.0.116.1");
    Printers vprinter({{"127.0.116.1", SampleProfile("colour-page")}});
    m_prefix.EnableLog();

    // Only upper-half bits select nothing: the flag alone says "updated".
    ASSERT_EQ(Update("Colour", 0x100000000ull), 0);
    auto store = StoreOf("Colour");
    EXPECT_EQ(Number(store, "BIStoreFlag"), kStoreFlagUpdated);
    EXPECT_EQ(store["BIModelName"], (std::vector<BYTE>{0, 0})) << "the seeded empty name stays";

    // The driver's model name must be the printer's with flag 0x100.
    EXPECT_EQ(Update("Colour", kAllElements, 0, VANTO_FLAG_CHECK_MODELNAME), -2);
    EXPECT_EQ(m_prefix.CountInNewLog("#Failed to unmatch access printer ModelName."), 1u);
    EXPECT_EQ(StoreOf("Colour"), store) << "nothing written";

    // No printer: -1 and the seeded store as it was.
    EXPECT_EQ(Update("Gone"), -1);
    EXPECT_EQ(Number(StoreOf("Gone"), "BIStoreFlag"), kStoreFlagSeeded);

    // A queue without its identifier has no store: a clear failure, not a silent success.
    EXPECT_EQ(Update("NoId"), -999);
    EXPECT_EQ(m_prefix.CountInNewLog("#The queue has no KDPQGUID"), 1u);
    EXPECT_NE(RunVanto("update NoId"), 0) << "the verb says so and fails";

    // A changed model is reported as changed.
    const std::u16string name = u"Colour";
    HVANTO h = Initialize(name.c_str(), VANTO_FLAG_PRINTERINFO);
    EXPECT_EQ(SetStringValueW(h, VANTO_SZID_MODELNAME, 0, u"Another Model"), 1);
    EXPECT_EQ(CheckModelNameHasChanged(h), 1);
    Release(h);
}


// The update's writes broken off: the process killed before its third write, or the third write
// refused. What was written stays, and the flag still says "seeded", so no reader takes the
// half-written store for an update.
TEST_F(UpdateExports, WritesBrokenOffLeaveTheStoreFlagAsItWas) {
    AddQueue("Colour", "127.0.116.1");
    Printers vprinter({{"127.0.116.1", SampleProfile("colour-page")}});
    const std::string installed = m_prefix.Prefix().DriveC() + "/Windows/System32/spool/drivers/x64/3/VUD3AUDF.DLL";
    std::error_code ec;
    fs::copy_file(VANTO_TEST_INTERRUPTING_AUDF, installed, fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec);
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

// Every fault of the virtual printer, on a reply in the middle of the update: the update ends
// with a status; the store is then either the seeded one (flag 1, nothing of the update marked
// as learnt) or exactly what a fault-free update stores.
// A lost reply costs the library's whole receive time-out (10 s), so the faults meet the update
// early and late only.
TEST_F(UpdateExports, EveryPrinterFaultEndsWithAStatusAndAWholeStore) {
    AddQueue("Clean", "127.0.117.1");
    AddQueue("Faulty", "127.0.117.2");
    Printers clean({{"127.0.117.1", SampleProfile("colour-page")}});
    ASSERT_EQ(Update("Clean"), 0);
    auto expected = StoreOf("Clean");
    for (const char* fault : {"lost,count=1", "late,delay=1500,count=3", "truncated,count=2", "garbled,count=2",
                              "wrong,count=2", "vanish,delay=2000"}) {
        for (const char* after : {"3", "40"}) {
            SCOPED_TRACE(std::string(fault) + " after " + after);
            RunVanto("queue remove Faulty");
            AddQueue("Faulty", "127.0.117.2");
            Printers faulty({{"127.0.117.2", SampleProfile("colour-page")}},
                            {"--fault", std::string("snmp:") + fault + ",after=" + after});
            const int status = Update("Faulty");
            EXPECT_TRUE(status == 0 || status == -1 || status == -2) << status;
            auto store = StoreOf("Faulty");
            if (Number(store, "BIStoreFlag") == kStoreFlagSeeded) continue;
            EXPECT_EQ(status, 0);
            for (auto& [name, bytes] : expected) {
                if (name != "BICassetteInfo") {
                    EXPECT_EQ(store[name], bytes) << name;
                }
            }
        }
    }
}

}  // namespace
