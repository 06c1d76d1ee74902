// The part of platform/prefix.h that the tests use, for the Windows test programs: on Windows the
// machine is the prefix, so drivers and queues go through the system's spooler and paths are
// already Windows paths. The tests of both systems include "platform/prefix.h"; the Windows
// builds of those tests find this file first.
#pragma once

#include "platform/win32.h"

#include <winspool.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vplat {

inline constexpr const char16_t* kLogSwitchKey = u"SOFTWARE\\KELDA\\VANTO";
inline constexpr const char16_t* kLogSwitchValue = u"VANTO_LOG";

// The library's UTF-16 type for the SDK's (platform/win32.h maps the names the library calls).
inline char16_t* U16(const std::wstring& text) {
    return reinterpret_cast<char16_t*>(const_cast<wchar_t*>(text.c_str()));
}
inline wchar_t* Env() { return const_cast<wchar_t*>(L"Windows x64"); }

// A path in Windows form, as the library is handed it: forward slashes become backslashes.
inline std::u16string ToWindowsPath(std::string_view path) {
    std::u16string out;
    for (char c : path) out.push_back(c == '/' ? u'\\' : static_cast<char16_t>(static_cast<unsigned char>(c)));
    return out;
}
// A Windows path as the tests' file calls take it; nullopt for text outside ASCII.
inline std::optional<std::string> ToLinuxPath(std::u16string_view windowsPath) {
    std::string out;
    for (char16_t c : windowsPath) {
        if (c > 0x7F) return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

struct DriverFiles {
    std::string dataFile;  // the driver's data file; empty: the one .ini among the files
};

// The drivers this process added, so that a test's end can remove their queues.
inline std::set<std::wstring>& AddedDrivers() {
    static std::set<std::wstring> drivers;
    return drivers;
}

inline std::wstring Wide(const std::string& text) { return std::filesystem::path(text).wstring(); }

// Installs driver `name` through the spooler from the files of `folder` and `extraFiles`, which
// it copies into the driver directory (replacing files of the same name). The driver's rendering
// and configuration module is the system's PostScript driver, which the spooler loads to make a
// queue; the library's own modules are named by the data file and installed as dependent files.
inline bool AddDriver(const std::string& name, const std::string& folder, const std::vector<std::string>& extraFiles,
                      const DriverFiles& files, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file()) sources.push_back(entry.path());
    if (ec) {
        error = "cannot read " + folder + ": " + ec.message();
        return false;
    }
    for (const std::string& extra : extraFiles) {
        if (!fs::is_regular_file(extra, ec)) {
            error = "no file " + extra;
            return false;
        }
        sources.emplace_back(extra);
    }
    std::wstring dataFile, dependent;
    for (fs::path& s : sources) {
        s.make_preferred();  // the spooler takes a file's name after the last backslash
        const bool isData = files.dataFile.empty() ? s.extension() == ".INI" || s.extension() == ".ini"
                                                   : s.filename().string() == files.dataFile;
        if (isData) dataFile = s.wstring();
        dependent += s.wstring() + L'\0';
    }
    if (dataFile.empty()) {
        error = "no data file among the driver's files";
        return false;
    }
    wchar_t driverDir[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, Env(), 1, reinterpret_cast<LPBYTE>(driverDir),
                                    sizeof driverDir, &needed)) {
        error = "no printer driver directory";
        return false;
    }
    const std::wstring uiModule = std::wstring(driverDir) + L"\\wineps.drv";
    const std::wstring driverName = Wide(name);
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(driverName.c_str());
    driver.pEnvironment = Env();
    driver.pDriverPath = const_cast<wchar_t*>(uiModule.c_str());
    driver.pDataFile = const_cast<wchar_t*>(dataFile.c_str());
    driver.pConfigFile = const_cast<wchar_t*>(uiModule.c_str());
    driver.pDependentFiles = dependent.data();
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver), APD_COPY_ALL_FILES | APD_COPY_FROM_DIRECTORY)) {
        error = "AddPrinterDriverExW: error " + std::to_string(GetLastError());
        return false;
    }
    AddedDrivers().insert(driverName);
    // The driver's shared folder, which an installer makes (the queues' work folders lie below it).
    fs::create_directories(fs::path("C:/ProgramData/KELDA") / driverName, ec);
    return true;
}

inline bool AddQueue(const std::string& queue, const std::string& driver, const std::string& port, std::string& error) {
    const std::wstring name = Wide(queue), driverName = Wide(driver), portName = Wide(port);
    PRINTER_INFO_2W info{};
    const std::wstring processor = L"winprint", datatype = L"RAW";
    info.pPrinterName = U16(name);
    info.pPortName = U16(portName);
    info.pDriverName = U16(driverName);
    info.pPrintProcessor = U16(processor);
    info.pDatatype = U16(datatype);
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (added == nullptr) {
        error = "AddPrinterW: error " + std::to_string(GetLastError());
        return false;
    }
    ClosePrinter(added);
    return true;
}

// Deletes the queues of the drivers this process added, then those drivers.
inline void RemoveAddedDriversAndQueues() {
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed > 0 && EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
        const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
            if (printers[i].pDriverName == nullptr || !AddedDrivers().count(reinterpret_cast<const wchar_t*>(printers[i].pDriverName))) continue;
            HANDLE printer = nullptr;
            PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
            if (OpenPrinterW(printers[i].pPrinterName, &printer, &access)) {
                DeletePrinter(printer);
                ClosePrinter(printer);
            }
        }
    }
    for (const std::wstring& driver : AddedDrivers())
        DeletePrinterDriverExW(nullptr, Env(), const_cast<wchar_t*>(driver.c_str()), 0, 0);
    AddedDrivers().clear();
}

}  // namespace vplat
