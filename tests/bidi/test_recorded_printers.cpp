// Real printers' MIB data (the recordings in ../shared/printers-recorded), each served by a
// virtual printer with a device ID added: every one opens by queue over SNMP and the discovery
// query reads its colorant count, location, media-path texts and languages as the recording
// holds them. Their MIBs end before the maker's objects and hold Counter32, TimeTicks and object
// identifiers next to the columns read. Printers live on 127.0.92.x.
#include "test_bp_live_printers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

using namespace bp_test;

namespace {

const char* const kDeviceId = "MFG:Vintal;MDL:Recorded Page;CMD:PJL,PCLXL,QLMPAGES-04;CLS:PRINTER;";

std::string RecordingsFolder() { return std::string(VANTO_SHARED_DIR) + "/printers-recorded"; }

// The recordings' files in name order; none when the folder is absent.
std::vector<fs::path> Recordings() {
    std::vector<fs::path> files;
    std::error_code ec;
    if (!fs::is_directory(RecordingsFolder(), ec)) return files;
    for (const auto& entry : fs::directory_iterator(RecordingsFolder(), ec))
        if (entry.path().extension() == ".snmprec") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The objects of an snmprec file: full identifier text -> (type code, value as served).
std::map<std::string, std::pair<std::string, std::string>> ReadSnmprec(const fs::path& file) {
    std::map<std::string, std::pair<std::string, std::string>> objects;
    std::istringstream in(ReadFile(file.string()));
    std::string line;
    while (std::getline(in, line)) {
        const size_t bar1 = line.find('|');
        const size_t bar2 = bar1 == std::string::npos ? bar1 : line.find('|', bar1 + 1);
        if (bar2 == std::string::npos) continue;
        const std::string type = line.substr(bar1 + 1, bar2 - bar1 - 1);
        std::string value = line.substr(bar2 + 1);
        if (type == "4x") value = FromHex(value);
        objects[line.substr(0, bar1)] = {type, value};
    }
    return objects;
}

// The values of the rows directly under a column (full text of the column, rows in order).
std::vector<std::string> Rows(const std::map<std::string, std::pair<std::string, std::string>>& objects,
                              const std::string& column) {
    std::vector<std::pair<uint32_t, std::string>> rows;
    const std::string prefix = column + ".";
    for (const auto& [oid, typed] : objects)
        if (oid.rfind(prefix, 0) == 0 && oid.find('.', prefix.size()) == std::string::npos)
            rows.emplace_back(static_cast<uint32_t>(std::stoul(oid.substr(prefix.size()))), typed.second);
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> values;
    for (auto& row : rows) values.push_back(std::move(row.second));
    return values;
}

class RecordedPrinters : public ::testing::Test {
protected:
    void SetUp() override {
        m_files = Recordings();
        if (m_files.empty()) GTEST_SKIP() << "no printer recordings in " << RecordingsFolder() << "; skipped";
        std::vector<LiveQueue> queues;
        for (size_t i = 0; i < m_files.size(); ++i) {
            const nlohmann::json profile = {{"device_id", kDeviceId}, {"mib", m_files[i].string()}};
            m_profiles.Write(Queue(i) + "/profile.json", profile.dump());
            queues.push_back({Queue(i), Address(i), m_profiles.Path() + "/" + Queue(i)});
        }
        m_printers = Serve(m_live, queues);
        ASSERT_TRUE(m_printers->Ready());
    }

    std::string Queue(size_t i) const { return "Recorded-" + m_files[i].stem().string(); }
    static std::string Address(size_t i) { return "127.0.92." + std::to_string(i + 1); }

    std::vector<fs::path> m_files;
    TempFolder m_profiles;
    LivePrefix m_live;
    std::unique_ptr<Printers> m_printers;
};

}  // namespace

TEST_F(RecordedPrinters, EveryRecordingOpensAndTheDiscoveryQueryReadsWhatItHolds) {
    size_t withColorants = 0, withLocation = 0;
    for (size_t i = 0; i < m_files.size(); ++i) {
        SCOPED_TRACE(m_files[i].filename().string());
        const auto objects = ReadSnmprec(m_files[i]);
        const std::vector<std::string> colorants = Rows(objects, "1.3.6.1.2.1.43.10.2.1.6.1");
        const std::vector<std::string> location = Rows(objects, "1.3.6.1.2.1.1.6");
        withColorants += colorants.empty() ? 0 : 1;
        withLocation += location.empty() ? 0 : 1;

        std::unique_ptr<BIInfo> context = Context(Queue(i));
        CBIDI_BP bidi;
        ASSERT_EQ(bidi.Initialize(context.get(), 0), 1);
        ASSERT_EQ(bidi.Open(Wide(Queue(i)).c_str()), 1);
        ASSERT_EQ(bidi.GetChannelKind(), kZkChannelSNMP);

        std::string readLocation;
        DWORD readColorants = 99, common = 0;
        BIStringList paths, languages;
        const BOOL bProbed = bidi.GetInfoProbe(&readLocation, &readColorants, &common, &paths, &languages, TRUE);
        EXPECT_TRUE(bProbed);
        if (!bProbed) continue;
        EXPECT_EQ(readColorants, colorants.empty() ? 0u : static_cast<DWORD>(std::stoul(colorants.front())));
        EXPECT_EQ(readLocation, location.empty() ? "" : location.front());
        EXPECT_EQ(common, 0u);  // no maker's objects in any recording
        EXPECT_EQ(paths, Rows(objects, "1.3.6.1.2.1.43.13.4.1.10.1"));
        EXPECT_EQ(languages, Rows(objects, "1.3.6.1.2.1.43.7.1.1.2.1"));
    }
    // The recordings hold both kinds of each answer.
    EXPECT_GT(withColorants, 0u);
    EXPECT_LT(withColorants, m_files.size());
    EXPECT_GT(withLocation, 0u);
    EXPECT_LT(withLocation, m_files.size());
}
