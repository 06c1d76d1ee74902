// TempPrefix of the Windows test programs: the same name and calls as tests/support/TempPrefix.h,
// for the tests that only need the log switch and the log folder. On Windows the machine itself
// is the prefix (under Wine, the throw-away WINEPREFIX of scripts/test-windows): a TempPrefix
// clears the switch and the folder C:\VANTOLOG when it is made and again when it ends.
#pragma once

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace vplat {
inline constexpr const char16_t* kLogSwitchKey = u"SOFTWARE\\KELDA\\VANTO";
inline constexpr const char16_t* kLogSwitchValue = u"VANTO_LOG";
}  // namespace vplat

namespace vanto_test {

class TempPrefix {
public:
    TempPrefix() { Clear(); }
    ~TempPrefix() { Clear(); }
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    std::string DriveC() const { return "C:"; }

    // VANTO_LOG = 1 and the folder C:\VANTOLOG; returns the folder.
    std::string EnableLog() const {
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, vplat::kLogSwitchKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                         &key, nullptr);
        EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_SUCCESS)) << "cannot create the log switch key";
        if (status == ERROR_SUCCESS) {
            const DWORD on = 1;
            EXPECT_EQ(RegSetValueExW(key, vplat::kLogSwitchValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on),
                                     sizeof on),
                      static_cast<LSTATUS>(ERROR_SUCCESS));
            RegCloseKey(key);
        }
        const std::string folder = DriveC() + "/VANTOLOG";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        EXPECT_FALSE(ec) << "cannot create " << folder;
        return folder;
    }

private:
    void Clear() const {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, vplat::kLogSwitchKey);
        std::error_code ec;
        std::filesystem::remove_all(DriveC() + "/VANTOLOG", ec);
    }
};

}  // namespace vanto_test
