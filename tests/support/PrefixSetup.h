// What both TempPrefix headers (tests/support on Linux, tests/windows/support on Windows) do the
// same way through platform/prefix.h: install the sample driver and a queue, switch the log on.
#pragma once

#include "platform/prefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <system_error>

namespace vanto_test {

inline constexpr const char* kSampleDriverName = "Vintal Universal Driver";

// The rendering and configuration modules of the drivers the tests install: the data file's
// UIModule on Linux. Wine's spooler makes a queue only with a real one, the system's PostScript
// driver, which lies in the driver folder already; the library's modules are named by the data file.
inline vplat::DriverFiles SampleDriverModules() {
#ifdef _WIN32
    return {"", "wineps.drv", "wineps.drv"};
#else
    return {};
#endif
}

// Installs the sample driver from samples/driver/ with the built files `extraDriverFiles` and,
// unless `queue` is empty, adds that queue on `port`; a failure is a test failure naming it.
inline void InstallSampleDriver(const std::string& queue, const std::string& port,
                                const std::vector<std::string>& extraDriverFiles) {
    std::string error;
    if (!vplat::AddDriver(kSampleDriverName, std::string(VANTO_SOURCE_DIR) + "/samples/driver", extraDriverFiles,
                          SampleDriverModules(), error)) {
        ADD_FAILURE() << "driver add: " << error;
        return;
    }
    if (!queue.empty() && !vplat::AddQueue(queue, kSampleDriverName, port, error)) ADD_FAILURE() << "queue add: " << error;
}

// The library's log switched on: HKLM "SOFTWARE\KELDA\VANTO" "VANTO_LOG" = 1 and the folder
// VANTOLOG on drive C:, given as `driveC` (the prefix's drive_c on Linux, "C:" on Windows).
// Returns the folder.
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
