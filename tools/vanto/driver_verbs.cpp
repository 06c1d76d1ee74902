// vanto driver add|list [--json]: installs a driver folder (plus extra built files) into the
// prefix's driver folder and registers it with the spooler; lists the installed drivers.
#include "tools/vanto/admin_common.h"
#include "tools/vanto/json_view.h"

#include <memory>
#include <vector>

namespace {
using vanto_cli::AdminFail;

struct AddRequest {
    std::string name;
    std::string folder;
    std::vector<std::string> extraFiles;
    vplat::DriverFiles files;
};

void Add(const AddRequest& request) {
    vanto_cli::RequirePrefix("driver add");
    std::string error;
    if (!vplat::AddDriver(request.name, request.folder, request.extraFiles, request.files, error))
        AdminFail("driver add", error);
    std::printf("driver '%s' installed from %s (%zu extra file%s)\n", request.name.c_str(), request.folder.c_str(),
                request.extraFiles.size(), request.extraFiles.size() == 1 ? "" : "s");
}

void List(bool asJson) {
    vanto_cli::RequirePrefix("driver list");
    HKEY drivers = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, vplat::kDriversKey, 0, KEY_READ, &drivers) != ERROR_SUCCESS)
        AdminFail("driver list", "the prefix has no driver key: complete it with `vanto prefix init`");
    RegCloseKey(drivers);
    const std::vector<std::string> names = vanto_cli::Subkeys(vplat::kDriversKey);
    if (asJson) {
        vanto_cli::PrintJson({{"drivers", names}});
        return;
    }
    for (const std::string& name : names) std::printf("%s\n", name.c_str());
}

vanto_cli::VerbGroup driverVerbs([](CLI::App& app) {
    auto* driver = app.add_subcommand("driver", "Printer drivers of the prefix");
    driver->require_subcommand(1);
    auto request = std::make_shared<AddRequest>();
    auto* add = driver->add_subcommand(
        "add", "Install every file of DIR and each FILE into the driver folder and register driver NAME");
    add->add_option("NAME", request->name, "Driver name")->required();
    add->add_option("DIR", request->folder, "Folder with the driver's files (its data file among them)")->required();
    add->add_option("FILE", request->extraFiles, "Further files to install, such as built modules and tables");
    add->add_option("--data-file", request->files.dataFile, "The data file (default: the only .ini)");
    add->add_option("--config-file", request->files.configFile,
                    "The configuration module (default: the data file's [CommonDrvInfo] UIModule)");
    add->add_option("--driver-file", request->files.driverFile, "The driver module (default: the configuration module)");
    add->footer("Example:\n  vanto driver add \"Vintal Universal Driver\" samples/driver build/VUD3AUDF.DLL build/VUD3*.BRT");
    add->callback([request] { Add(*request); });
    auto asJson = std::make_shared<bool>(false);
    auto* list = driver->add_subcommand("list", "List the installed drivers");
    vanto_cli::AddJsonFlag(list, *asJson);
    list->footer("Examples:\n  vanto driver list\n  vanto driver list --json");
    list->callback([asJson] { List(*asJson); });
    driver->footer("Examples:\n  vanto driver add NAME samples/driver build/VUD3AUDF.DLL\n  vanto driver list --json");
});
}  // namespace
