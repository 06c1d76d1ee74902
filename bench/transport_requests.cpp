// What one live open costs on the wire: for every sample printer in samples/printers/, the
// SNMP requests, job-language connections and USB connections that CBIDI_BP::Open followed by
// GetStatusFromCurrentChannel makes, as the virtual printer counts them (vprinter --stats).
//
//   bench_transport_requests [--module PATH] [--profiles DIR]
//
// --module names the transport module to measure (default: the build's ZKAPI7x64.Dll), so an
// older build of the module can be measured against the same printers. Each profile gets a
// fresh prefix, a queue of the sample driver on 127.0.210.n (or the profile's USB port) and a
// vprinter of its own, so the counts are that one open's alone. Packets stay on loopback.
#include "BenchPrefix.h"
#include "BenchPrinters.h"
#include "bidi/CBIDI_BP.h"
#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "platform/prefix.h"
#include "support/VprinterProcess.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace {

using bench::Counts;
using bench::OpenFlags;
using bench::ReadStats;
using bench::UsbPort;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kDriverName = "Vintal Universal Driver";
constexpr const char* kAddressBase = "127.0.210.";  // this program's own loopback addresses

struct Sample {
    std::string profile;
    DWORD flags = 0;
    std::string where;  // vprinter's "-p" address or USB port
    std::string port;   // the queue's port
};

// A fresh prefix with the sample driver, whose transport module is a copy of `module`.
class Prefix {
public:
    Prefix(const std::string& module, const std::string& scratch) {
        if (!m_folder.Made()) return;
        std::string error;
        const std::string moduleCopy = scratch + "/ZKAPI7x64.Dll";
        std::error_code ec;
        fs::copy_file(module, moduleCopy, fs::copy_options::overwrite_existing, ec);
        const std::string build = VANTO_BUILD_DIR;
        m_ok = !ec && vplat::InitPrefix(error) &&
               vplat::AddDriver(kDriverName, std::string(VANTO_SOURCE_DIR) + "/samples/driver",
                                {moduleCopy, build + "/VUD3CFGX.BRT", build + "/VUD3LP.BRT", build + "/VUD3LPN.BRT"}, {},
                                error);
        if (!m_ok) std::fprintf(stderr, "prefix: %s\n", ec ? ec.message().c_str() : error.c_str());
        fs::create_directories(vplat::UsbFolder(), ec);
    }
    ~Prefix() { BILogging::End(); }
    Prefix(const Prefix&) = delete;
    Prefix& operator=(const Prefix&) = delete;
    bool Ok() const { return m_ok; }

private:
    bench::PrefixFolder m_folder;
    bool m_ok = false;
};

struct Outcome {
    BOOL opened = FALSE;
    BOOL status = FALSE;
    DWORD channel = 0;
    long ms = 0;
    std::optional<Counts> counts;
};

Outcome Measure(const Sample& sample, const std::string& module, const std::string& scratch) {
    Outcome outcome;
    Prefix prefix(module, scratch);
    std::string error;
    const std::string queue = "Bench";
    if (!prefix.Ok() || !vplat::AddQueue(queue, kDriverName, sample.port, error)) return outcome;
    vanto_test::VprinterProcess printer({"--stats", "-p", sample.where + "=" + sample.profile});
    if (!printer.Ready()) {
        std::fprintf(stderr, "vprinter did not start: %s\n", printer.Stderr().c_str());
        return outcome;
    }
    const std::u16string name(queue.begin(), queue.end());
    {
        BIInfo context;
        CBIDI_BP bidi;
        const auto start = Clock::now();
        if (context.Build(name.c_str(), 0) && bidi.Initialize(&context, sample.flags)) {
            outcome.opened = bidi.Open(name.c_str());
            outcome.channel = bidi.GetChannelKind();
            if (outcome.opened) outcome.status = bidi.GetStatusFromCurrentChannel();
        }
        outcome.ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    }
    printer.Stop();
    outcome.counts = ReadStats(printer.Stderr());
    return outcome;
}

const char* ChannelName(DWORD kind) {
    switch (kind) {
    case kZkChannelSNMP: return "SNMP";
    case kZkChannelOPK: return "OPK";
    case kZkChannelD4: return "D4";
    case kZkChannelTVD4: return "TVD4";
    default: return "-";
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string module = std::string(VANTO_BUILD_DIR) + "/ZKAPI7x64.Dll";
    std::string profiles = std::string(VANTO_SOURCE_DIR) + "/samples/printers";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--module") module = fs::absolute(argv[i + 1]).string();
        else if (option == "--profiles") profiles = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: %s [--module PATH] [--profiles DIR]\n", argv[0]);
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::fprintf(stderr, "usage: %s [--module PATH] [--profiles DIR]\n", argv[0]);
        return 2;
    }

    std::vector<fs::path> folders;
    for (const auto& entry : fs::directory_iterator(profiles))
        if (fs::exists(entry.path() / "profile.json")) folders.push_back(entry.path());
    std::sort(folders.begin(), folders.end());

    const std::string scratch = (fs::temp_directory_path() / ("vanto-bench-module-" + std::to_string(::getpid()))).string();
    fs::create_directories(scratch);
    std::printf("module: %s\n", module.c_str());
    std::printf("%-18s %-7s %-5s %-7s %6s %9s %9s %8s\n", "profile", "channel", "open", "status", "snmp", "opk-conn",
                "usb-conn", "ms");
    int host = 1;
    for (const fs::path& folder : folders) {
        Sample sample;
        sample.profile = folder.string();
        sample.flags = OpenFlags(folder.filename().string());
        if (const auto usb = UsbPort(folder)) {
            sample.where = sample.port = *usb;
        } else {
            sample.where = kAddressBase + std::to_string(host++);
            sample.port = "IP_" + sample.where;
        }
        const Outcome o = Measure(sample, module, scratch);
        const std::string name = folder.filename().string();
        if (!o.counts) {
            std::printf("%-18s no counts (vprinter gave no stats line)\n", name.c_str());
            continue;
        }
        std::printf("%-18s %-7s %-5s %-7s %6llu %9llu %9llu %8ld\n", name.c_str(), ChannelName(o.channel),
                    o.opened ? "ok" : "fail", o.status ? "ok" : "fail", o.counts->snmp, o.counts->opk, o.counts->usb,
                    o.ms);
    }
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return 0;
}
