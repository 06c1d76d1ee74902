// The files of a driver to install, gathered and checked the same way by the prefix's spooler
// (platform/SpoolerAdmin.cpp) and by the Windows spooler's installation (platform/windows).
#pragma once

#include "platform/prefix.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vplat {

struct DriverFileSet {
    std::vector<std::filesystem::path> sources;  // every file to copy into the driver folder
    std::filesystem::path dataFile;              // one of the sources
    std::string configFile;                      // bare names inside the driver folder
    std::string driverFile;
};

// The UIModule of the data file's [CommonDrvInfo] section; nullopt when it has none.
using UiModuleReader = std::function<std::optional<std::u16string>(const std::filesystem::path& dataFile)>;

// Every regular file of `folder` and each of `extraFiles` (no two of the same name, letter case
// aside); the data file given in `files` or the only .ini; the configuration file given or the
// data file's UIModule; the driver file given or the configuration file. False with a reason.
bool GatherDriverFiles(const std::string& folder, const std::vector<std::string>& extraFiles, const DriverFiles& files,
                       const UiModuleReader& uiModuleOf, DriverFileSet& set, std::string& error);

}  // namespace vplat
