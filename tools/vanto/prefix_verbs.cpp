// vanto prefix init|show: creates the prefix (VANTO_PREFIX, default ~/.vanto) and shows what it
// holds.
#include "platform/TextUtil.h"
#include "tools/vanto/admin_common.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <memory>

namespace {
using vanto_cli::AdminFail;
namespace fs = std::filesystem;

// Stand-in modules reached by a bare name, installed from the folder of the vanto executable.
constexpr const char16_t* kSystemModules[] = {u"WSNMP32.DLL"};

fs::path ToolFolder() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

void Init() {
    std::string error;
    if (!vplat::InitPrefix(error)) AdminFail("prefix init", error);
    for (const char16_t* module : kSystemModules) {
        const fs::path file = ToolFolder() / vplat::detail::ToUtf8(module);
        std::error_code ec;
        if (!fs::is_regular_file(file, ec)) continue;
        if (!vplat::InstallSystemModule(file.string(), module, error)) AdminFail("prefix init", error);
        std::printf("system module %s -> %s\n", vplat::detail::ToUtf8(module).c_str(), file.c_str());
    }
    // The log switch as a driver's installer leaves it: present and off. Without the value the
    // library reads the registry again at every log call to see whether it has appeared.
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, vplat::kLogSwitchKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        AdminFail("prefix init", "cannot create the log switch key");
    DWORD type = 0, size = 0;
    const bool present = RegQueryValueExW(key, vplat::kLogSwitchValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    const DWORD off = 0;
    const bool ok = present || RegSetValueExW(key, vplat::kLogSwitchValue, 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&off), sizeof off) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!ok) AdminFail("prefix init", "cannot write the log switch value VANTO_LOG");
    std::printf("prefix ready: %s\n", vplat::PrefixRoot().c_str());
}

// Names of the subkeys of an HKLM key.
std::vector<std::string> Subkeys(const char16_t* path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(vplat::detail::ToUtf8(std::u16string_view(name, chars)));
    }
    RegCloseKey(key);
    return names;
}

void Show() {
    vanto_cli::RequirePrefix("prefix show");
    std::printf("prefix:  %s\n", vplat::PrefixRoot().c_str());
    std::printf("drive C: %s\n", vplat::DriveCRoot().c_str());
    std::printf("ANSI code page: %u\n", GetACP());
    for (const auto& d : Subkeys(vplat::kDriversKey)) std::printf("driver:  %s\n", d.c_str());
    for (const auto& q : Subkeys(vplat::kPrintersKey)) std::printf("queue:   %s\n", q.c_str());
}

vanto_cli::VerbGroup prefixVerbs([](CLI::App& app) {
    auto* prefix = app.add_subcommand("prefix", "The prefix: a Windows machine in a folder ($VANTO_PREFIX)");
    prefix->require_subcommand(1);
    prefix->add_subcommand("init", "Create the prefix (or complete an existing one)")->callback(Init);
    prefix->add_subcommand("show", "Show the prefix's folders, drivers and queues")->callback(Show);
});
}  // namespace
