// Names of the bits of the printer-information numbers (model information, page-description
// languages, option units), shared by the verbs that show them: the stored values and the live
// printer's answers.
#pragma once

#include "platform/win32.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vanto_cli {

struct BitName {
    DWORD bit;
    const char* name;
};

// ModelInfoBits.
inline constexpr BitName kModelInfoBits[] = {
    {0x1, "colour"},
    {0x2, "A3-class paper"},
    {0x4, "Japanese market"},
    {0x8, "raster command language"},
    {0x10, "resolution multiple of 360"},
    {0x400, "System OEM record bit 0x400"},
    {0x800, "System OEM channel available"},
    {0x10000, "job control in UTF-8"},
    {0x20000, "media capability 0x20000"},
    {0x40000, "media capability 0x40000"},
    {0x80000, "media capability 0x80000"},
    {0x100000, "media capability 0x100000"},
    {0x200000, "media capability 0x200000"},
    {0x400000, "media capability 0x400000"},
    {0x10000000, "format-17 media information"}};

// SupportPDLBits (and the default language, one of them).
inline constexpr BitName kPDLBits[] = {{0x1, "QLMPAGE-04"}, {0x2, "QLMPAGECOLOR-01"}, {0x4, "QLMPAGES-04"},
                                       {0x10, "QLMPR (raster)"}, {0x100, "PCL"}, {0x200, "PCLXL"}};

// OptionUnitBits.
inline constexpr BitName kOptionUnitBits[] = {
    {0x1, "duplex unit"},
    {0x2, "RAM disk"},
    {0x4, "storage device"},
    {0x100, "face-up tray"},
    {0x200, "stacker"},
    {0x400, "stapler"},
    {0x800, "offset stacker"},
    {0x10000, "confidential jobs (kind 0)"},
    {0x20000, "confidential jobs (kind 1)"}};

// The names of the bits set in value, table order first, then "bit 0x..." for each set bit the
// table does not name.
inline std::vector<std::string> BitNameList(DWORD value, const BitName* names, size_t count) {
    std::vector<std::string> list;
    DWORD known = 0;
    for (size_t i = 0; i < count; ++i) {
        known |= names[i].bit;
        if ((value & names[i].bit) != 0) list.emplace_back(names[i].name);
    }
    for (DWORD bit = 1; bit != 0; bit <<= 1) {
        if ((value & bit) == 0 || (known & bit) != 0) continue;
        char other[24];
        std::snprintf(other, sizeof(other), "bit 0x%x", bit);
        list.emplace_back(other);
    }
    return list;
}

// The same names joined by ", "; "none" when no bit is set.
inline std::string Bits(DWORD value, const BitName* names, size_t count) {
    std::string text;
    for (const std::string& name : BitNameList(value, names, count)) text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

}  // namespace vanto_cli
