// Function and element IDs of the driver's configuration (CFX) file that the library itself
// names. They are the driver's numbering; the sample driver's CFX sources use the same IDs.
// Attribute numbers and their bits are the module's (modules/cfgx/kdcfgx.h, KD_CFGX_ATTR_*).
#pragma once

#include "platform/win32.h"

// Functions.
constexpr DWORD CFGX_FUNC_PAPERTYPE = 1;          // elements: paper type IDs (table 3000)
constexpr DWORD CFGX_FUNC_QUALITYMODE = 3;        // elements: CFGX_ELEM_QUALITY_*
constexpr DWORD CFGX_FUNC_QUALITYLEVEL = 5;       // elements: quality-level IDs (table 3040)
constexpr DWORD CFGX_FUNC_COLORMODE = 6;          // elements: 1 mono, 2 colour
constexpr DWORD CFGX_FUNC_INPUTBIN = 7;           // elements: paper source element IDs (table 3020)
constexpr DWORD CFGX_FUNC_OUTPUTBIN = 8;          // elements: output bins
constexpr DWORD CFGX_FUNC_PAPERSIZE = 9;          // elements: paper size IDs (table 3010)
constexpr DWORD CFGX_FUNC_USERDEF_WIDTH_MM = 10;  // value: user-defined width, 0.1 mm
constexpr DWORD CFGX_FUNC_USERDEF_HEIGHT_MM = 11; // value: user-defined height, 0.1 mm
constexpr DWORD CFGX_FUNC_USERDEF_WIDTH_IN = 12;  // value: user-defined width, 0.01 inch
constexpr DWORD CFGX_FUNC_USERDEF_HEIGHT_IN = 13; // value: user-defined height, 0.01 inch
constexpr DWORD CFGX_FUNC_COPIES = 14;            // value: copies
constexpr DWORD CFGX_FUNC_COLLATE = 15;           // elements: 0 off, 1 on
constexpr DWORD CFGX_FUNC_ORIENTATION = 16;       // elements: 1 portrait, 2 landscape
constexpr DWORD CFGX_FUNC_REVERSEORDER = 17;      // elements: 0 off, 1 on
constexpr DWORD CFGX_FUNC_MULTIPAGE = 20;         // elements: 0 off, 1, 2
constexpr DWORD CFGX_FUNC_DUPLEX = 26;            // elements: 0 simplex, 1 long edge, 2 short edge
constexpr DWORD CFGX_FUNC_OUTPUTPAPERSIZE = 35;   // elements: paper size IDs (table 3010)
constexpr DWORD CFGX_FUNC_COLORINTENT = 51;
constexpr DWORD CFGX_FUNC_SOFTWARECOLLATE = 77;
constexpr DWORD CFGX_FUNC_DMDUPLEXCTRL = 117;     // elements: 1 simplex, 2 duplex
constexpr DWORD CFGX_FUNC_PDL_DRVMODE = 132;      // page-description language, DRVMODE list
constexpr DWORD CFGX_FUNC_INPUTBIN_CHANGEON2NDPAGE = 136;  // elements: as CFGX_FUNC_INPUTBIN
constexpr DWORD CFGX_FUNC_MANUALSELMODEL = 154;
constexpr DWORD CFGX_FUNC_PRINTER_MODELTYPE = 155;    // 1 A4 colour, 2 A4 mono, 3 A3 colour, 4 A3 mono (+4 ink-jet)
constexpr DWORD CFGX_FUNC_PRINTER_MARKETSERIES = 156; // 1 LP, 2 MV
constexpr DWORD CFGX_FUNC_PDL_PRNMODE = 157;      // page-description language, PRNMODE list
constexpr DWORD CFGX_FUNC_PRINTER_CATEGORY = 158; // 1 ink-jet, 2 page
constexpr DWORD CFGX_FUNC_DUPLEXUNIT = 164;       // duplex unit attachment
constexpr DWORD CFGX_FUNC_CONFIDENTIALJOB = 165;
constexpr DWORD CFGX_FUNC_RESTRICTFUNC = 168;
constexpr DWORD CFGX_FUNC_PRINTERDUPLEXCTRL = 194; // printer duplex default control
constexpr DWORD CFGX_FUNC_BORDERLESS = 213;       // elements: layout values
constexpr DWORD CFGX_FUNC_DIRECTFILINGPRINT = 462;

