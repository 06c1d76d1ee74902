// What a full update from the printer costs, per sample printer in samples/printers/: the
// exchanges of Initialize + UpdatePrinterInfo (every element) + Release through the exports as
// the virtual printer counts them; the update's wall time when every reply comes 5 ms late,
// against exchanges x 5 ms; the CPU time of one update with replies on time (mean of several);
// and, for printers asked over SNMP, the requests a walk of one row per request (as snmpwalk -v1
// makes) needs for the same objects, counted from the library's log and the profile's MIB.
//
//   bench_update_exchanges [--profiles DIR] [--runs N]
//
// Each profile gets a fresh prefix made with build/vanto (driver, queue with its identifier) on
// 127.0.211.n or the profile's USB port. Packets stay on loopback. Needs the SNMP port 161 (root).
#include "BenchPrefix.h"
#include "BenchPrinters.h"
#include "support/VprinterProcess.h"
#include "vanto.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kDriverName = "Vintal Universal Driver";
constexpr const char* kAddressBase = "127.0.211.";  // this program's own loopback addresses
constexpr const char* kQueue = "Bench";
constexpr uint64_t kAllElements = 0xFFFFFFFF;
constexpr int kLateMs = 5;

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// A fresh prefix in a temporary folder with the sample driver and the queue; removed at the end.
class Prefix {
public:
    Prefix(const std::string& port) {
        if (!m_folder.Made()) return;
        const std::string build = VANTO_BUILD_DIR, vanto = Quote(build + "/vanto");
        std::string files;
        for (const char* f : {"VUD3AUDF.DLL", "VUD3CFGX.DLL", "ZKAPI7x64.Dll", "VUD3LP.BRT", "VUD3LPN.BRT", "VUD3IJ.BRT",
                              "VUD3CFGX.BRT"})
            files += " " + Quote(build + "/" + f);
        m_ok = Shell(vanto + " prefix init") == 0 &&
               Shell(vanto + " driver add " + Quote(kDriverName) + " " + Quote(std::string(VANTO_SOURCE_DIR) +
                                                                               "/samples/driver") + files) == 0 &&
               Shell(vanto + " queue add " + kQueue + " --driver " + Quote(kDriverName) + " --port " + port) == 0;
        std::error_code ec;
        fs::create_directories(Root() + "/usb", ec);
    }
    bool Ok() const { return m_ok; }
    const std::string& Root() const { return m_folder.Root(); }

    // Switches the library's log on; the log of this process is then LogText().
    bool EnableLog() const {
        fs::create_directories(Root() + "/drive_c/VANTOLOG");
        return Shell(Quote(std::string(VANTO_BUILD_DIR) + "/vanto") + " reg set 'HKLM\\SOFTWARE\\KELDA\\VANTO' VANTO_LOG dword 1") ==
               0;
    }
    std::string LogText() const {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Root() + "/drive_c/VANTOLOG", ec)) {
            std::ifstream in(entry.path());
            return std::string(std::istreambuf_iterator<char>(in), {});
        }
        return {};
    }

private:
    bench::PrefixFolder m_folder;
    bool m_ok = false;
};

struct Run {
    int status = 1;
    double wallMs = 0, cpuMs = 0;
    bench::Counts counts;
};

// One update through the exports against a printer of its own.
Run UpdateOnce(const std::string& where, const std::string& profile, DWORD flags, const std::vector<std::string>& extra) {
    Run run;
    std::vector<std::string> args = {"--stats", "-p", where + "=" + profile};
    args.insert(args.end(), extra.begin(), extra.end());
    vanto_test::VprinterProcess printer(args);
    if (!printer.Ready()) return run;
    const std::u16string name(kQueue, kQueue + std::char_traits<char>::length(kQueue));
    const auto wallStart = Clock::now();
    const std::clock_t cpuStart = std::clock();
    HVANTO h = Initialize(name.c_str(), VANTO_FLAG_PRINTERINFO | flags);
    if (h != nullptr) {
        run.status = UpdatePrinterInfo(h, kAllElements, 0);
        Release(h);
    }
    run.cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - wallStart).count();
    printer.Stop();
    if (const auto counts = bench::ReadStats(printer.Stderr())) run.counts = *counts;
    return run;
}

