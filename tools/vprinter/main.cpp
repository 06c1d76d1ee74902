// vprinter: serves virtual printers on loopback addresses and USB sockets until SIGTERM or
// SIGINT. Prints "vprinter: ready" on standard output once every socket is bound; any address
// or port that cannot be bound is reported and ends the run with status 2. With --stats, each
// printer's counts go to standard error when the run ends, one line per printer:
//   vprinter: stats 127.0.1.1 (colour-page): snmp-requests=5 opk-connections=2 usb-connections=0 exchanges=7
#include "Server.h"
#include "modules/agent_ports.h"

#include <CLI/CLI.hpp>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/library/snmp_logging.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

vprinter::Server* g_server = nullptr;

void OnSignal(int) {
    if (g_server) g_server->Stop();
}

std::string DefaultUsbDir() {
    if (const char* prefix = std::getenv("VANTO_PREFIX"); prefix && *prefix) return std::string(prefix) + "/usb";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.vanto/usb";
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vprinter: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Virtual printers on loopback addresses (SNMP, job-language port, USB sockets)"};
    std::vector<std::string> printers, faultTexts;
    std::string fleetFile;
    vprinter::ServerOptions options;
    options.usbDir = DefaultUsbDir();
    options.snmpPort = vmod::SnmpAgentPort();
    options.opkPort = vmod::JobLanguagePort();
    app.add_option("-p,--printer", printers, "ADDRESS=PROFILE: a printer on 127.x.y.z or a USB<nnn> port; repeatable");
    app.add_option("--fleet", fleetFile, "file of 'ADDRESS PROFILE' lines (profile paths relative to the file)");
    app.add_option("--snmp-port", options.snmpPort, "UDP port of the SNMP agents (default $VANTO_SNMP_PORT, else 161, which needs root)");
    app.add_option("--opk-port", options.opkPort, "TCP port of the job-language channel (default $VANTO_OPK_PORT, else 9100)");
    app.add_option("--usb-dir", options.usbDir, "folder of the USB<nnn>.sock files (default $VANTO_PREFIX/usb)");
    app.add_option("--fault", faultTexts, "fault rule CHANNEL:KIND[,count=N][,rate=R][,after=N][,delay=MS]; repeatable");
    app.add_option("--seed", options.seed, "seed of the fault dice");
    app.add_flag("-v,--verbose", options.verbose, "log requests that go unanswered and faults to stderr");
    bool stats = false;
    app.add_flag("--stats", stats, "at the end, write each printer's request and connection counts to stderr");
    CLI11_PARSE(app, argc, argv);

    for (const auto& text : faultTexts) {
        std::string error;
        auto rule = vprinter::ParseFaultRule(text, error);
        if (!rule) return Fail(error);
        options.faults.push_back(*rule);
    }

    // (address, profile path) pairs from the command line and the fleet file.
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& p : printers) {
        const size_t eq = p.find('=');
        if (eq == std::string::npos) return Fail("--printer wants ADDRESS=PROFILE, got '" + p + "'");
        entries.emplace_back(p.substr(0, eq), p.substr(eq + 1));
    }
    if (!fleetFile.empty()) {
        std::ifstream in(fleetFile);
        if (!in) return Fail("cannot read fleet file " + fleetFile);
        const auto base = std::filesystem::path(fleetFile).parent_path();
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            std::string address, profile, error;
            if (!vprinter::ParseFleetLine(line, address, profile, error))
                return Fail(fleetFile + ":" + std::to_string(n) + ": " + error);
            if (address.empty()) continue;
            const auto path = std::filesystem::path(profile).is_absolute() ? std::filesystem::path(profile) : base / profile;
            entries.emplace_back(address, path.string());
        }
    }
    if (entries.empty()) return Fail("no printer given (--printer or --fleet)");

    netsnmp_set_line_buffering(stderr);
    snmp_disable_log();  // malformed requests are the agent's business, not net-snmp's log

    vprinter::Server server(options);
    std::map<std::string, std::shared_ptr<const vprinter::Profile>> profiles;  // loaded once per path
    for (const auto& [address, path] : entries) {
        auto& profile = profiles[path];
        if (!profile) {
            std::string error;
            std::shared_ptr<vprinter::Profile> loaded = vprinter::LoadProfile(path, error);
            if (!loaded) return Fail(error);
            profile = std::move(loaded);
        }
        vprinter::PrinterSpec spec;
        spec.profile = profile;
        if (address.rfind("USB", 0) == 0) spec.usbPort = address;
        else spec.address = address;
        std::string error;
        if (!server.AddPrinter(spec, error)) return Fail(error);
    }

    g_server = &server;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("vprinter: ready (%zu printers)\n", server.PrinterCount());
    std::fflush(stdout);
    server.Run();
    g_server = nullptr;
    if (stats) {
        for (const auto& s : server.Stats())
            std::fprintf(stderr,
                         "vprinter: stats %s: snmp-requests=%llu opk-connections=%llu usb-connections=%llu "
                         "exchanges=%llu\n",
                         s.label.c_str(), static_cast<unsigned long long>(s.snmpRequests),
                         static_cast<unsigned long long>(s.opkConnections),
                         static_cast<unsigned long long>(s.usbConnections),
                         static_cast<unsigned long long>(s.exchanges));
    }
    std::printf("vprinter: stopped\n");
    return 0;
}
