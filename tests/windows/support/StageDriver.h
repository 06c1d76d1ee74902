// The sample driver's files gathered in one folder for the Windows test programs, as an installer
// hands them to the spooler.
#pragma once

#include "tools/restable/ResTableCompiler.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vanto_test {

// The sample driver's files gathered in one folder: its data file and CFX sources, the built
// modules and the resource tables compiled from their sources.
inline std::vector<std::wstring> StageDriver(const std::filesystem::path& stage) {
    namespace fs = std::filesystem;
    const fs::path source = fs::path(VANTO_SOURCE_DIR) / "samples" / "driver";
    const fs::path build = VANTO_BUILD_DIR;
    fs::create_directories(stage);
    std::vector<std::wstring> files;
    auto put = [&](const fs::path& from) {
        fs::copy_file(from, stage / from.filename(), fs::copy_options::overwrite_existing);
        files.push_back((stage / from.filename()).wstring());
    };
    for (const char* name : {"VUD3DATA.INI", "K_PAGE.CFX", "K_INKJET.CFX", "K_ERD.CFX"}) put(source / name);
    for (const char* name : {"VUD3AUDF.DLL", "VUD3CFGX.DLL", "ZKAPI7x64.Dll", "ZKNETx64.DLL"}) put(build / name);
    struct Table {
        const char* out;
        const char* json;
        int numeric;  // 1 numeric form, 0 name form, -1 as the source says
    };
    for (const Table& t : {Table{"VUD3LP.BRT", "lp_tables.json", 1}, Table{"VUD3LPN.BRT", "lp_tables.json", 0},
                           Table{"VUD3IJ.BRT", "ij_tables.json", -1}, Table{"VUD3CFGX.BRT", "cfgx_tables.json", -1}}) {
        std::ifstream in(source / "tables" / t.json);
        nlohmann::json json = nlohmann::json::parse(in, nullptr, false, true);
        EXPECT_FALSE(json.is_discarded()) << t.json;
        if (t.numeric >= 0) json["numeric"] = t.numeric == 1;
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(restable::Compile(json, bytes, error)) << error;
        std::ofstream(stage / t.out, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<std::streamsize>(bytes.size()));
        files.push_back((stage / t.out).wstring());
    }
    return files;
}

}  // namespace vanto_test
