// vanto probe [--subnet ADDR/MASK]... | --range START END | --address ADDR | --name TEXT [--json]
//     searches for printers through the library's discovery exports (Initialize with flag 0x1,
//     SetSubnetAddress / SetContextIPRANGE / SetContextIPADR / SetContextName, SetProbeMode,
//     ProbePrinter, GetProbeResult) and shows every device found: address, name, location,
//     colour, duplex, page-description languages, market and whether it was examined.
//
// The search type follows from the option given: --name a NAME search (1), --subnet a subnet
// search (2; none of the options: a subnet search without subnets, which the transport module
// runs over its default loopback block), --range an address-range search (3), --address a search
// of one address (4). Every address must lie in 127.0.0.0/8, as the transport module sends
// nothing elsewhere; the tool refuses any other before the library is even loaded.
//
// The library reports nothing while ProbePrinter runs (no progress callback, and its result list
// may not be read until the search has returned), so the live line on a terminal shows only what
// the tool itself knows: the addresses asked, the time elapsed and how the search ends. Ctrl-C
// reaches only a watching thread, which calls StopProbe; ProbePrinter then returns with what its
// examinations found so far, and that is shown.
#include "modules/transport/CNetAddress.h"
#include "modules/transport/zkapi.h"
#include "platform/host.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;
using vanto_cli::kExitFailure;

constexpr int kExitUsage = 2;          // the options do not describe a search the tool may run
constexpr int kExitInterrupted = 130;  // stopped by Ctrl-C; what was found is still shown
constexpr size_t kMaxDevices = 65536;  // more records than any search can find: a longer chain is broken
constexpr auto kLiveLineTick = std::chrono::milliseconds(200);

struct Options {
    std::vector<std::string> subnets;  // ADDR/MASK
    std::vector<std::string> range;    // START END
    std::string address;
    std::string name;
    bool asJson = false;
};

struct Subnet {
    std::string network, mask;  // dotted, as handed to SetSubnetAddress
};

// What the tool asks the library to search, checked.
struct Search {
    uint32_t type = VANTO_PROBE_SUBIP;
    std::vector<Subnet> subnets;
    std::string first, last;  // range
    std::string address;
    std::string name;
    size_t addressCount = 0;  // addresses the transport module will ask; 0 when the module chooses
    std::string description;  // for the live line and the JSON document
};

const char* TypeName(uint32_t type) {
    switch (type) {
    case VANTO_PROBE_NAME: return "NAME";
    case VANTO_PROBE_SUBIP: return "SUBIP";
    case VANTO_PROBE_IPRANGE: return "IPRANGE";
    case VANTO_PROBE_IPADR: return "IPADR";
    default: return "unknown";
    }
}

// A dotted loopback address, or a message saying why the text is not one.
std::optional<uint32_t> LoopbackAddress(const std::string& text, const char* what, std::string& error) {
    const auto address = zk::ParseIPv4(text);
    if (!address) {
        error = std::string(what) + " '" + text + "' is not a dotted IPv4 address";
        return std::nullopt;
    }
    if (!zk::IsPermittedAddress(*address)) {
        error = std::string(what) + " " + text + " lies outside 127.0.0.0/8: searches stay on loopback addresses";
        return std::nullopt;
    }
    return address;
}

