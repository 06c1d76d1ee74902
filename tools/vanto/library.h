// The library as any caller sees it: libvanto.so (vanto.dll on Windows) loaded at run time and
// its exports resolved by name. Every verb group that calls the library shares this loader.
#pragma once

#include "vanto.h"

#include <string>
#include <string_view>

namespace vanto_cli {

class Library {
public:
    Library() = default;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Loads the library from $VANTO_LIBRARY, else beside the vanto executable (or in ../lib), and
    // resolves all 21 exports; it stays loaded until the process ends. False, with a one-line
    // reason, when the file or an export is missing.
    bool Load(std::string& error);
    // The file that was loaded.
    const std::string& Path() const { return m_path; }

    PFN_VANTO_Initialize Initialize = nullptr;
    PFN_VANTO_Release Release = nullptr;
    PFN_VANTO_SetSubnetAddress SetSubnetAddress = nullptr;
    PFN_VANTO_SetContextName SetContextName = nullptr;
    PFN_VANTO_SetContextIPRANGE SetContextIPRANGE = nullptr;
    PFN_VANTO_SetContextIPADR SetContextIPADR = nullptr;
    PFN_VANTO_SetProbeMode SetProbeMode = nullptr;
    PFN_VANTO_ProbePrinter ProbePrinter = nullptr;
    PFN_VANTO_StopProbe StopProbe = nullptr;
    PFN_VANTO_GetProbeResult GetProbeResult = nullptr;
    PFN_VANTO_CheckModelNameHasChanged CheckModelNameHasChanged = nullptr;
    PFN_VANTO_UpdatePrinterInfo UpdatePrinterInfo = nullptr;
    PFN_VANTO_UpdateCFGXFile UpdateCFGXFile = nullptr;
    PFN_VANTO_GetDWORDValue GetDWORDValue = nullptr;
    PFN_VANTO_GetStringValueW GetStringValueW = nullptr;
    PFN_VANTO_GetStructValue GetStructValue = nullptr;
    PFN_VANTO_SetDWORDValue SetDWORDValue = nullptr;
    PFN_VANTO_SetStringValueW SetStringValueW = nullptr;
    PFN_VANTO_SetStructValue SetStructValue = nullptr;
    PFN_VANTO_PrintJobsExists PrintJobsExists = nullptr;
    PFN_VANTO_DeletePrintJobs DeletePrintJobs = nullptr;

private:
    void* m_handle = nullptr;
    std::string m_path;
};

// An instance of the library, released when the holder goes.
class Instance {
public:
    Instance(const Library& library, HVANTO handle) : m_library(library), m_handle(handle) {}
    ~Instance() {
        if (m_handle != nullptr) m_library.Release(m_handle);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    HVANTO Handle() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    // Releases the instance now; true when the library's Release returned 1.
    bool Release() {
        HVANTO handle = m_handle;
        m_handle = nullptr;
        return handle != nullptr && m_library.Release(handle) == 1;
    }

private:
    const Library& m_library;
    HVANTO m_handle;
};

// UTF-8 command-line text as UTF-16 for the exports, and back for printing.
std::u16string Widen(std::string_view utf8);
std::string Narrow(std::u16string_view utf16);

}  // namespace vanto_cli
