// Helpers of the discovery tests: small virtual-printer profiles written into a test's temporary
// folder (a device ID, a sysName, and whatever else the test's MIB lines add), and the texts of
// the byte-packed result records.
#pragma once

#include <cstring>
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

// A UTF-16 text field of a packed record, read by value (the field may be unaligned).
template <size_t N>
std::u16string Field(const char16_t (&field)[N]) {
    char16_t copy[N];
    std::memcpy(copy, field, sizeof copy);
    return std::u16string(copy, std::char_traits<char16_t>::length(copy));
}

}  // namespace probe_test