// "ADDR/MASK" with a dotted mask or a prefix length; the whole subnet must lie in 127.0.0.0/8.
bool ParseSubnet(const std::string& text, Subnet& subnet, size_t& hosts, std::string& error) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) {
        error = "subnet '" + text + "' needs a mask: ADDR/MASK, e.g. 127.0.145.0/24 or 127.0.145.0/255.255.255.0";
        return false;
    }
    const std::string maskText = text.substr(slash + 1);
    const auto network = LoopbackAddress(text.substr(0, slash), "subnet address", error);
    if (!network) return false;
    uint32_t mask = 0;
    if (maskText.find('.') != std::string::npos) {
        const auto dotted = zk::ParseIPv4(maskText);
        if (!dotted) {
            error = "subnet mask '" + maskText + "' is not a dotted mask";
            return false;
        }
        mask = *dotted;
    } else {
        if (maskText.empty() || maskText.size() > 2 || maskText.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(maskText) > 32) {
            error = "subnet mask '" + maskText + "' is neither a dotted mask nor a prefix length 0-32";
            return false;
        }
        const int length = std::stoi(maskText);
        mask = length == 0 ? 0 : ~uint32_t{0} << (32 - length);
    }
    if ((mask & zk::kLoopbackMask) != zk::kLoopbackMask) {
        error = "subnet " + text + " reaches beyond 127.0.0.0/8: use a mask of /8 or longer";
        return false;
    }
    const auto list = zk::SubnetHosts(*network, mask, kZkMaxProbeAddresses);
    if (!list) {
        error = "subnet " + text + ": the mask is not contiguous or the subnet has more than " +
                std::to_string(kZkMaxProbeAddresses) + " addresses";
        return false;
    }
    subnet = {zk::FormatIPv4(*network), zk::FormatIPv4(mask)};
    hosts = list->size();
    return true;
}

// The search the options describe, or false with the reason.
bool MakeSearch(const Options& o, Search& s, std::string& error) {
    const int kinds = !o.subnets.empty() + !o.range.empty() + !o.address.empty() + !o.name.empty();
    if (kinds > 1) {
        error = "give one of --subnet, --range, --address and --name: each is a search of its own";
        return false;
    }
    if (!o.name.empty()) {
        s.type = VANTO_PROBE_NAME;
        s.name = o.name;
        s.description = "devices named " + o.name + "* on the default loopback block";
    } else if (!o.range.empty()) {
        s.type = VANTO_PROBE_IPRANGE;
        const auto first = LoopbackAddress(o.range[0], "range start", error);
        const auto last = first ? LoopbackAddress(o.range[1], "range end", error) : std::nullopt;
        if (!last) return false;
        const auto list = zk::RangeHosts(*first, *last, kZkMaxProbeAddresses);
        if (!list) {
            error = "the range has more than " + std::to_string(kZkMaxProbeAddresses) + " addresses";
            return false;
        }
        s.first = o.range[0];
        s.last = o.range[1];
        s.addressCount = list->size();
        s.description = s.first + " - " + s.last;
    } else if (!o.address.empty()) {
        s.type = VANTO_PROBE_IPADR;
        if (!LoopbackAddress(o.address, "address", error)) return false;
        s.address = o.address;
        s.addressCount = 1;
        s.description = s.address;
    } else {
        for (const std::string& text : o.subnets) {
            Subnet subnet;
            size_t hosts = 0;
            if (!ParseSubnet(text, subnet, hosts, error)) return false;
            s.subnets.push_back(subnet);
            s.addressCount += hosts;
            s.description += (s.description.empty() ? "" : ", ") + text;
        }
        if (s.addressCount > kZkMaxProbeAddresses) {
            error = "the subnets have more than " + std::to_string(kZkMaxProbeAddresses) + " addresses together";
            return false;
        }
        if (s.subnets.empty()) s.description = "the default loopback block";
    }
    return true;
}

// ---- The records the library hands out ---------------------------------------------------------

// A UTF-16 field of fixed size, up to its first zero.
template <size_t N>
std::string FieldText(const char16_t (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != 0) ++length;
    return vanto_cli::Narrow(std::u16string_view(field, length));
}

std::vector<std::string> LanguageNames(uint32_t pdl) {
    std::vector<std::string> names;
    if (pdl & VANTO_PROBE_PDL_QLMPAGE) names.emplace_back("QLMPAGE");
    if (pdl & VANTO_PROBE_PDL_QLMPAGE_COL) names.emplace_back("QLMPAGE colour");
    if (pdl & VANTO_PROBE_PDL_QLMPAGE_S04) names.emplace_back("QLMPAGE S04");
    if (pdl & VANTO_PROBE_PDL_QLMPR) names.emplace_back("ink-jet raster");
    if ((pdl & VANTO_PROBE_PDL_PCL) == VANTO_PROBE_PDL_PCL)
        names.emplace_back("PCL/PCL XL");
    else if (pdl & VANTO_PROBE_PDL_SYSOEM)
        names.emplace_back("PCL XL (System OEM model)");  // the single-address search's device
    const uint32_t known = VANTO_PROBE_PDL_QLMPAGE | VANTO_PROBE_PDL_QLMPAGE_COL | VANTO_PROBE_PDL_QLMPAGE_S04 |
                           VANTO_PROBE_PDL_QLMPR | VANTO_PROBE_PDL_PCL;
    for (uint32_t bit = 1; bit != 0; bit <<= 1) {
        if ((pdl & bit) == 0 || (known & bit) != 0) continue;
        char other[24];
        std::snprintf(other, sizeof other, "bit 0x%x", bit);
        names.emplace_back(other);
    }
    return names;
}

