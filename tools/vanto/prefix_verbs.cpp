// vanto prefix init|show [--json]: creates the prefix (VANTO_PREFIX, default ~/.vanto) and shows
// what it holds.
#include "platform/TextUtil.h"
#include "platform/host.h"
#include "tools/vanto/admin_common.h"
#include "tools/vanto/json_view.h"

#include <filesystem>
#include <memory>

namespace {
using vanto_cli::AdminFail;
namespace fs = std::filesystem;

// Stand-in modules reached by a bare name, installed from the folder of the vanto executable.
constexpr const char16_t* kSystemModules[] = {u"WSNMP32.DLL"};

void Init() {
    std::string error;
    if (!vplat::InitPrefix(error)) AdminFail("prefix init", error);
    for (const char16_t* module : kSystemModules) {
        const fs::path file = fs::path(vplat::host::ExecutableFolder()) / vplat::detail::ToUtf8(module);
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

void Show(bool asJson) {
    vanto_cli::RequirePrefix("prefix show");
    const auto drivers = vanto_cli::Subkeys(vplat::kDriversKey);
    const auto queues = vanto_cli::Subkeys(vplat::kPrintersKey);
    if (asJson) {
        vanto_cli::PrintJson({{"prefix", vplat::PrefixRoot()},
                              {"drive_c", vplat::DriveCRoot()},
                              {"ansi_code_page", GetACP()},
                              {"drivers", drivers},
                              {"queues", queues}});
        return;
    }
    std::printf("prefix:  %s\n", vplat::PrefixRoot().c_str());
    std::printf("drive C: %s\n", vplat::DriveCRoot().c_str());
    std::printf("ANSI code page: %u\n", GetACP());
    for (const auto& d : drivers) std::printf("driver:  %s\n", d.c_str());
    for (const auto& q : queues) std::printf("queue:   %s\n", q.c_str());
}

vanto_cli::VerbGroup prefixVerbs([](CLI::App& app) {
    auto* prefix = app.add_subcommand("prefix", "The prefix: a Windows machine in a folder ($VANTO_PREFIX)");
    prefix->require_subcommand(1);
    auto* init = prefix->add_subcommand("init", "Create the prefix (or complete an existing one)");
    init->footer("Examples:\n  vanto prefix init\n  VANTO_PREFIX=/tmp/p vanto prefix init");
    init->callback(Init);
    auto asJson = std::make_shared<bool>(false);
    auto* show = prefix->add_subcommand("show", "Show the prefix's folders, drivers and queues");
    vanto_cli::AddJsonFlag(show, *asJson);
    show->footer("Examples:\n  vanto prefix show\n  vanto prefix show --json");
    show->callback([asJson] { Show(*asJson); });
    prefix->footer("Examples:\n  vanto prefix init\n  vanto prefix show --json");
});
}  // namespace
