// Helpers of the CBIDI_BP answer tests: printers opened by queue, temporary page printers built
// from a few MIB columns, and input trays as comparable rows.
#pragma once

#include "test_bp_live_printers.h"

#include <array>
#include <initializer_list>

namespace bp_answers {

using namespace bp_test;

// Queues on their printers ("IP_" is added to addresses), served by one vprinter for the test.
class AnswersTest : public ::testing::Test {
protected:
    void Serve(const std::vector<LiveQueue>& queues) {
        m_printers = bp_test::Serve(m_live, queues);
        ASSERT_TRUE(m_printers->Ready());
    }

    TempFolder m_files;
    LivePrefix m_live;
    std::unique_ptr<Printers> m_printers;
};

// snmprec lines of one column from row 1 on: integers (type 2) or texts (type 4).
inline std::string Ints(const std::string& column, std::initializer_list<int64_t> values) {
    std::string text;
    int row = 1;
    for (const int64_t v : values)
        text += "1.3.6.1." + column + "." + std::to_string(row++) + "|2|" + std::to_string(v) + "\n";
    return text;
}
inline std::string Texts(const std::string& column, std::initializer_list<const char*> values) {
    std::string text;
    int row = 1;
    for (const char* v : values) text += "1.3.6.1." + column + "." + std::to_string(row++) + "|4|" + v + "\n";
    return text;
}

// A page printer on SNMP with this device ID and only these MIB lines, besides its name and one
// object of the agent's own after all printer objects (so that every walk ends inside the view).
inline std::string PagePrinter(const TempFolder& folder, const std::string& name, const std::string& deviceId,
                               const std::string& mib) {
    return WriteProfile(folder, name, R"({"channels": ["snmp"], "device_id": ")" + deviceId + R"("})",
                        "1.3.6.1.2.1.1.5.0|4|" + name + "\n" + mib + "1.3.6.1.6.3.10.2.1.3.0|2|4213\n");
}

// An ink-jet on a D4 channel with these status fields (and confidential-job data), answering the
// media information of the formats-14/16 sample so that it opens.
inline std::string InkjetD4(const TempFolder& folder, const std::string& name, const std::string& port,
                            const std::string& deviceId, const std::string& statusHex, const std::string& pcHex = "") {
    nlohmann::json profile = {{"device_id", deviceId}, {"channels", {"d4"}}, {"usb_port", port},
                              {"status", "status.hex"}, {"replies", {{"pm14", "pm14.hex"}, {"pm16", "pm16.hex"}}}};
    folder.Write(name + "/status.hex", statusHex);
    for (const char* file : {"pm14.hex", "pm16.hex"})
        folder.Write(name + "/" + file, ReadFile(SampleProfile("inkjet-usb-f14") + "/" + file));
    if (!pcHex.empty()) {
        folder.Write(name + "/pc.hex", pcHex);
        profile["replies"]["pc"] = "pc.hex";
    }
    return WriteProfile(folder, name, profile.dump(), "");
}

// An input tray as (source bit, source ID, size, type, direction, capacity, level).
using Tray = std::array<int, 7>;
inline std::vector<Tray> Trays(const BICassetteList& list) {
    std::vector<Tray> trays;
    for (const VANTO_CASETTE_INFO& c : list)
        trays.push_back({c.wPaperSourceBit, c.wPaperSourceEID, c.wPaperSizeID, c.wPaperTypeID, c.byDirection,
                         c.wMaxCapacity, c.wCurrentLevel});
    return trays;
}

// The eight user-defined limits in record order.
inline std::array<int32_t, 8> Limits(const VANTO_USERDEF_MAXMIN& l) {
    return {l.lHeiMAX, l.lWidMAX, l.lHeiMIN, l.lWidMIN, l.lHeiMAX_Inch, l.lWidMAX_Inch, l.lHeiMIN_Inch, l.lWidMIN_Inch};
}

// MIB columns (relative to 1.3.6.1) the temporary printers fill.
inline const std::string kStorageDescr = "2.1.25.2.3.1.3";
inline const std::string kStorageSize = "2.1.25.2.3.1.5";
inline const std::string kColorants = "2.1.43.10.2.1.6.1";
inline const std::string kInputType = "2.1.43.8.2.1.2.1";
inline const std::string kInputCapacity = "2.1.43.8.2.1.9.1";
inline const std::string kInputLevel = "2.1.43.8.2.1.10.1";
inline const std::string kInputName = "2.1.43.8.2.1.13.1";
inline const std::string kOutputName = "2.1.43.9.2.1.7.1";
inline const std::string kOffsetStacking = "2.1.43.9.2.1.24.1";
inline const std::string kPathUnit = "2.1.43.13.4.1.3.1";
inline const std::string kPathMaxFeed = "2.1.43.13.4.1.5.1";
inline const std::string kPathMaxXFeed = "2.1.43.13.4.1.6.1";
inline const std::string kPathMinFeed = "2.1.43.13.4.1.7.1";
inline const std::string kPathMinXFeed = "2.1.43.13.4.1.8.1";
inline const std::string kPathType = "2.1.43.13.4.1.9.1";
inline const std::string kPathDescription = "2.1.43.13.4.1.10.1";
inline const std::string kPaperSizes = "4.1.4913.1.2.2.6.1.1.2.1";
inline const std::string kInputPaperSize = "4.1.4913.1.2.2.23.1.1.2.1";
inline const std::string kInputPaperType = "4.1.4913.1.2.2.23.1.1.6.1";

}  // namespace bp_answers