std::string MarketName(uint32_t domestic) {
    switch (domestic) {
    case VANTO_PROBE_DOMESTIC_INKJET: return "ink-jet class";
    case VANTO_PROBE_DOMESTIC_JA: return "Japanese";
    case 0: return "other";
    default: return "value " + std::to_string(domestic);
    }
}

struct Device {
    std::string address, name, location;
    bool colour = false, duplex = false, examined = false;
    uint32_t pdl = 0, domestic = 0;
    std::vector<std::pair<std::string, uint32_t>> addresses;  // text, value (the SNMP port)
};

std::vector<Device> ReadResults(const SBIProbeResult* record) {
    std::vector<Device> devices;
    for (; record != nullptr && devices.size() < kMaxDevices; record = record->pNext) {
        Device d;
        d.address = FieldText(record->szAddress);
        if (record->pDeviceName != nullptr) d.name = vanto_cli::Narrow(record->pDeviceName);
        d.location = FieldText(record->szLocation);
        d.colour = record->dwColor == 1;
        d.duplex = record->dwDuplex == 1;
        d.examined = record->dwInfoObtained == 1;
        d.pdl = record->dwSupportPDL;
        d.domestic = record->dwDomestic;
        size_t entries = 0;
        for (const SBIProbeAddress* a = record->pAddressList; a != nullptr && entries < kMaxDevices; a = a->pNext, ++entries)
            d.addresses.emplace_back(FieldText(a->szAddress), a->dwValue);
        // The record of a one-address search carries its address only in its list.
        if (d.address.empty() && !d.addresses.empty()) d.address = d.addresses.front().first;
        devices.push_back(std::move(d));
    }
    return devices;
}

// ---- Showing them ------------------------------------------------------------------------------

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "none" : text;
}

void PrintTable(const std::vector<Device>& devices) {
    const std::vector<std::string> heads = {"ADDRESS", "NAME", "LOCATION", "COLOUR", "DUPLEX", "LANGUAGES", "MARKET",
                                            "EXAMINED"};
    std::vector<std::vector<std::string>> rows;
    for (const Device& d : devices)
        rows.push_back({d.address, d.name.empty() ? "-" : d.name, d.location.empty() ? "-" : d.location,
                        d.colour ? "colour" : "mono", d.duplex ? "yes" : "no", Joined(LanguageNames(d.pdl)),
                        MarketName(d.domestic), d.examined ? "yes" : "no"});
    std::vector<size_t> widths;
    for (const std::string& head : heads) widths.push_back(head.size());
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    auto printRow = [&widths](const std::vector<std::string>& cells) {
        std::string line;
        for (size_t i = 0; i < cells.size(); ++i) {
            line += cells[i];
            if (i + 1 < cells.size()) line += std::string(widths[i] - cells[i].size() + 2, ' ');
        }
        std::printf("%s\n", line.c_str());
    };
    printRow(heads);
    for (const auto& row : rows) printRow(row);
}

json DeviceJson(const Device& d) {
    json addresses = json::array();
    for (const auto& [text, value] : d.addresses) addresses.push_back({{"address", text}, {"value", value}});
    return {{"address", d.address},
            {"name", d.name},
            {"location", d.location},
            {"colour", d.colour},
            {"duplex", d.duplex},
            {"support_pdl", d.pdl},
            {"languages", LanguageNames(d.pdl)},
            {"domestic", d.domestic},
            {"market", MarketName(d.domestic)},
            {"examined", d.examined},
            {"addresses", addresses}};
}