// Rows of the profile's MIB recording under a column ("1.3.6.1." + the library's identifier).
size_t RowsUnder(const std::string& snmprec, const std::string& column) {
    const std::string prefix = "1.3.6.1." + column + ".";
    size_t rows = 0;
    std::istringstream in(snmprec);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, prefix.size(), prefix) == 0) ++rows;
    return rows;
}

// Requests of snmpwalk -v1 (one row per GetNext, one more to see the column end) for every
// column the log shows walked, and one Get per object read alone.
size_t OneRowWalkRequests(const std::string& log, const std::string& snmprec) {
    size_t requests = 0;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        for (const char* walk : {"CBIDI_BP::GetValueList ", "CBIDI_BP::GetStringList "}) {
            const size_t at = line.find(walk);
            if (at != std::string::npos) {
                std::string column = line.substr(at + std::char_traits<char>::length(walk));
                column.erase(column.find_last_not_of("\r\n ") + 1);
                // The library names a column by its first row ("...1.1"): the walk covers its parent.
                const size_t dot = column.rfind('.');
                requests += RowsUnder(snmprec, dot == std::string::npos ? column : column.substr(0, dot)) + 1;
            }
        }
        if (line.find("CBIDI_BP::GetMIBValue ") != std::string::npos || line.find("CBIDI_BP::GetMIBInteger ") != std::string::npos)
            ++requests;
    }
    return requests;
}

}  // namespace

int main(int argc, char** argv) {
    bench::Options options;
    options.runs = 5;
    if (!bench::ParseOptions(argc, argv, options)) return 2;
    const int runs = options.runs;
    const std::vector<fs::path> folders =
        bench::ProfileFolders(options.profiles, [](const fs::path& p) { return fs::exists(p / "profile.json"); });

    std::printf("%-18s %6s %9s %10s %10s %6s %8s %10s\n", "profile", "status", "exchanges", "wall ms", "x * 5 ms",
                "ratio", "cpu ms", "1-row walk");
    int host = 1;
    for (const fs::path& folder : folders) {
        const std::string name = folder.filename().string();
        std::string where, port;
        if (const auto usb = bench::UsbPort(folder)) {
            where = port = *usb;
        } else {
            where = kAddressBase + std::to_string(host++);
            port = "IP_" + where;
        }
        Prefix prefix(port);
        if (!prefix.Ok()) {
            std::printf("%-18s prefix could not be made\n", name.c_str());
            continue;
        }
        const DWORD flags = bench::OpenFlags(name) != 0 ? VANTO_FLAG_LIJ_CUSTOM : 0;
        double cpuMs = 0;
        for (int i = 0; i < runs; ++i) cpuMs += UpdateOnce(where, folder.string(), flags, {}).cpuMs;
        const Run late = UpdateOnce(where, folder.string(), flags,
                                    {"--fault", "any:late,delay=" + std::to_string(kLateMs)});
        std::string walk = "-";
        if (!bench::UsbPort(folder) && fs::exists(folder / "mib.snmprec") && prefix.EnableLog()) {
            UpdateOnce(where, folder.string(), flags, {});
            std::ifstream in(folder / "mib.snmprec");
            walk = std::to_string(OneRowWalkRequests(prefix.LogText(), std::string(std::istreambuf_iterator<char>(in), {})));
        }
        const double ideal = static_cast<double>(late.counts.exchanges * kLateMs);
        std::printf("%-18s %6d %9llu %10.1f %10.1f %6.2f %8.2f %10s\n", name.c_str(), late.status, late.counts.exchanges,
                    late.wallMs, ideal, ideal > 0 ? late.wallMs / ideal : 0.0, cpuMs / runs, walk.c_str());
    }
    return 0;
}
