// Real printers' MIB data (the recordings in ../shared/printers-recorded), each served by a
// virtual printer with a device ID added: every one opens by queue over SNMP and the discovery
// query reads its colorant count, location, media-path texts and languages as the recording
// holds them. Their MIBs end before the maker's objects and hold Counter32, TimeTicks and object
// identifiers next to the columns read. Printers live on 127.0.92.x.
#include "test_bp_live_printers.h"

using namespace bp_test;

TEST(RecordedPrinters, EveryRecordingOpensAndTheDiscoveryQueryReadsWhatItHolds) {
    const std::string folder = std::string(VANTO_SHARED_DIR) + "/printers-recorded";
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == ".snmprec") files.push_back(entry.path());
    if (files.empty()) GTEST_SKIP() << "no printer recordings in " << folder;
    LivePrefix live;
    TempFolder profiles;
    std::vector<LiveQueue> queues;
    for (size_t i = 0; i < files.size(); ++i) {
        const nlohmann::json profile = {
            {"device_id", "MFG:Vintal;MDL:Recorded Page;CMD:PJL,PCLXL,QLMPAGES-04;CLS:PRINTER;"},
            {"mib", files[i].string()}};
        profiles.Write(std::to_string(i) + "/profile.json", profile.dump());
        queues.push_back({"Recorded-" + std::to_string(i), "127.0.92." + std::to_string(i + 1),
                          profiles.Path() + "/" + std::to_string(i)});
    }
    const auto printers = Serve(live, queues);
    ASSERT_TRUE(printers->Ready());

    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].filename().string());
        const std::string mib = ReadFile(files[i].string());
        const std::vector<std::string> colorants = SnmprecColumn(mib, "1.3.6.1.2.1.43.10.2.1.6.1");
        const std::vector<std::string> location = SnmprecColumn(mib, "1.3.6.1.2.1.1.6");

        auto bidi = OpenQueue(queues[i].name);
        ASSERT_EQ(bidi->GetChannelKind(), kZkChannelSNMP);
        std::string readLocation;
        DWORD readColorants = 99, common = 0;
        BIStringList paths, languages;
        ASSERT_TRUE(bidi->GetInfoProbe(&readLocation, &readColorants, &common, &paths, &languages, TRUE));
        EXPECT_EQ(readColorants, colorants.empty() ? 0u : static_cast<DWORD>(std::stoul(colorants.front())));
        EXPECT_EQ(readLocation, location.empty() ? "" : location.front());
        EXPECT_EQ(common, 0u);  // no maker's objects in any recording
        EXPECT_EQ(paths, SnmprecColumn(mib, "1.3.6.1.2.1.43.13.4.1.10.1"));
        EXPECT_EQ(languages, SnmprecColumn(mib, "1.3.6.1.2.1.43.7.1.1.2.1"));
    }
}
