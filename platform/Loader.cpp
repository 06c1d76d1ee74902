// Run-time loading of modules (dlopen) and the file names of loaded modules.
//
// A module named with a path is loaded from that file; a bare name ("WSNMP32.DLL", ".DLL"
// added when the name has no extension) is looked for in the prefix's C:\Windows\System32.
// Entry points by ordinal n are the exported symbols "ordinal_<n>" (VANTO_ORDINAL_PREFIX).
#include "platform/HandleTable.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <dlfcn.h>
#include <link.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

using namespace vplat::detail;

namespace {
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr uintptr_t kMaxOrdinal = 0xFFFF;      // a "name" pointer at or below this is an ordinal
constexpr size_t kMaxSymbolChars = 4096;
constexpr const char16_t* kDefaultExtension = u".DLL";

// Modules this copy of the platform handed out, with the references LoadLibraryW took on them
// (0 for a handle only looked up by GetModuleHandleExW without a reference).
struct Modules {
    std::mutex lock;
    std::map<void*, int> references;
};

Modules& TheModules() {
    static Modules* modules = new Modules;  // modules may be freed from static destructors
    return *modules;
}

bool Known(HMODULE module) {
    auto& m = TheModules();
    std::lock_guard guard(m.lock);
    return m.references.count(module) > 0;
}

void Remember(void* handle, int references) {
    auto& m = TheModules();
    std::lock_guard guard(m.lock);
    m.references[handle] += references;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The Linux file of a module name, or nullopt.
std::optional<std::string> ModuleFile(std::u16string_view name) {
    if (name.find_first_of(u"\\/:") != std::u16string_view::npos) return vplat::ToLinuxPath(name);
    std::u16string bare(name);
    if (!bare.empty() && bare.back() == u'.')
        bare.pop_back();  // a trailing dot means "no extension"
    else if (bare.find(u'.') == std::u16string::npos)
        bare += kDefaultExtension;
    return vplat::ToLinuxPath(std::u16string(vplat::kSystemFolder) + u"\\" + bare);
}

// True for a 64-bit ELF file, the only kind dlopen can load here.
bool IsSharedObject(const std::string& path) {
    constexpr unsigned char kElf64Magic[] = {0x7F, 'E', 'L', 'F', 2};  // magic, then class 2 = 64-bit
    unsigned char head[sizeof kElf64Magic] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head);
    ::close(fd);
    return ok && std::memcmp(head, kElf64Magic, sizeof head) == 0;
}

std::string Canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string ExecutablePath() { return Canonical("/proc/self/exe"); }

// A failed dlopen or dlsym keeps its message in memory of the calling thread until dlerror has
// read it and is called once more; Windows callers see only GetLastError, so the message is
// released at once instead of staying with the thread.
void ReleaseLoaderError() {
    ::dlerror();
    ::dlerror();
}
}  // namespace

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    auto name = CallerText(lpLibFileName);
    if (!name || name->empty()) return Fail(ERROR_INVALID_PARAMETER, static_cast<HMODULE>(nullptr));
    auto file = ModuleFile(*name);
    if (!file || !IsFile(*file)) return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
    void* handle = ::dlopen(file->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        ReleaseLoaderError();
        // Not a module of this machine at all, or one whose own dependencies are missing.
        return Fail(IsSharedObject(*file) ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT, static_cast<HMODULE>(nullptr));
    }
    Remember(handle, 1);
    return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!hModule || !Known(hModule)) return Fail(ERROR_INVALID_HANDLE, static_cast<FARPROC>(nullptr));
    std::string symbol;
    const auto value = reinterpret_cast<uintptr_t>(lpProcName);
    if (value <= kMaxOrdinal) {
        symbol = VANTO_ORDINAL_PREFIX + std::to_string(value);
    } else {
        auto text = CallerText(lpProcName, kMaxSymbolChars);
        if (!text || text->empty()) return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
        symbol = *text;
    }
    void* address = ::dlsym(hModule, symbol.c_str());
    if (!address) {
        ReleaseLoaderError();
        return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
    }
    return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE hLibModule) {
    auto& m = TheModules();
    {
        std::lock_guard guard(m.lock);
        auto it = m.references.find(hLibModule);
        if (it == m.references.end() || it->second == 0) return Fail(ERROR_INVALID_HANDLE, FALSE);
        if (--it->second == 0) m.references.erase(it);
    }
    ::dlclose(hLibModule);
    return TRUE;
}

BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    if (!phModule) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *phModule = nullptr;
    void* handle = nullptr;
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        Dl_info info{};
        link_map* map = nullptr;
        if (!lpModuleName || !::dladdr1(lpModuleName, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) ||
            !info.dli_fname || !map)
            return Fail(ERROR_MOD_NOT_FOUND, FALSE);
        if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) {
            // The module's own handle (glibc's handles are its link maps), without opening it again:
            // a first dlopen of a library that a program was linked with sets up lists that the
            // loader never frees.
            Remember(map, 0);
            *phModule = static_cast<HMODULE>(static_cast<void*>(map));
            return TRUE;
        }
        handle = ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
        if (!handle) handle = ::dlopen(nullptr, RTLD_NOW);  // the address lies in the executable
    } else if (!lpModuleName) {
        handle = ::dlopen(nullptr, RTLD_NOW);
    } else {
        auto name = CallerText(lpModuleName);
        auto file = name ? ModuleFile(*name) : std::nullopt;
        if (file) handle = ::dlopen(file->c_str(), RTLD_NOW | RTLD_NOLOAD);
    }
    if (!handle) {
        ReleaseLoaderError();
        return Fail(ERROR_MOD_NOT_FOUND, FALSE);
    }
    if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) {
        ::dlclose(handle);  // the module stays loaded by whoever loaded it
        Remember(handle, 0);
    } else {
        Remember(handle, 1);
    }
    *phModule = static_cast<HMODULE>(handle);
    return TRUE;
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (!lpFilename) return Fail(ERROR_INVALID_PARAMETER, 0u);
    std::string path;
    if (!hModule) {
        path = ExecutablePath();
    } else {
        if (!Known(hModule)) return Fail(ERROR_MOD_NOT_FOUND, 0u);
        link_map* map = nullptr;
        if (::dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || !map) return Fail(ERROR_MOD_NOT_FOUND, 0u);
        path = (map->l_name && *map->l_name) ? Canonical(map->l_name) : ExecutablePath();
    }
    const std::u16string windows = vplat::ToWindowsPath(path);
    if (nSize == 0) return Fail(ERROR_INSUFFICIENT_BUFFER, 0u);
    if (windows.size() + 1 > nSize) {
        CopyWithTerminator(std::u16string_view(windows).substr(0, nSize - 1), lpFilename);
        return Fail(ERROR_INSUFFICIENT_BUFFER, nSize);
    }
    CopyWithTerminator(windows, lpFilename);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(windows.size());
}
