// Loading libvanto.so with dlopen and resolving its exports by name.
#include "tools/vanto/library.h"

#include "common/BILogging.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace vanto_cli {

namespace {

// The folder of the running executable, with a trailing slash; empty when unknown.
std::string ExecutableFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return std::string();
    std::string file(path, static_cast<size_t>(length));
    size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

template <typename Function>
bool Resolve(void* handle, const char* name, Function& target, std::string& error) {
    target = reinterpret_cast<Function>(dlsym(handle, name));
    if (target == nullptr) {
        error = std::string("the library does not export ") + name;
        return false;
    }
    return true;
}

}  // namespace

Library::~Library() {
    if (m_handle != nullptr) dlclose(m_handle);
}

bool Library::Load(std::string& error) {
    const char* configured = std::getenv("VANTO_LIBRARY");
    if (configured != nullptr && configured[0] != 0) {
        m_path = configured;
    } else {
        // Beside the tool in a build folder; in lib/ beside bin/ once installed.
        m_path = ExecutableFolder() + "libvanto.so";
        if (access(m_path.c_str(), F_OK) != 0) m_path = ExecutableFolder() + "../lib/libvanto.so";
    }
    // Kept mapped after dlclose: the tool ends soon after, and what the library still holds in
    // its own globals at exit stays reachable instead of reading as leaked once it is unmapped.
    m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (m_handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load " + m_path + ": " + (reason ? reason : "unknown reason") +
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

std::u16string Widen(std::string_view utf8) {
    std::u16string out;
    size_t i = 0;
    while (i < utf8.size()) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        uint32_t c = 0xFFFD;
        size_t extra = 0;
        if (byte < 0x80) {
            c = byte;
        } else if ((byte & 0xE0) == 0xC0) {
            c = byte & 0x1F;
            extra = 1;
        } else if ((byte & 0xF0) == 0xE0) {
            c = byte & 0x0F;
            extra = 2;
        } else if ((byte & 0xF8) == 0xF0) {
            c = byte & 0x07;
            extra = 3;
        }
        ++i;
        bool valid = byte < 0x80 || extra > 0;
        for (size_t k = 0; valid && k < extra; ++k, ++i) {
            if (i >= utf8.size() || (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        }
        if (!valid || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::string Narrow(std::u16string_view utf16) {
    const std::u16string terminated(utf16);
    return BILogging::Narrow(terminated.c_str());
}

}  // namespace vanto_cli
