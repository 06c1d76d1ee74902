// What a printer search of one /24 costs: a fleet of 50 virtual printers on 127.0.212.1-50 (the
// network sample profiles in turn, served by one vprinter process), searched through the exports
// as a subnet search of 127.0.212.0/24. Per run: devices found and examined (all 50 must be, with
// dwInfoObtained 1), the wall time of ProbePrinter (goal: at most 3.5 s, of which 3 s are the
// quiet period that ends every search), and the SNMP requests the printers received as vprinter
// counts them. Then, per profile, the requests per printer beside the requests an examination
// asking its five objects one per request would need: a Get each for the colorant count, the
// location and the maker's UTF-8 flag, and a walk of one row per GetNext (plus the one that sees
// the column end) for the media path descriptions (page printers only) and the localisation
// languages, counted from the profile's MIB. The vprinter count also holds the search's own
// requests and those of opening the printer.
//
//   bench_probe_fleet [--profiles DIR] [--runs N]
//
// Packets stay on loopback. Needs the SNMP port 161 (root) unless VANTO_SNMP_PORT moves it.
#include "BenchPrefix.h"
#include "BenchPrinters.h"
#include "support/VprinterProcess.h"
#include "vanto.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kSubnet = "127.0.212.";  // this program's own loopback addresses
constexpr int kFleetSize = 50;
constexpr double kGoalMs = 3500;
constexpr const char* kMediaPathDescriptions = "1.3.6.1.2.1.43.13.4.1.10.1.";
constexpr const char* kLocalizationLanguages = "1.3.6.1.2.1.43.7.1.1.2.1.";
constexpr uint32_t kInkjetClass = VANTO_PROBE_DOMESTIC_INKJET;

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// A fresh prefix in a temporary folder; removed at the end.
class Prefix {
public:
    Prefix() { m_ok = m_folder.Made() && Shell("'" + std::string(VANTO_BUILD_DIR) + "/vanto' prefix init") == 0; }
    bool Ok() const { return m_ok; }

private:
    bench::PrefixFolder m_folder;
    bool m_ok = false;
};

// Profiles a search can find: an SNMP agent on a network address.
bool Searchable(const fs::path& folder) {
    std::ifstream in(folder / "profile.json");
    const auto profile = nlohmann::json::parse(in, nullptr, false);
    if (profile.is_discarded() || profile.contains("usb_port") || !fs::exists(folder / "mib.snmprec")) return false;
    if (!profile.contains("channels")) return true;
    for (const auto& channel : profile["channels"])
        if (channel == "snmp") return true;
    return false;
}

size_t RowsUnder(const fs::path& snmprec, const std::string& column) {
    std::ifstream in(snmprec);
    size_t rows = 0;
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, column.size(), column) == 0) ++rows;
    return rows;
}

// Requests of the examination's five objects asked one per request.
size_t OneObjectPerRequest(const fs::path& profile, bool pagePrinter) {
    const fs::path mib = profile / "mib.snmprec";
    size_t requests = 3 + RowsUnder(mib, kLocalizationLanguages) + 1;
    if (pagePrinter) requests += RowsUnder(mib, kMediaPathDescriptions) + 1;
    return requests;
}

