// Helpers for table tests: binary resource files compiled from inline JSON or from the sample
// driver's table sources.
#pragma once

#include "tables/CBITableData.h"
#include "tools/restable/ResTableCompiler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace tabletest {

inline std::vector<BYTE> Compile(const nlohmann::json& source) {
    std::vector<uint8_t> file;
    std::string error;
    EXPECT_TRUE(restable::Compile(source, file, error)) << error;
    return file;
}

// A sample driver table source (samples/driver/tables/<name>), optionally forced to a form.
inline nlohmann::json SampleSource(const std::string& name) {
    std::ifstream in(std::string(VANTO_SOURCE_DIR) + "/samples/driver/tables/" + name);
    EXPECT_TRUE(in.good()) << name;
    return nlohmann::json::parse(in, nullptr, true, true);
}

// Rows of the paper size (3010) and paper type (3000) tables, and a source holding both.
inline nlohmann::json SizeRow(int id, const char* name, int flags, int code1 = 0, int code2 = 0, int direction = 0) {
    return {{"id", id},       {"name", name},           {"flags", flags}, {"code1", code1},
            {"code2", code2}, {"direction", direction}, {"shown", 1}};
}
inline nlohmann::json TypeRow(int id, const char* name, int flags, int code1 = 0, int code2 = 0) {
    return {{"id", id}, {"name", name}, {"flags", flags}, {"code1", code1}, {"code2", code2}};
}
inline nlohmann::json Tables(bool numeric, nlohmann::json sizes, nlohmann::json types = nlohmann::json::array()) {
    return {{"numeric", numeric}, {"tables", {{{"id", 3010}, {"rows", sizes}}, {{"id", 3000}, {"rows", types}}}}};
}

inline void Put16(std::vector<BYTE>& f, size_t off, uint16_t v) {
    f[off] = static_cast<BYTE>(v);
    f[off + 1] = static_cast<BYTE>(v >> 8);
}
inline void Put32(std::vector<BYTE>& f, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[off + i] = static_cast<BYTE>(v >> (8 * i));
}

}  // namespace tabletest
