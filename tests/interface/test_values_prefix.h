// A prefix for the value exports: the sample driver with its built AUDF module, transport module
// and resource tables, and queues that already carry a queue identifier ("KDPQGUID"), so that an
// instance with flag bit 1 alone finds its store.
#pragma once

#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace values_test {

inline std::vector<std::string> BuiltDriverFiles() {
    std::vector<std::string> files;
    for (const char* name : {"VUD3AUDF.DLL", "ZKAPI7x64.Dll", "VUD3LP.BRT", "VUD3LPN.BRT", "VUD3IJ.BRT", "VUD3CFGX.BRT"})
        files.push_back(std::string(VANTO_BUILD_DIR) + "/" + name);
    return files;
}

// Stores a fixed identifier text (38 characters, as a new queue gets one) under the queue.
inline void GiveQueueGUID(const std::u16string& queue, const std::u16string& guid) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(queue.c_str()), &printer, &defaults));
    std::u16string name = u"KDPQGUID";
    EXPECT_EQ(SetPrinterDataW(printer, name.data(), REG_SZ,
                              reinterpret_cast<LPBYTE>(const_cast<char16_t*>(guid.data())),
                              static_cast<DWORD>(guid.size() * sizeof(char16_t))),
              static_cast<DWORD>(ERROR_SUCCESS));
    ClosePrinter(printer);
}

// The sample driver with the built files and the queues "V1" and "V2", each with its identifier.
class ValuesPrefix : public vanto_test::TempPrefix {
public:
    ValuesPrefix() : TempPrefix("V1", kDefaultPort, BuiltDriverFiles()) {
        std::string error;
        EXPECT_TRUE(vplat::AddQueue("V2", vanto_test::kSampleDriverName, "IP_127.0.1.2", error)) << error;
        GiveQueueGUID(u"V1", u"{6A1F0E52-0C1B-4D8A-9E31-00000000A001}");
        GiveQueueGUID(u"V2", u"{6A1F0E52-0C1B-4D8A-9E31-00000000A002}");
    }
};

}  // namespace values_test
