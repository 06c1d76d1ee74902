// `vanto probe` end to end: a small fleet of sample printers on 127.0.145.x-127.0.147.x, searched
// through the tool; what it shows is checked against the profiles' own MIB data.
#include "support/TempPrefix.h"
#include "support/ToolRun.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using vanto_test::ReadFile;
using vanto_test::RunCommand;
using vanto_test::SampleProfile;
using vanto_test::TempPrefix;
using vanto_test::VprinterProcess;

struct FleetPrinter {
    const char* address;
    const char* profile;
};
// The first three lie in the searched subnets, the last one outside them.
constexpr FleetPrinter kFleet[] = {{"127.0.145.10", "colour-page"},
                                   {"127.0.145.20", "colour-page-s04"},
                                   {"127.0.146.5", "inkjet-network"},
                                   {"127.0.147.7", "mono-page-jp"}};
constexpr const char* kSearch = "--subnet 127.0.145.0/24 --subnet 127.0.146.0/255.255.255.0";

std::vector<std::string> FleetArgs() {
    std::vector<std::string> args;
    for (const FleetPrinter& p : kFleet)
        args.insert(args.end(), {"-p", std::string(p.address) + "=" + SampleProfile(p.profile)});
    return args;
}

// The values of a profile's MIB by OID.
std::map<std::string, std::string> ProfileMib(const std::string& profile) {
    std::map<std::string, std::string> values;
    std::istringstream in(ReadFile(SampleProfile(profile) + "/mib.snmprec"));
    for (std::string line; std::getline(in, line);) {
        const size_t a = line.find('|'), b = line.find('|', a + 1);
        if (b != std::string::npos) values[line.substr(0, a)] = line.substr(b + 1);
    }
    return values;
}

std::string Vanto(const std::string& args) {
    return std::string(VANTO_BUILD_DIR) + "/vanto probe " + args;
}

TEST(ProbeVerb, ShowsTheFleetInTheSearchedSubnetsAsItsProfilesDescribeIt) {
    TempPrefix prefix;
    VprinterProcess printers(FleetArgs());
    ASSERT_TRUE(printers.Ready()) << printers.Stderr();

    const auto run = RunCommand(Vanto(std::string(kSearch) + " --json 2>/dev/null"));
    ASSERT_EQ(run.status, 0) << run.out;
    const auto document = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << run.out;
    EXPECT_EQ(document["search"]["type"], "SUBIP");
    EXPECT_FALSE(document["stopped_by_interrupt"].get<bool>());
    std::map<std::string, nlohmann::json> found;
    for (const auto& device : document["devices"]) found[device["address"].get<std::string>()] = device;
    ASSERT_EQ(found.size(), 3u) << run.out;

    for (const FleetPrinter& p : kFleet) {
        if (std::string(p.address).rfind("127.0.147.", 0) == 0) {
            EXPECT_EQ(found.count(p.address), 0u) << p.profile << " lies outside the searched subnets";
            continue;
        }
        SCOPED_TRACE(p.profile);
        ASSERT_EQ(found.count(p.address), 1u);
        const auto& device = found[p.address];
        auto mib = ProfileMib(p.profile);
        const std::string deviceId = mib["1.3.6.1.4.1.2699.1.2.1.2.1.1.3.1"];
        const bool inkjet = deviceId.find("QLMPR") != std::string::npos;
        EXPECT_TRUE(device["examined"].get<bool>());
        EXPECT_EQ(device["name"], mib["1.3.6.1.2.1.1.5.0"]);
        EXPECT_EQ(device["location"], mib["1.3.6.1.2.1.1.6.0"]);
        if (!inkjet) {
            EXPECT_EQ(device["colour"].get<bool>(), std::stoi(mib["1.3.6.1.2.1.43.10.2.1.6.1.1"]) >= 2);
        }
        const auto languages = device["languages"].get<std::vector<std::string>>();
        auto has = [&languages](const char* name) {
            return std::find(languages.begin(), languages.end(), name) != languages.end();
        };
        EXPECT_EQ(has("PCL/PCL XL"), deviceId.find("PCL") != std::string::npos);
        EXPECT_EQ(has("QLMPAGE colour"), deviceId.find("QLMPAGECOLOR") != std::string::npos);
        EXPECT_EQ(has("QLMPAGE S04"), deviceId.find("QLMPAGES-04") != std::string::npos);
        EXPECT_EQ(has("ink-jet raster"), inkjet);
        bool japanese = false;
        for (const auto& [oid, value] : mib)
            japanese |= oid.rfind("1.3.6.1.2.1.43.7.1.1.2.", 0) == 0 && (value == "ja" || value == "JA");
        EXPECT_EQ(device["market"], inkjet ? "ink-jet class" : japanese ? "Japanese" : "other");
    }

    // The table: a header and one row per device, with its location.
    const auto table = RunCommand(Vanto(std::string(kSearch) + " 2>/dev/null"));
    ASSERT_EQ(table.status, 0) << table.out;
    EXPECT_NE(table.out.find("3 devices found"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("ADDRESS"), std::string::npos);
    for (const auto& [address, device] : found) {
        const size_t row = table.out.find("\n" + address + " ");
        ASSERT_NE(row, std::string::npos) << address << "\n" << table.out;
        const std::string line = table.out.substr(row + 1, table.out.find('\n', row + 1) - row - 1);
        EXPECT_NE(line.find(device["location"].get<std::string>()), std::string::npos) << line;
    }
}

TEST(ProbeVerb, RefusesAddressesOutsideLoopbackBeforeSearching) {
    TempPrefix prefix;
    for (const char* args : {"--address 10.0.0.1", "--range 127.0.145.1 10.0.0.1", "--subnet 10.0.0.0/24",
                             "--subnet 127.0.0.0/1"}) {
        SCOPED_TRACE(args);
        const auto run = RunCommand(Vanto(std::string(args) + " 2>&1"));
        EXPECT_EQ(run.status, 2) << run.out;
        EXPECT_TRUE(run.out.find("outside 127.0.0.0/8") != std::string::npos ||
                    run.out.find("beyond 127.0.0.0/8") != std::string::npos)
            << run.out;
        EXPECT_LT(run.took, std::chrono::seconds(2)) << "a refused search must not run";
    }
}

// Ctrl-C once the library has taken the device into its results (its log says so; the search
// would otherwise go on for 3 s): the tool ends by itself, so its document is whole.
TEST(ProbeVerb, CtrlCStopsTheSearchAndStillShowsWhatWasFound) {
    TempPrefix prefix;
    const std::string log = prefix.EnableLog();
    VprinterProcess printers(FleetArgs());
    ASSERT_TRUE(printers.Ready()) << printers.Stderr();
    TempFolder output;
    const std::string outFile = output.Path() + "/out";
    // Job control on, so that the background job does not start with SIGINT ignored.
    const auto run = RunCommand("set -m; " + Vanto("--subnet 127.0.146.0/24 --json >" + outFile) + " 2>/dev/null & " +
                                "for i in $(seq 1000); do grep -qs 'Add DeviceInfo to ResultList' '" + log +
                                "'/* && break; sleep 0.02; done; kill -INT $!; wait $!");
    EXPECT_EQ(run.status, 130);
    const auto document = nlohmann::json::parse(ReadFile(outFile), nullptr, false);
    ASSERT_FALSE(document.is_discarded());
    EXPECT_TRUE(document["stopped_by_interrupt"].get<bool>());
    ASSERT_EQ(document["devices"].size(), 1u) << document.dump();
    EXPECT_EQ(document["devices"][0]["address"], "127.0.146.5");
}

}  // namespace
