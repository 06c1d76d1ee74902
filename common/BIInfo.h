// BIInfo: the printer context of an instance.
//
// Built once from the queue name and the instance's flags: the driver's description from the
// spooler, the queue name, the queue identifier "KDPQGUID", and (for a discovery-only instance
// without a queue) the folder of the library's own file. GetPath is how every part of the
// library finds its files. Other objects receive a pointer and only read it, except for the
// driver directory (filled on first use) and the driver's model name (written by the update).
#pragma once

#include "platform/win32.h"

#include <memory>

class BIInfo {
public:
    // Path kinds of GetPath.
    enum PathKind : DWORD {
        DataFile = 1,         // the driver's data file (also read as an INI file)
        DriverDirectory = 2,  // the data file's folder, no trailing backslash
        TransportModule = 3,  // the maker's transport module
        NetworkModule = 4,    // the maker's network transport module (discovery)
        UIModule = 5,         // the driver's UI module (the CFGX module)
        CommonAppData = 6,    // the machine's common application-data folder
        CFXFolder = 7,        // the folder holding the queue's "K_*.CFX" file
        WorkFolder = 8,       // the queue's own work folder, created on demand
    };

    static constexpr DWORD kPrinterNameChars = 1024;
    static constexpr DWORD kGuidChars = 48;
    static constexpr DWORD kModelNameChars = 64;

    BIInfo() = default;
    BIInfo(const BIInfo&) = delete;
    BIInfo& operator=(const BIInfo&) = delete;

    // Fills the context from the queue name (null for discovery without a queue) and the flag
    // word; bit 0 permits creating the queue's identifier. Spooler failures are not failures
    // here: they leave the driver description null. FALSE only when memory runs out.
    BOOL Build(LPCWSTR printerName, DWORD flags);

    // Writes the path of the given kind into buffer (cchBuffer characters, MAX_PATH by
    // convention); TRUE on success. A path that does not fit is a failure.
    BOOL GetPath(DWORD kind, LPWSTR buffer, DWORD cchBuffer = MAX_PATH);

    // TRUE when the queue prefers PCL: its printer data "PCLPriority" decides when readable,
    // else the driver's registry value.
    BOOL IsPCLPriority() const;

    // The queue name as stored (at most 1023 characters; empty for a discovery-only context).
    LPCWSTR GetPrinterName() const { return m_szPrinterName; }
    // The spooler's description of the driver, or null.
    const DRIVER_INFO_2W* GetDriverInfo() const;
    // The driver's name, or null without a driver description.
    LPCWSTR GetDriverName() const;
    // The queue's "KDPQGUID", empty when it has none.
    LPCWSTR GetQueueGUID() const { return m_szQueueGUID; }
    // The library's folder with a trailing backslash (discovery-only contexts), else empty.
    LPCWSTR GetModuleFolder() const { return m_szModuleFolder; }

    // The driver's model name from its data file, written by the printer-information update.
    LPCWSTR GetDriverModelName() const { return m_szDriverModelName; }
    void SetDriverModelName(LPCWSTR modelName);

private:
    BOOL BuildForQueue(LPCWSTR printerName, DWORD flags);
    BOOL BuildModuleFolder();
    void ReadOrCreateQueueGUID(HANDLE hPrinter, DWORD flags);
    BOOL ReadQueueGUID(HANDLE hPrinter);
    BOOL ComputeDriverDirectory();
    BOOL GetPathWithDriver(DWORD kind, LPWSTR buffer, DWORD cchBuffer);
    BOOL GetPathWithoutDriver(DWORD kind, LPWSTR buffer, DWORD cchBuffer) const;

    std::unique_ptr<BYTE[]> m_pDriverInfo;  // DRIVER_INFO_2W with its strings, or null
    WCHAR m_szPrinterName[kPrinterNameChars] = {};
    WCHAR m_szDriverDirectory[MAX_PATH] = {};
    WCHAR m_szQueueGUID[kGuidChars] = {};
    WCHAR m_szModuleFolder[MAX_PATH] = {};
    WCHAR m_szDriverModelName[kModelNameChars] = {};
};
