// What the benchmarks that run sample printers share: their options, the profile folders they
// run, which profiles sit on a USB port, the open flags the live-printer tests use for a profile,
// and vprinter's --stats line.
#pragma once

#include "bidi/CBIDI_BP.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace bench {

// [--profiles DIR] [--runs N]: the folder of the printer profiles (default samples/printers) and
// how many times each measurement runs.
struct Options {
    std::string profiles = std::string(VANTO_SOURCE_DIR) + "/samples/printers";
    int runs = 1;
};

// Reads the options over the defaults in `options`; false, after the usage line, on anything else.
inline bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 < argc && option == "--profiles") options.profiles = argv[i + 1];
        else if (i + 1 < argc && option == "--runs") options.runs = std::max(1, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: %s [--profiles DIR] [--runs N]\n", argv[0]);
            return false;
        }
    }
    return true;
}

// The profile folders below `dir` that `keep` accepts, sorted by name.
template <typename Keep>
std::vector<std::filesystem::path> ProfileFolders(const std::string& dir, Keep keep) {
    std::vector<std::filesystem::path> folders;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (keep(entry.path())) folders.push_back(entry.path());
    std::sort(folders.begin(), folders.end());
    return folders;
}

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
