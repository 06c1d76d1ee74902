// TempPrefix of the Windows test programs: the same name and calls as tests/support/TempPrefix.h.
// On Windows the machine itself is the prefix (under Wine, the throw-away WINEPREFIX of
// scripts/test-windows): drivers and queues go through the spooler (platform/prefix.h, made for
// Windows in platform/windows), and a TempPrefix clears what the tests leave behind - the sample
// driver and its queues, HKLM "SOFTWARE\KELDA" (the log switch and the queues' stores), the drivers'
// shared folders and C:\VANTOLOG - when it is made and again when it ends.
#pragma once

#include "platform/TextUtil.h"
#include "platform/prefix.h"
#include "support/PrefixSetup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace vanto_test {

class TempPrefix {
public:
    static constexpr const char* kNoQueue = "";
    static constexpr const char* kDefaultPort = "IP_127.0.1.1";

    TempPrefix() { Create(); }
    // Also installs the sample driver (with the built files `extraDriverFiles`) and, unless
    // `queue` is kNoQueue, adds that queue on `port`.
    explicit TempPrefix(const std::string& queue, const std::string& port = kDefaultPort,
                        const std::vector<std::string>& extraDriverFiles = {}) {
        Create();
        InstallSampleDriver(queue, port, extraDriverFiles);
    }
    ~TempPrefix() {
        Clear();
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    // A scratch folder of this test, removed when it ends.
    const std::string& Root() const { return m_root; }
    std::string DriveC() const { return "C:"; }

    std::string EnableLog() const { return EnableLogOn(DriveC()); }

private:
    void Create() {
        Clear();
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        static unsigned serial = 0;
        m_root = (std::filesystem::path(temp) /
                  ("vanto-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial)))
                     .generic_string();
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
        std::filesystem::create_directories(m_root, ec);
        if (ec) ADD_FAILURE() << "cannot make " << m_root;
    }
    // Deletes the sample driver's queues, then the driver.
    static void RemoveSampleDriver() {
        DWORD needed = 0, count = 0;
        EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<BYTE> buffer(needed);
        if (needed > 0 && EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
            const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
            for (DWORD i = 0; i < count; ++i) {
                if (printers[i].pDriverName == nullptr ||
                    vplat::detail::ToUtf8(printers[i].pDriverName) != kSampleDriverName)
                    continue;
                HANDLE printer = nullptr;
                PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
                if (OpenPrinterW(printers[i].pPrinterName, &printer, &access)) {
                    DeletePrinter(printer);
                    ClosePrinter(printer);
                }
            }
        }
        std::wstring environment = L"Windows x64", driver = std::filesystem::path(kSampleDriverName).wstring();
        DeletePrinterDriverExW(nullptr, environment.data(), driver.data(), 0, 0);
    }

    void Clear() const {
        RemoveSampleDriver();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\KELDA");
        std::error_code ec;
        std::filesystem::remove_all(DriveC() + "/VANTOLOG", ec);
        std::filesystem::remove_all("C:/ProgramData/KELDA", ec);
    }

    std::string m_root;
};

}  // namespace vanto_test
