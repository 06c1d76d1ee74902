// What the benchmarks that run sample printers share: which profiles sit on a USB port, the open
// flags the live-printer tests use for a profile, and vprinter's --stats line.
#pragma once

#include "bidi/CBIDI_BP.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>

namespace bench {

struct Counts {
    unsigned long long snmp = 0, opk = 0, usb = 0, exchanges = 0;
};

// "vprinter: stats LABEL: snmp-requests=N opk-connections=N usb-connections=N exchanges=N"
inline std::optional<Counts> ReadStats(const std::string& stderrText) {
    static const std::regex line(
        R"(vprinter: stats [^\n]*: snmp-requests=(\d+) opk-connections=(\d+) usb-connections=(\d+) exchanges=(\d+))");
    std::smatch m;
    if (!std::regex_search(stderrText, m, line)) return std::nullopt;
    return Counts{std::stoull(m[1]), std::stoull(m[2]), std::stoull(m[3]), std::stoull(m[4])};
}

// The profile's USB port when it sits on one.
inline std::optional<std::string> UsbPort(const std::filesystem::path& profile) {
    std::ifstream in(profile / "profile.json");
    const auto json = nlohmann::json::parse(in, nullptr, false);
    if (json.is_discarded() || !json.contains("usb_port")) return std::nullopt;
    return json["usb_port"].get<std::string>();
}

// Profiles that the live-printer tests open with an option flag, opened the same way here: a
// large ink-jet on the job-language port.
inline DWORD OpenFlags(const std::string& profileName) {
    return profileName == "inkjet-opk" ? BP_FLAG_FORCE_LARGE_INKJET : 0;
}

}  // namespace bench
