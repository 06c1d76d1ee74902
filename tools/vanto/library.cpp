// Loading the library and resolving its exports by name.
#include "tools/vanto/library.h"

#include "common/BILogging.h"
#include "platform/TextUtil.h"
#include "platform/host.h"

#include <cstdlib>
#include <filesystem>

namespace vanto_cli {

namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function& target, std::string& error) {
    target = reinterpret_cast<Function>(vplat::host::LibrarySymbol(handle, name));
    if (target == nullptr) {
        error = std::string("the library does not export ") + name;
        return false;
    }
    return true;
}

}  // namespace

bool Library::Load(std::string& error) {
    const char* configured = std::getenv("VANTO_LIBRARY");
    if (configured != nullptr && configured[0] != 0) {
        m_path = configured;
    } else {
        // Beside the tool in a build folder; in lib/ beside bin/ once installed.
        const std::string folder = vplat::host::ExecutableFolder();
        m_path = folder + vplat::host::LibraryFileName();
        std::error_code ec;
        if (!std::filesystem::exists(m_path, ec)) m_path = folder + "../lib/" + vplat::host::LibraryFileName();
    }
    std::string reason;
    m_handle = vplat::host::OpenLibrary(m_path, reason);
    if (m_handle == nullptr) {
        error = "cannot load " + m_path + ": " + reason +
                " (build it beside the tool, or set VANTO_LIBRARY to the library's path)";
        return false;
    }
    return Resolve(m_handle, "Initialize", Initialize, error) && Resolve(m_handle, "Release", Release, error) &&
           Resolve(m_handle, "SetSubnetAddress", SetSubnetAddress, error) &&
           Resolve(m_handle, "SetContextName", SetContextName, error) &&
           Resolve(m_handle, "SetContextIPRANGE", SetContextIPRANGE, error) &&
           Resolve(m_handle, "SetContextIPADR", SetContextIPADR, error) &&
           Resolve(m_handle, "SetProbeMode", SetProbeMode, error) &&
           Resolve(m_handle, "ProbePrinter", ProbePrinter, error) &&
           Resolve(m_handle, "StopProbe", StopProbe, error) &&
           Resolve(m_handle, "GetProbeResult", GetProbeResult, error) &&
           Resolve(m_handle, "CheckModelNameHasChanged", CheckModelNameHasChanged, error) &&
           Resolve(m_handle, "UpdatePrinterInfo", UpdatePrinterInfo, error) &&
           Resolve(m_handle, "UpdateCFGXFile", UpdateCFGXFile, error) &&
           Resolve(m_handle, "GetDWORDValue", GetDWORDValue, error) &&
           Resolve(m_handle, "GetStringValueW", GetStringValueW, error) &&
           Resolve(m_handle, "GetStructValue", GetStructValue, error) &&
           Resolve(m_handle, "SetDWORDValue", SetDWORDValue, error) &&
           Resolve(m_handle, "SetStringValueW", SetStringValueW, error) &&
           Resolve(m_handle, "SetStructValue", SetStructValue, error) &&
           Resolve(m_handle, "PrintJobsExists", PrintJobsExists, error) &&
           Resolve(m_handle, "DeletePrintJobs", DeletePrintJobs, error);
}

std::u16string Widen(std::string_view utf8) { return vplat::detail::FromUtf8(utf8); }

std::string Narrow(std::u16string_view utf16) {
    const std::u16string terminated(utf16);
    return BILogging::Narrow(terminated.c_str());
}

}  // namespace vanto_cli
