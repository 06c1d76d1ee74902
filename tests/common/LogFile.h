// Helpers of the tests that read the diagnostic log: the switch in the registry and the lines of
// this process's log file in the current prefix.
#pragma once

#include "platform/win32.h"
#include "support/TempPrefix.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace vanto_test {

// Sets "VANTO_LOG" to the value, or creates the switch key without the value.
inline void SetLogSwitch(std::optional<DWORD> value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, vplat::kLogSwitchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              static_cast<LSTATUS>(ERROR_SUCCESS));
    if (value) {
        RegSetValueExW(key, vplat::kLogSwitchValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value), sizeof(DWORD));
    } else {
        RegDeleteValueW(key, vplat::kLogSwitchValue);
    }
    RegCloseKey(key);
}

inline std::string LogFolder(const TempPrefix& prefix) {
    return prefix.DriveC() + "/VANTOLOG";
}

// The whole log file of this process as bytes; empty when there is none.
inline std::string ReadLog(const TempPrefix& prefix) {
    std::ifstream in(LogFolder(prefix) + "/VANTO(pid" + std::to_string(::getpid()) + ").log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The log's lines without their CR LF ends.
inline std::vector<std::string> LogLines(const TempPrefix& prefix) {
    std::vector<std::string> lines;
    std::string text = ReadLog(prefix);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

}  // namespace vanto_test