// ---- Running the search ------------------------------------------------------------------------

// Watches for Ctrl-C (which reaches no other thread) and calls StopProbe; on a terminal it also
// redraws the live line. Runs until Finish.
class Watcher {
public:
    Watcher(const vanto_cli::Library& library, HVANTO handle, const Search& search, bool liveLine)
        : m_library(library), m_handle(handle), m_search(search), m_liveLine(liveLine) {}
    ~Watcher() { Finish(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    void Start() {
        m_start = Clock::now();
        m_thread = std::thread([this] { Run(); });
    }
    void Finish() {
        m_done = true;
        if (m_thread.joinable()) m_thread.join();
    }
    bool Interrupted() const { return m_interrupted; }
    double Seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

private:
    void Run() {
        while (!m_done) {
            if (vplat::host::WaitForInterrupt(kLiveLineTick)) m_interrupted = true;
            // Again at every tick while the search runs: a Ctrl-C that came just before
            // ProbePrinter had made its stop event would otherwise be lost.
            if (m_interrupted && !m_done) m_library.StopProbe(m_handle);
            if (m_liveLine && !m_done) Draw();
        }
        if (m_liveLine) std::fprintf(stderr, "\r\033[K");
    }

    void Draw() const {
        std::string count = m_search.addressCount > 0 ? " (" + std::to_string(m_search.addressCount) + " addresses)" : "";
        const char* how = m_interrupted ? "stopping: waiting for the examinations under way"
                          : m_search.type == VANTO_PROBE_IPADR
                              ? "ends once the device is recognised, at most 10 s"
                              : "ends 3 s after the last device answers; Ctrl-C stops it";
        std::fprintf(stderr, "\r\033[Ksearching %s%s: %.1f s, %s", m_search.description.c_str(), count.c_str(), Seconds(),
                     how);
        std::fflush(stderr);
    }

    const vanto_cli::Library& m_library;
    const HVANTO m_handle;
    const Search& m_search;
    const bool m_liveLine;
    Clock::time_point m_start;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_interrupted{false};
    std::thread m_thread;
};

// Hands the conditions to the library; false (said on stderr) when it refuses one.
bool SetConditions(const vanto_cli::Library& library, HVANTO h, const Search& s) {
    auto refused = [](const std::string& what) {
        std::fprintf(stderr, "vanto probe: the library refused %s (texts of at most 63 characters)\n", what.c_str());
        return false;
    };
    for (const Subnet& subnet : s.subnets) {
        if (library.SetSubnetAddress(h, vanto_cli::Widen(subnet.network).c_str(), vanto_cli::Widen(subnet.mask).c_str()) != 1)
            return refused("the subnet " + subnet.network + "/" + subnet.mask);
    }
    if (s.type == VANTO_PROBE_IPRANGE &&
        library.SetContextIPRANGE(h, vanto_cli::Widen(s.first).c_str(), vanto_cli::Widen(s.last).c_str()) != 1)
        return refused("the range " + s.first + " - " + s.last);
    if (s.type == VANTO_PROBE_IPADR && library.SetContextIPADR(h, vanto_cli::Widen(s.address).c_str()) != 1)
        return refused("the address " + s.address);
    if (s.type == VANTO_PROBE_NAME && library.SetContextName(h, vanto_cli::Widen(s.name).c_str()) != 1)
        return refused("the name " + s.name);
    // Parameters of the transport module: its defaults, and the SNMP port as the value of the
    // single-address search's address entry.
    if (library.SetProbeMode(h, s.type, 0, 0, kZkSnmpPort, 0, 0, 0) != 1)
        return refused(std::string("the probe type ") + TypeName(s.type));
    return true;
}

int RunProbe(const Options& options) {
    Search search;
    std::string error;
    if (!MakeSearch(options, search, error)) {
        std::fprintf(stderr, "vanto probe: %s\n", error.c_str());
        return kExitUsage;
    }
    // Before any thread exists, so that the library's and the transport module's threads never
    // take Ctrl-C and only the watcher sees it.
    vplat::host::CatchInterrupt();

    vanto_cli::Library library;
    if (!library.Load(error)) {
        std::fprintf(stderr, "vanto probe: %s\n", error.c_str());
        return kExitFailure;
    }
    vanto_cli::Instance instance(library, library.Initialize(nullptr, VANTO_FLAG_PROBE));
    if (!instance) {
        std::fprintf(stderr,
                     "vanto probe: Initialize with flag 0x1 failed: the network transport module must lie beside %s "
                     "(the library log says which file it tried)\n",
                     library.Path().c_str());
        return kExitFailure;
    }
    if (!SetConditions(library, instance.Handle(), search)) return kExitFailure;

    Watcher watcher(library, instance.Handle(), search, vplat::host::IsTerminal(stderr));
    watcher.Start();
    const int started = library.ProbePrinter(instance.Handle(), nullptr);
    const double seconds = watcher.Seconds();
    watcher.Finish();
    if (started != 1) {
        std::fprintf(stderr,
                     "vanto probe: the search could not start: the transport module refused the conditions (the "
                     "library log names the reason)\n");
        return kExitFailure;
    }
    // The records stay the instance's until it is released: read them first.
    const std::vector<Device> devices = ReadResults(library.GetProbeResult(instance.Handle()));
    const bool interrupted = watcher.Interrupted();

    if (options.asJson) {
        json devicesJson = json::array();
        for (const Device& d : devices) devicesJson.push_back(DeviceJson(d));
        json conditions = {{"type", TypeName(search.type)}, {"type_number", search.type}};
        if (!search.subnets.empty()) {
            json subnets = json::array();
            for (const Subnet& s : search.subnets) subnets.push_back({{"network", s.network}, {"mask", s.mask}});
            conditions["subnets"] = subnets;
        }
        if (search.type == VANTO_PROBE_IPRANGE) conditions["range"] = {search.first, search.last};
        if (search.type == VANTO_PROBE_IPADR) conditions["address"] = search.address;
        if (search.type == VANTO_PROBE_NAME) conditions["name"] = search.name;
        if (search.addressCount > 0) conditions["addresses"] = search.addressCount;
        const json document = {{"search", conditions},
                               {"stopped_by_interrupt", interrupted},
                               {"seconds", static_cast<double>(static_cast<long>(seconds * 1000)) / 1000},
                               {"devices", devicesJson}};
        std::printf("%s\n", document.dump(2).c_str());
    } else {
        std::printf("%zu device%s found searching %s in %.1f s%s\n", devices.size(), devices.size() == 1 ? "" : "s",
                    search.description.c_str(), seconds, interrupted ? " (stopped by Ctrl-C: partial results)" : "");
        if (!devices.empty()) PrintTable(devices);
    }
    return interrupted ? kExitInterrupted : 0;
}

vanto_cli::VerbGroup probeVerbs([](CLI::App& app) {
    auto* probe = app.add_subcommand("probe", "Search for printers on loopback addresses (library: ProbePrinter)");
    auto options = std::make_shared<Options>();
    probe->add_option("--subnet", options->subnets, "ADDR/MASK: search a subnet (mask dotted or a prefix length); repeatable");
    probe->add_option("--range", options->range, "START END: search every address from START to END")->expected(2);
    probe->add_option("--address", options->address, "ADDR: ask one address (also for System OEM models)");
    probe->add_option("--name", options->name, "TEXT: devices whose name begins with TEXT, on the default loopback block");
    probe->add_flag("--json", options->asJson, "Print one JSON document on stdout and nothing else there");
    probe->footer(
        "Every address must lie in 127.0.0.0/8. A search ends 3 s after the last device answered (one address:\n"
        "once it is recognised, at most 10 s); Ctrl-C stops it early and shows what was found (exit code 130).\n"
        "Without options the transport module searches its default loopback block.\n"
        "Examples:\n"
        "  vanto probe --subnet 127.0.145.0/24\n"
        "  vanto probe --subnet 127.0.145.0/255.255.255.0 --subnet 127.0.146.0/24 --json\n"
        "  vanto probe --range 127.0.145.1 127.0.145.40\n"
        "  vanto probe --address 127.0.145.7\n"
        "  vanto probe --name Office\n");
    probe->callback([options] {
        const int rc = RunProbe(*options);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