std::string Narrow(const char16_t* text, size_t limit) {
    std::string out;
    for (size_t i = 0; i < limit && text[i] != 0; ++i) out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

struct Found {
    bool examined = false;
    bool pagePrinter = true;
};

struct Run {
    bool started = false;
    double wallMs = 0;
    std::map<std::string, Found> devices;              // by address
    std::map<std::string, unsigned long long> requests;  // by address, from vprinter
};

Run SearchOnce(const std::vector<std::string>& printerArgs) {
    Run run;
    std::vector<std::string> args = {"--stats"};
    args.insert(args.end(), printerArgs.begin(), printerArgs.end());
    vanto_test::VprinterProcess printers(args);
    if (!printers.Ready()) return run;
    HVANTO h = Initialize(nullptr, VANTO_FLAG_PROBE);
    if (h == nullptr) return run;
    const std::u16string network = u"127.0.212.0", mask = u"255.255.255.0";
    if (SetSubnetAddress(h, network.c_str(), mask.c_str()) == 1 &&
        SetProbeMode(h, VANTO_PROBE_SUBIP, 0, 0, 161, 0, 0, 0) == 1) {
        const auto start = Clock::now();
        run.started = ProbePrinter(h, nullptr) == 1;
        run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        size_t count = 0;
        for (const SBIProbeResult* r = GetProbeResult(h); r != nullptr && count < 1000; r = r->pNext, ++count)
            run.devices[Narrow(r->szAddress, 16)] = {r->dwInfoObtained == 1, (r->dwDomestic & kInkjetClass) == 0};
    }
    Release(h);
    printers.Stop();
    static const std::regex line(R"(vprinter: stats (\S+)[^\n]*: snmp-requests=(\d+))");
    const std::string text = printers.Stderr();
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
        run.requests[(*it)[1]] = std::stoull((*it)[2]);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    bench::Options options;
    options.runs = 3;
    if (!bench::ParseOptions(argc, argv, options)) return 2;
    const int runs = options.runs;
    const std::vector<fs::path> folders = bench::ProfileFolders(options.profiles, Searchable);
    if (folders.empty()) {
        std::fprintf(stderr, "no network profile with an SNMP agent in %s\n", options.profiles.c_str());
        return 2;
    }
    Prefix prefix;
    if (!prefix.Ok()) {
        std::fprintf(stderr, "the prefix could not be made with %s/vanto\n", VANTO_BUILD_DIR);
        return 1;
    }
    std::vector<std::string> printerArgs;
    std::map<std::string, fs::path> profileOf;  // by address
    for (int n = 1; n <= kFleetSize; ++n) {
        const std::string address = kSubnet + std::to_string(n);
        profileOf[address] = folders[static_cast<size_t>(n - 1) % folders.size()];
        printerArgs.insert(printerArgs.end(), {"-p", address + "=" + profileOf[address].string()});
    }

    std::printf("%d printers on %s1-%d (%zu profiles), subnet search of %s0/24, %d runs\n\n", kFleetSize, kSubnet,
                kFleetSize, folders.size(), kSubnet, runs);
    std::printf("%4s %7s %9s %10s %6s %14s %12s\n", "run", "found", "examined", "wall ms", "goal", "requests", "per printer");
    bool allGood = true;
    Run last;
    for (int i = 1; i <= runs; ++i) {
        Run run = SearchOnce(printerArgs);
        size_t examined = 0;
        unsigned long long requests = 0;
        for (const auto& [address, found] : run.devices) examined += found.examined;
        for (const auto& [address, count] : run.requests) requests += count;
        const bool good = run.started && run.devices.size() == kFleetSize && examined == kFleetSize;
        allGood = allGood && good;
        std::printf("%4d %7zu %9zu %10.0f %6s %14llu %12.1f%s\n", i, run.devices.size(), examined, run.wallMs,
                    run.wallMs <= kGoalMs ? "met" : "missed", requests, static_cast<double>(requests) / kFleetSize,
                    good ? "" : "  <- not all 50 found and examined");
        last = std::move(run);
    }

    // Per profile, from the last run.
    std::printf("\n%-18s %8s %6s %22s %22s\n", "profile", "printers", "kind", "requests/printer (vp)", "5 objects, 1/request");
    for (const fs::path& folder : folders) {
        unsigned long long requests = 0;
        int printers = 0;
        bool page = true;
        for (const auto& [address, profile] : profileOf) {
            if (profile != folder) continue;
            ++printers;
            requests += last.requests.count(address) ? last.requests.at(address) : 0;
            if (last.devices.count(address)) page = last.devices.at(address).pagePrinter;
        }
        std::printf("%-18s %8d %6s %22.1f %22zu\n", folder.filename().string().c_str(), printers, page ? "page" : "ink-jet",
                    printers > 0 ? static_cast<double>(requests) / printers : 0.0, OneObjectPerRequest(folder, page));
    }
    return allGood ? 0 : 1;
}
