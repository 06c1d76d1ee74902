// fuzz-libs: vanto_tables
// Feeds arbitrary bytes to the binary resource table loader as a whole file, then runs every
// lookup on whatever loaded, with queries taken from the input's first bytes.
#include "tables/CBITableData.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (DWORD dwERDSwitch : {0u, 1u}) {
        CBITableData table;
        table.SetFlags(0, dwERDSwitch);
        SBIPaperEntry overlay[2] = {{9, 0, 1, 0}, {1, 1, 2, 0}};
        if (!table.LoadFromMemory(std::span<const BYTE>(data, size), overlay)) continue;

        uint32_t q = 0;
        std::memcpy(&q, data, size < sizeof(q) ? size : sizeof(q));
        std::string name(reinterpret_cast<const char*>(data), size < 40 ? size : 40);
        WORD wDirection = 0;
        DWORD dwFlags = 0;
        WORD wFeeder = 0;
        SBISystemOEMRow row{};
        table.GetPaperSizeIDByCode(static_cast<LONG>(q & 0xFFFF), q >> 16);
        table.GetPaperTypeIDByCode(static_cast<LONG>(q & 0xFFFF), q >> 16);
        table.GetSubPaperTypeID(static_cast<LONG>(q & 0xFF));
        table.GetPaperSizeIDByName(name.c_str(), &wDirection, q);
        table.GetPaperSizeIDByName("A4 Landscape", &wDirection, 0);
        table.GetPaperTypeIDByName(name.c_str(), q);
        table.GetPaperSourceElementID(q);
        table.GetModelInfoA(name.c_str(), &dwFlags, &wFeeder);
        table.GetSystemOEMModel(name.c_str(), &row);
        for (const auto& r : table.PaperSizes()) table.GetPaperSizeIDByName(r.strName.c_str(), &wDirection, r.wFlags);
        for (const auto& r : table.Models()) table.GetModelInfoA(r.strName.c_str(), &dwFlags, &wFeeder);
    }
    return 0;
}
