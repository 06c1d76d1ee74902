// BITableLayout: the binary resource file format of the driver's tables, as named offsets with
// their widths. CBITableData reads it; the table compiler (tools/restable) writes it.
//
// A file is a 32-byte header, a directory of 28-byte entries (one per table) and the tables' rows.
// Nothing is read from a file before the header, the whole directory and every table's rows have
// been checked to lie inside it, with rows large enough for every field read from them.
#pragma once

#include "platform/win32.h"

#include <cstddef>

// Little-endian throughout.
namespace BITableLayout {
constexpr size_t kHeaderSize = 32;              // bytes before the table directory
constexpr size_t kOffFormat = 0;                // u16 format value (not interpreted)
constexpr size_t kOffDirCount = 2;              // u16 number of directory entries
constexpr size_t kOffFlags = 4;                 // u32 file flags
constexpr DWORD kFlagNumericForm = 0x4;         // rows carry numeric printer codes
constexpr size_t kDirEntrySize = 28;            // bytes per directory entry
constexpr size_t kDirOffTableID = 0;            // u32 table ID
constexpr size_t kDirOffRowSize = 8;            // u32 row size in bytes
constexpr size_t kDirOffRowCount = 12;          // u32 number of rows
constexpr size_t kDirOffRowsOffset = 16;        // u32 file offset of row 0
constexpr size_t kMaxFileSize = 16 * 1024 * 1024;  // larger files are refused unread

// Table IDs.
constexpr DWORD kTablePaperType = 3000;
constexpr DWORD kTablePaperSize = 3010;
constexpr DWORD kTablePaperSource = 3020;
constexpr DWORD kTableUninterpreted = 3030;
constexpr DWORD kTableQuality = 3040;
constexpr DWORD kTableModel = 3050;
constexpr DWORD kTableSystemOEM = 3080;

// Paper type rows (3000).
constexpr size_t kPTOffID = 0;          // u16 paper type ID
constexpr size_t kPTOffName = 20;       // name text
constexpr size_t kPTNameWidth = 30;
constexpr size_t kPTOffFlags = 50;      // u16 flags
constexpr size_t kPTOffCode1 = 52;      // u16 printer code 1
constexpr size_t kPTOffCode2 = 54;      // u16 printer code 2
constexpr size_t kPTMinRowSize = 56;

// Paper size rows (3010).
constexpr size_t kPSOffID = 0;          // u16 paper size ID
constexpr size_t kPSOffName = 72;       // name text
constexpr size_t kPSNameWidth = 30;
constexpr size_t kPSOffDirection = 102; // u16 direction
constexpr size_t kPSOffShown = 104;     // u16 shown
constexpr size_t kPSOffFlags = 106;     // u16 flags
constexpr size_t kPSOffCode1 = 108;     // u16 printer code 1
constexpr size_t kPSOffCode2 = 110;     // u16 printer code 2
constexpr size_t kPSMinRowSize = 112;

// Paper source rows (3020, 32 bytes in the driver's files).
constexpr size_t kSrcOffElementID = 0;  // u16 element ID
constexpr size_t kSrcOffBits = 16;      // u16 paper source bits
constexpr size_t kSrcOffFlags = 18;     // u8 flags
constexpr size_t kSrcOffFlags2 = 19;    // u8 further flags
constexpr size_t kSrcRowSize = 32;
constexpr size_t kSrcMinRowSize = 20;

// Quality level rows (3040).
constexpr size_t kQOffID = 0;           // u16 quality-level ID
constexpr size_t kQOffResolution = 10;  // u32 resolution bits
constexpr size_t kQOffFlags = 14;       // u8 flags
constexpr size_t kQMinRowSize = 15;

// Model rows (3050).
constexpr size_t kMOffName = 0;         // model name text
constexpr size_t kMNameWidth = 30;
constexpr size_t kMOffFeeder = 30;      // u16 feeder value
constexpr size_t kMOffFlags = 36;       // u32 model flags
constexpr size_t kMMinRowSize = 40;

// System OEM rows (3080): a model name pattern at 0, the row handed out whole. The words after
// the pattern are the System OEM record the connection code answers from.
constexpr size_t kOEMRowSize = 200;
constexpr size_t kOEMPatternWidth = 64;     // pattern text, zero-terminated before the first word
constexpr size_t kOEMOffModelInfo = 64;     // u32 model-information bits (0x100, 0x200: System OEM)
constexpr size_t kOEMOffPDL = 68;           // u32 page-description language bits
constexpr size_t kOEMOffOptions = 76;       // u32 option bits (0x1: duplex unit)
constexpr size_t kOEMOffMemory = 80;        // u32 installed memory in MB
constexpr size_t kOEMOffSources = 100;      // u16 paper source element IDs, up to the tray count
constexpr size_t kOEMSourceCount = 11;
constexpr size_t kOEMOffTrayCount = 122;    // u16 tray count
constexpr size_t kOEMOffUserDef = 124;      // 8 x i32 user-defined paper limits (mm/10, then inch/100)
constexpr size_t kOEMUserDefCount = 8;

// Low four flag bits of rows of tables 3000, 3010, 3020, 3040: which source the row is for.
constexpr DWORD kRowSourceMask = 0xF;
constexpr DWORD kRowSourceInstallTime = 0x1;
constexpr DWORD kRowSourceLive = 0x2 | 0x4 | 0x8;
}  // namespace BITableLayout
