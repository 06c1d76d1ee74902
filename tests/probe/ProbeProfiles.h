// Small virtual-printer profiles for the discovery tests, written into a test's temporary folder:
// a device ID, a sysName, and whatever else the test's MIB lines add.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace probe_test {

// Writes folder/<name>/ with profile.json and mib.snmprec; returns the profile's path.
inline std::string WriteProfile(const std::string& folder, const std::string& name, const std::string& deviceID,
                                const std::string& sysName, const std::vector<std::string>& mibLines = {}) {
    const std::string dir = folder + "/" + name;
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/profile.json") << "{\"model\": \"" << name << "\", \"device_id\": \"" << deviceID
                                         << "\", \"channels\": [\"snmp\"]}\n";
    std::ofstream mib(dir + "/mib.snmprec");
    mib << "1.3.6.1.2.1.1.1.0|4|" << name << "\n";
    if (!sysName.empty()) mib << "1.3.6.1.2.1.1.5.0|4|" << sysName << "\n";
    for (const auto& line : mibLines) mib << line << "\n";
    return dir;
}

}  // namespace probe_test