// Elements of CFGX_FUNC_QUALITYMODE.
constexpr DWORD CFGX_ELEM_QUALITY_FAST = 2;
constexpr DWORD CFGX_ELEM_QUALITY_STANDARD = 3;
constexpr DWORD CFGX_ELEM_QUALITY_HIGH = 4;

// Elements of CFGX_FUNC_QUALITYLEVEL named by the update (the others come from table 3040).
constexpr DWORD CFGX_ELEM_QLEVEL_DRAFT_600 = 40;
constexpr DWORD CFGX_ELEM_QLEVEL_FASTSTANDARD_600 = 42;
constexpr DWORD CFGX_ELEM_QLEVEL_STANDARD_600 = 43;
constexpr DWORD CFGX_ELEM_QLEVEL_FINE_600 = 44;
constexpr DWORD CFGX_ELEM_QLEVEL_BEST_600 = 46;
constexpr DWORD CFGX_ELEM_QLEVEL_FINEFAST_600 = 47;
constexpr DWORD CFGX_ELEM_QLEVEL_FAST = 50;       // "Fast" of the PCL levels
constexpr DWORD CFGX_ELEM_QLEVEL_PCL_STANDARD = 51;
constexpr DWORD CFGX_ELEM_QLEVEL_PCL_MQ = 52;
constexpr DWORD CFGX_ELEM_QLEVEL_PCL_STANDARD_HQ = 55;
constexpr DWORD CFGX_ELEM_QLEVEL_PCL_FINE_HQ = 57;
constexpr DWORD CFGX_ELEM_QLEVEL_FAST_360 = 70;
constexpr DWORD CFGX_ELEM_QLEVEL_STANDARD_360 = 72;
constexpr DWORD CFGX_ELEM_QLEVEL_HIGH_360 = 77;

// Elements of CFGX_FUNC_PAPERTYPE, CFGX_FUNC_OUTPUTPAPERSIZE and CFGX_FUNC_OUTPUTBIN.
constexpr DWORD CFGX_ELEM_PAPERTYPE_ENVELOPE = 353;
constexpr DWORD CFGX_ELEM_PAPERSIZE_USERDEF = 256;          // the user-defined paper size
constexpr DWORD CFGX_ELEM_PAPERSIZE_USERDEF_COMMON = 10000; // USERDEF_COMMSTARTID: the same for every language
constexpr DWORD CFGX_ELEM_PAPERSIZE_LONG_346 = 346;         // a long paper size of the driver's data
constexpr DWORD CFGX_ELEM_OUTPUTBIN_FACEUP = 300;

// Elements of CFGX_FUNC_PDL_DRVMODE.
constexpr DWORD CFGX_ELEM_PDL_QLMPR_BASIC = 16;   // "QLM/P-R BASIC"
constexpr DWORD CFGX_ELEM_PDL_QLMPR_ADVANCE = 17; // "QLM/P-R Advance"
constexpr DWORD CFGX_ELEM_PDL_QLMPAGE = 4;        // "QLM/Page"
constexpr DWORD CFGX_ELEM_PDL_QLMPAGE_S04 = 8;    // "QLM/PageS04"
constexpr DWORD CFGX_ELEM_PDL_S04_COMPANION = 9;  // offered only with QLM/PageS04
constexpr DWORD CFGX_ELEM_PDL_PCL6 = 33;          // "PCL6"
constexpr DWORD CFGX_ELEM_PDL_PCL6_OPK = 37;      // "PCL6 with OPK"

// Tags of the logical printer data.
constexpr DWORD CFGX_TAG_PRINTERCAPSCOMMON = 64;
constexpr DWORD CFGX_TAG_PRINTERCAPSCOMMON2 = 80;
constexpr DWORD CFGX_TAG_DRIVERCAPS = 100;        // what the driver offers (bits below)
constexpr DWORD CFGX_TAG_PRINTERCAPSPAGE1 = 300;
constexpr DWORD CFGX_TAG_PRINTERPANEL = 305;
constexpr DWORD CFGX_DRIVERCAPS_QLMPR_ADVANCE = 0x2000;   // the driver offers "QLM/P-R Advance"
constexpr DWORD CFGX_DRIVERCAPS_QUALITY_LEVELS = 0xA000;  // any of these: quality-level rules apply
