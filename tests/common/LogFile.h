// Helpers of the tests that read the diagnostic log: the switch in the registry and the lines of
// this process's log file in the current prefix.
#pragma once

#include "platform/win32.h"
#include "support/TempPrefix.h"

#include <cctype>
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
    std::string name = "VANTO(pid" + std::to_string(::getpid()) + ").log";
    std::error_code ec;
    if (!std::filesystem::is_directory(LogFolder(prefix), ec)) return std::string();
    for (const auto& entry : std::filesystem::directory_iterator(LogFolder(prefix), ec)) {
        std::string file = entry.path().filename().string();
        if (file.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size(); ++i) same = same && std::tolower(file[i]) == std::tolower(name[i]);
        if (!same) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return std::string();
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

// The length of the time stamp ("%2ld:%02ld.%03ld ") that begins the line, or 0 without one.
inline size_t TimeStampLength(const std::string& line) {
    auto digits = [&](size_t at, size_t count) {
        for (size_t i = at; i < at + count; ++i)
            if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) return false;
        return true;
    };
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon < 2) return 0;
    size_t first = line[0] == ' ' ? 1 : 0;
    if (!digits(first, colon - first) || !digits(colon + 1, 2) || line.size() < colon + 8) return 0;
    if (line[colon + 3] != '.' || !digits(colon + 4, 3) || line[colon + 7] != ' ') return 0;
    return colon + 8;
}

// A line without its time stamp.
inline std::string Message(const std::string& line) {
    return line.substr(TimeStampLength(line));
}

}  // namespace vanto_test
