// The default settings record of the CBIDI interface, stored byte for byte as the value
// "BIDefaultSettings". The other records it exchanges (VANTO_CASETTE_INFO, VANTO_USERDEF_MAXMIN)
// are public and live in include/vanto.h.
#pragma once

#include "platform/win32.h"

#include <cstddef>

#pragma pack(push, 1)

constexpr size_t BIDEFAULT_IDTEXT_BYTES = 30;  // decimal ID texts, terminator included

// Default settings: the first 108 bytes come from the printer access (GetDefaultSetting), the
// rest stays as the caller set it (zero).
struct BIDefaultSettings {
    DWORD dwMediaSizeID;
    DWORD dwMediaTypeID;
    DWORD dwLayout;
    DWORD dwQuality;
    DWORD dwPaperSource;
    DWORD dwColorMode;       // 1 colour
    DWORD dwDuplex;
    DWORD dwReverseOrder;
    DWORD dwCopies;
    DWORD dwCollate;
    DWORD dwPaperDirection;  // 1 or 2
    DWORD dwMultiPage;
    char szMediaSizeID[BIDEFAULT_IDTEXT_BYTES];  // dwMediaSizeID as decimal text
    char szMediaTypeID[BIDEFAULT_IDTEXT_BYTES];  // dwMediaTypeID as decimal text
    BYTE reserved[48];
};
static_assert(sizeof(BIDefaultSettings) == 156);
static_assert(offsetof(BIDefaultSettings, szMediaSizeID) == 48);
static_assert(offsetof(BIDefaultSettings, szMediaTypeID) == 78);
static_assert(offsetof(BIDefaultSettings, reserved) == 108);

// The part of BIDefaultSettings that GetDefaultSetting fills.
constexpr size_t BIDEFAULT_FILLED_BYTES = 108;

#pragma pack(pop)
