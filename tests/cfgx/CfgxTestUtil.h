// A prefix with the sample driver, its built CFGX and AUDF modules and a queue with its
// identifier; the driver's paths as the printer context gives them; the edited file as saved.
#pragma once

#include "cfgx/CCfgxDll.h"
#include "common/BIInfo.h"
#include "support/ErrorLines.h"
#include "support/TempPrefix.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace cfgxtest {

using vanto_test::ErrorLines;

inline constexpr const char* kQueue = "Cfgx Queue";
inline constexpr const char16_t* kQueueW = u"Cfgx Queue";
inline constexpr DWORD kCategoryPage = 2;

inline std::vector<std::string> BuiltFiles() {
    return {std::string(VANTO_BUILD_DIR) + "/VUD3CFGX.DLL", std::string(VANTO_BUILD_DIR) + "/VUD3AUDF.DLL"};
}

// The paths a caller takes from the queue's printer context.
struct DriverPaths {
    WCHAR szModule[MAX_PATH] = {};  // UIModule
    WCHAR szVIF[MAX_PATH] = {};     // DataFile
    WCHAR szSource[MAX_PATH] = {};  // CFXFolder
    WCHAR szWork[MAX_PATH] = {};    // WorkFolder
};

class CfgxPrefix : public vanto_test::TempPrefix {
public:
    CfgxPrefix() : TempPrefix(kQueue, kDefaultPort, BuiltFiles()) {
        // The driver's shared folder, in which the queue's work folder is made (without sources,
        // so the sources are those of the driver directory).
        std::filesystem::create_directories(DriveC() + "/ProgramData/KELDA/" + vanto_test::kSampleDriverName);
        EXPECT_TRUE(context.Build(kQueueW, 1));  // flag 1: the queue gets its identifier
        EXPECT_TRUE(context.GetPath(BIInfo::UIModule, paths.szModule));
        EXPECT_TRUE(context.GetPath(BIInfo::DataFile, paths.szVIF));
        EXPECT_TRUE(context.GetPath(BIInfo::CFXFolder, paths.szSource));
        EXPECT_TRUE(context.GetPath(BIInfo::WorkFolder, paths.szWork));
    }
    // Opens the sample page-printer source on kQueue.
    int32_t Open(CCfgxDll& cfgx) const {
        return cfgx.Open(paths.szModule, paths.szVIF, paths.szSource, kQueueW, kCategoryPage);
    }
    // Saves the session into the work folder and reads the file back.
    nlohmann::json Saved(const CCfgxDll& cfgx) const {
        EXPECT_EQ(cfgx.Save(paths.szWork), 0);
        const std::u16string file = std::u16string(paths.szWork) + u"\\K_PAGE.CFX";
        const auto onDisk = vplat::ToLinuxPath(file);
        EXPECT_TRUE(onDisk.has_value());
        std::ifstream in(onDisk.value_or(""));
        EXPECT_TRUE(in.good()) << "no saved file";
        return in.good() ? nlohmann::json::parse(in) : nlohmann::json::object();
    }

    BIInfo context;
    DriverPaths paths;
};

// The prohibit groups of a saved file, each as its set of (function, element) items.
using Group = std::set<std::pair<uint32_t, uint32_t>>;
inline std::vector<Group> Groups(const nlohmann::json& file) {
    std::vector<Group> groups;
    for (const auto& g : file.value("prohibits", nlohmann::json::array())) {
        Group& items = groups.emplace_back();
        for (const auto& it : g["items"]) items.emplace(it["function"].get<uint32_t>(), it["element"].get<uint32_t>());
    }
    return groups;
}
inline bool HasGroup(const nlohmann::json& file, const Group& group) {
    for (const Group& g : Groups(file))
        if (g == group) return true;
    return false;
}

}  // namespace cfgxtest
