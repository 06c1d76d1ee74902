// Function and element IDs of the driver's configuration (CFX) file that the library itself
// names. They are the driver's numbering; the sample driver's CFX sources use the same IDs.
// Attribute numbers and their bits are the module's (modules/cfgx/kdcfgx.h, KD_CFGX_ATTR_*).
#pragma once

#include "platform/win32.h"

// Functions.
constexpr DWORD CFGX_FUNC_PAPERTYPE = 1;          // elements: paper type IDs (table 3000)
constexpr DWORD CFGX_FUNC_QUALITYMODE = 3;        // elements: CFGX_ELEM_QUALITY_*
constexpr DWORD CFGX_FUNC_INPUTBIN = 7;           // elements: paper source element IDs (table 3020)
constexpr DWORD CFGX_FUNC_PAPERSIZE = 9;          // elements: paper size IDs (table 3010)
constexpr DWORD CFGX_FUNC_OUTPUTPAPERSIZE = 35;   // elements: paper size IDs (table 3010)
constexpr DWORD CFGX_FUNC_PDL_DRVMODE = 132;      // page-description language, DRVMODE list
constexpr DWORD CFGX_FUNC_BORDERLESS = 213;       // elements: layout values

// Elements of CFGX_FUNC_QUALITYMODE.
constexpr DWORD CFGX_ELEM_QUALITY_FAST = 2;
constexpr DWORD CFGX_ELEM_QUALITY_STANDARD = 3;
constexpr DWORD CFGX_ELEM_QUALITY_HIGH = 4;

// Elements of CFGX_FUNC_PDL_DRVMODE.
constexpr DWORD CFGX_ELEM_PDL_QLMPR_BASIC = 16;   // "QLM/P-R BASIC"
constexpr DWORD CFGX_ELEM_PDL_QLMPR_ADVANCE = 17; // "QLM/P-R Advance"
