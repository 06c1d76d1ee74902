// A prefix with the sample driver, its built AUDF module and resource tables, and one queue that
// has its identifier ("KDPQGUID"), for tests of the stored values and of table loading.
#pragma once

#include "common/BIInfo.h"
#include "support/SelfTest.h"
#include "support/TempPrefix.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace storetest {

inline constexpr const char* kQueue = "Store Queue";
inline constexpr const char16_t* kQueueW = u"Store Queue";

inline std::vector<std::string> BuiltDriverFiles() {
    std::vector<std::string> files;
    for (const char* name : {"VUD3AUDF.DLL", "VUD3LP.BRT", "VUD3LPN.BRT", "VUD3IJ.BRT", "VUD3CFGX.BRT"})
        files.push_back(std::string(VANTO_BUILD_DIR) + "/" + name);
    return files;
}

// A prefix with the sample driver, the built files and the queue kQueue.
class QueuePrefix : public vanto_test::TempPrefix {
public:
    QueuePrefix() : TempPrefix(kQueue, kDefaultPort, BuiltDriverFiles()) {}
};

// Gives a queue its identifier, as an instance with flag bit 0 does.
inline void GiveQueueGUID(const char16_t* queue) {
    BIInfo info;
    EXPECT_TRUE(info.Build(queue, 1));
    EXPECT_NE(info.GetQueueGUID()[0], 0) << "the queue did not get a KDPQGUID";
}

// Registers a second driver whose data file is the sample's with the line of `key` replaced by
// `line` (removed when `line` is empty), with the built files, and adds `queue` on it.
inline void AddEditedDriver(const std::string& driver, const std::string& queue, const std::string& key,
                            const std::string& line, const std::string& scratch) {
    std::filesystem::create_directories(scratch);
    std::ifstream in(std::string(VANTO_SOURCE_DIR) + "/samples/driver/VUD3DATA.INI");
    std::ofstream out(scratch + "/VUD3DATA.INI");
    std::string current;
    bool found = false;
    while (std::getline(in, current)) {
        if (current.rfind(key + "=", 0) == 0) {
            found = true;
            if (!line.empty()) out << line << "\n";
        } else {
            out << current << "\n";
        }
    }
    out.close();
    ASSERT_TRUE(found) << key << " is not in the sample data file";
    std::string error;
    ASSERT_TRUE(vplat::AddDriver(driver, scratch, BuiltDriverFiles(), vanto_test::SampleDriverModules(), error)) << error;
    ASSERT_TRUE(vplat::AddQueue(queue, driver, "IP_127.0.1.1", error)) << error;
}

}  // namespace storetest
