// The IEEE 1284 device ID parser: turns the narrow "KEY:value;" text a printer reports about
// itself into a DeviceIDInfo (model name, command languages, raster level, model-table match).
// Used by discovery (CDeviceInfo) and by the live printer access (CBIDI_BP).
#pragma once

#include "platform/win32.h"

#include <cstddef>

// Capacities of the parsed fields, terminator included.
constexpr size_t DEVICEID_MODELNAME_CHARS = 100;  // model name, narrow and UTF-16
constexpr size_t DEVICEID_VALUE_CAPACITY = 2048;   // "CMD" and "FID" values

// Command languages of the "CMD" key. The order of the table in DeviceIDParser.cpp (the order of
// these values) decides which name a short token selects.
enum CommandSetBits : DWORD {
    CMDSET_PJL = 0x1,
    CMDSET_OPK = 0x2,
    CMDSET_PCL = 0x4,
    CMDSET_PCLXL = 0x8,
    CMDSET_POSTSCRIPT = 0x10,
    CMDSET_D4L3 = 0x20,
    CMDSET_QLMPAGE_04 = 0x40,
    CMDSET_QLMPAGEJ_04 = 0x80,
    CMDSET_QLMPAGECOLOR_01 = 0x100,
    CMDSET_QLMPAGECOLORJ_01 = 0x200,
    CMDSET_QLMPAGES_04 = 0x400,
    CMDSET_QLMPL2 = 0x800,
    CMDSET_BDC = 0x1000,
    CMDSET_D4 = 0x2000,
    CMDSET_D4PX = 0x4000,
    CMDSET_TVD4 = 0x40000,
};

// The raster language level bit: set when a "QLMPR<n>" token has bit 0 or bit 1 of n.
constexpr DWORD QLMPR_LEVEL_BIT = 0x10;

// Bits of the "FID" key.
constexpr DWORD FID_DPA = 0x1;

// Model class bits of the System OEM model table.
constexpr DWORD MODELCLASS_COLOR = 0x1;
constexpr DWORD MODELCLASS_DOMESTIC = 0x4;
constexpr DWORD MODELCLASS_DUPLEX_STANDARD = 0x20;

// A parsed device ID. The caller zeroes it before ConvertDeviceID.
struct DeviceIDInfo {
    WCHAR wszModelName[DEVICEID_MODELNAME_CHARS];  // model name in UTF-16 (thread ANSI code page)
    char szModelName[DEVICEID_MODELNAME_CHARS];    // "MDL" (or "MODEL") value, cut to 99 bytes
    DWORD dwCommandSetBits;                        // CommandSetBits of "CMD"
    DWORD dwQLMPRBits;                             // QLMPR_LEVEL_BIT or 0
    DWORD dwModelClass;                            // MODELCLASS_* of the matching model-table row
    DWORD dwInModelTable;                          // 1 when the model name matched the table
    DWORD dwFIDBits;                               // FID_* bits of "FID"
};

// Finds key (plain text search) in the zero-terminated deviceID and copies its value, the text
// between the character after the key and the next ";", into dest (at most capacity - 1 bytes,
// always terminated). Returns 1 when found, 0 when the key or the closing ";" is missing.
int GetDeviceIDValue(const char* deviceID, const char* key, char* dest, size_t capacity);

// Parses the zero-terminated deviceID into info. Returns 1 on success, 0 when the model name
// ("MDL" or "MODEL") or, for a model outside the model table, the command set ("CMD") is missing.
int ConvertDeviceID(DeviceIDInfo* info, const char* deviceID);
