// The library's log switched on for a test: HKLM "SOFTWARE\KELDA\VANTO" "VANTO_LOG" = 1 and the
// folder VANTOLOG on drive C:, given as `driveC` (the prefix's drive_c on Linux, "C:" on Windows).
// Returns the folder.
#pragma once

#include "platform/prefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace vanto_test {

inline std::string EnableLogOn(const std::string& driveC) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, vplat::kLogSwitchKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_SUCCESS)) << "cannot create the log switch key";
    if (status == ERROR_SUCCESS) {
        const DWORD on = 1;
        EXPECT_EQ(
            RegSetValueExW(key, vplat::kLogSwitchValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on),
            static_cast<LSTATUS>(ERROR_SUCCESS));
        RegCloseKey(key);
    }
    const std::string folder = driveC + "/VANTOLOG";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    EXPECT_FALSE(ec) << "cannot create " << folder;
    return folder;
}

}  // namespace vanto_test
