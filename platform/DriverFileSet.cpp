#include "platform/DriverFileSet.h"

#include "platform/TextUtil.h"

#include <system_error>

namespace vplat {

namespace fs = std::filesystem;
using detail::EqualNoCaseUtf8;

bool GatherDriverFiles(const std::string& folder, const std::vector<std::string>& extraFiles, const DriverFiles& files,
                       const UiModuleReader& uiModuleOf, DriverFileSet& set, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = "no driver folder " + folder;
        return false;
    }
    set = DriverFileSet{};
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file()) set.sources.push_back(entry.path());
    if (ec) {
        error = "cannot read " + folder + ": " + ec.message();
        return false;
    }
    for (const auto& extra : extraFiles) {
        if (!fs::is_regular_file(extra, ec)) {
            error = "no file " + extra;
            return false;
        }
        set.sources.emplace_back(extra);
    }
    const auto& sources = set.sources;
    for (size_t i = 0; i < sources.size(); ++i)
        for (size_t j = i + 1; j < sources.size(); ++j)
            if (EqualNoCaseUtf8(sources[i].filename().string(), sources[j].filename().string())) {
                error = "two files named " + sources[j].filename().string();
                return false;
            }

    std::string dataFile = files.dataFile;
    if (dataFile.empty()) {
        for (const auto& s : sources)
            if (EqualNoCaseUtf8(s.extension().string(), ".ini")) {
                if (!dataFile.empty()) {
                    error = "several .ini files in " + folder + "; name the data file";
                    return false;
                }
                dataFile = s.filename().string();
            }
    }
    if (!dataFile.empty())
        for (const auto& s : sources)
            if (EqualNoCaseUtf8(s.filename().string(), dataFile)) set.dataFile = s;
    if (set.dataFile.empty()) {
        error = "no data file " + (dataFile.empty() ? std::string("(.ini)") : dataFile) + " among the driver's files";
        return false;
    }
    set.configFile = files.configFile;
    if (set.configFile.empty()) {
        auto ui = uiModuleOf(set.dataFile);
        if (!ui || ui->empty() || ui->find_first_of(u"\\/") != std::u16string::npos) {
            error = "the data file names no UIModule in [CommonDrvInfo]; name the configuration file";
            return false;
        }
        set.configFile = detail::ToUtf8(*ui);
    }
    set.driverFile = files.driverFile.empty() ? set.configFile : files.driverFile;
    for (const std::string& bare : {set.configFile, set.driverFile})
        if (bare.find_first_of("\\/") != std::string::npos || bare.empty()) {
            error = "bad file name " + bare;
            return false;
        }
    return true;
}

}  // namespace vplat
