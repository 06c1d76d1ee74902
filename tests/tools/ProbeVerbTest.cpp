// `vanto probe` end to end: a small fleet of sample printers on 127.0.145.x-127.0.147.x, searched
// through the tool; what it shows is checked against the profiles' MIB data.
#include "support/TempPrefix.h"
#include "support/ToolRun.h"
#include "support/VprinterProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using vanto_test::ReadFile;
using vanto_test::RunCommand;
using vanto_test::SampleProfile;
using vanto_test::TempPrefix;
using vanto_test::VprinterProcess;

// Address and profile; the first three lie in the searched subnets, the last one outside them.
constexpr std::pair<const char*, const char*> kFleet[] = {{"127.0.145.10", "colour-page"},
                                                          {"127.0.145.20", "colour-page-s04"},
                                                          {"127.0.146.5", "inkjet-network"},
                                                          {"127.0.147.7", "mono-page-jp"}};
constexpr const char* kSearch = "--subnet 127.0.145.0/24 --subnet 127.0.146.0/255.255.255.0";

std::vector<std::string> FleetArgs() {
    std::vector<std::string> args;
    for (const auto& [address, profile] : kFleet)
        args.insert(args.end(), {"-p", std::string(address) + "=" + SampleProfile(profile)});
    return args;
}

// What the tool shows of each printer in the searched subnets, as its profile's MIB describes it.
struct Shown {
    const char* address;
    const char* name;
    const char* location;
    std::vector<std::string> languages;
    const char* market;
    bool colour;
};
const Shown kShown[] = {
    {"127.0.145.10", "CP4500C-2F", "Second floor, copy room", {"QLMPAGE colour", "PCL/PCL XL"}, "other", true},
    {"127.0.145.20", "CP3100S-3F", "Third floor, east", {"QLMPAGE S04", "PCL/PCL XL"}, "Japanese", true},
    {"127.0.146.5", "IJ990N-LAB", "Lab 3", {"ink-jet raster"}, "ink-jet class", true},
};

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
    ASSERT_EQ(found.size(), 3u) << run.out;  // not the printer outside the searched subnets

    for (const Shown& p : kShown) {
        SCOPED_TRACE(p.address);
        ASSERT_EQ(found.count(p.address), 1u);
        const auto& device = found[p.address];
        EXPECT_TRUE(device["examined"].get<bool>());
        EXPECT_EQ(device["name"], p.name);
        EXPECT_EQ(device["location"], p.location);
        EXPECT_EQ(device["colour"].get<bool>(), p.colour);
        EXPECT_EQ(device["languages"].get<std::vector<std::string>>(), p.languages);
        EXPECT_EQ(device["market"], p.market);
    }

    // The table: one row per device, with its location.
    const auto table = RunCommand(Vanto(std::string(kSearch) + " 2>/dev/null"));
    ASSERT_EQ(table.status, 0) << table.out;
    EXPECT_NE(table.out.find("3 devices found"), std::string::npos) << table.out;
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
