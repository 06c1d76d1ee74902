/* vanto.h: the exported interface of libvanto.so, the printer auto-configuration library.
 *
 * A caller opens an instance with Initialize (a print queue's name and a flag word), passes the
 * handle to every other export, and ends it with Release. All text is UTF-16, zero-terminated.
 * BOOL results are 1 for success and 0 for failure; the three status exports return
 * VANTO_STATUS_NO_INSTANCE (-999) when there is no instance or no printer-information object.
 * Records handed across this boundary are byte-packed and their layouts are fixed.
 */
#ifndef VANTO_H
#define VANTO_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
#define VANTO_EXTERN_C extern "C"
#define VANTO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VANTO_EXTERN_C
#define VANTO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#ifdef _WIN32
/* vanto.dll exports by its .def file: the 21 names, undecorated. */
#define VANTO_API VANTO_EXTERN_C
#else
#define VANTO_API VANTO_EXTERN_C __attribute__((visibility("default")))
#endif

/* The instance handle: opaque, pointer-sized, null on failure. */
typedef struct VANTO_INSTANCE* HVANTO;
typedef int32_t VANTO_BOOL;

/* ---- Flags of Initialize ------------------------------------------------------------------ */
#define VANTO_FLAG_PROBE 0x1u            /* create the discovery object; permits the queue identifier */
#define VANTO_FLAG_PRINTERINFO 0x2u      /* create the printer-information object */
#define VANTO_FLAG_ERD 0x10u             /* printer information from the install-time capability record */
#define VANTO_FLAG_BIJ_CUSTOM 0x20u      /* custom ink-jet printer */
#define VANTO_FLAG_LP_CUSTOM 0x40u       /* custom page printer */
#define VANTO_FLAG_LIJ_CUSTOM 0x80u      /* custom large ink-jet printer */
#define VANTO_FLAG_CHECK_MODELNAME 0x100u /* require the printer's model to equal the driver's */

/* Status of CheckModelNameHasChanged, UpdatePrinterInfo and UpdateCFGXFile without an instance
 * or without a printer-information object. */
#define VANTO_STATUS_NO_INSTANCE (-999)

/* ---- Value identifiers --------------------------------------------------------------------- */
/* 32-bit values (GetDWORDValue, SetDWORDValue). */
#define VANTO_DWID_MODELINFOBITS 10
#define VANTO_DWID_SUPPORTPDLBITS 11
#define VANTO_DWID_OPTIONUNITBITS 12
#define VANTO_DWID_CASSETTENUM 13
#define VANTO_DWID_RESERVED14 14
#define VANTO_DWID_INSTALLEDMEMORY 15
#define VANTO_DWID_DEFAULTPDLBITS 16
#define VANTO_DWID_BINARYRESOURCEID 17
#define VANTO_DWID_CFGXRESOURCEID 18
/* Strings (GetStringValueW, SetStringValueW). */
#define VANTO_SZID_MODELNAME 10
/* Records (GetStructValue, SetStructValue). */
#define VANTO_STID_CASETTE_INFO 10   /* one VANTO_CASETTE_INFO, parameter = cassette index */
#define VANTO_STID_PRINTER_INFO 11   /* VANTO_PRINTER_INFO */
#define VANTO_STID_USERDEF_MAXMIN 12 /* VANTO_USERDEF_MAXMIN */

/* ---- Discovery ----------------------------------------------------------------------------- */
/* Probe types of SetProbeMode. */
#define VANTO_PROBE_NAME 1
#define VANTO_PROBE_SUBIP 2
#define VANTO_PROBE_IPRANGE 3
#define VANTO_PROBE_IPADR 4

/* SBIProbeResult.dwSupportPDL bits. */
#define VANTO_PROBE_PDL_QLMPAGE 0x1u
#define VANTO_PROBE_PDL_QLMPAGE_COL 0x2u
#define VANTO_PROBE_PDL_QLMPAGE_S04 0x4u
#define VANTO_PROBE_PDL_QLMPR 0x10u
#define VANTO_PROBE_PDL_PCL 0x300u
#define VANTO_PROBE_PDL_SYSOEM 0x200u
/* SBIProbeResult.dwDomestic values. */
#define VANTO_PROBE_DOMESTIC_JA 4u
#define VANTO_PROBE_DOMESTIC_INKJET 8u

/* ---- Element bits of UpdatePrinterInfo and of VANTO_PRINTER_INFO.ullElementMask ------------ */
#define VANTO_ELEMENT_MODELNAME 0x1ull
#define VANTO_ELEMENT_MODELINFOBITS 0x2ull
#define VANTO_ELEMENT_SUPPORTPDLBITS 0x4ull
#define VANTO_ELEMENT_OPTIONUNITBITS 0x8ull
#define VANTO_ELEMENT_OPTIONUNIT_MORE 0xF00000000ull /* also select the option unit bits */
#define VANTO_ELEMENT_CASSETTE 0x10ull
#define VANTO_ELEMENT_INSTALLEDMEMORY 0x40ull
#define VANTO_ELEMENT_DEFAULTPDLBITS 0x200ull
#define VANTO_ELEMENT_USERDEF_MAXMIN 0x1000ull

#pragma pack(push, 1)

/* One address of a discovered device (140 bytes). */
typedef struct SBIProbeAddress {
    uint32_t dwValue;                /* 0: copied from the transport module's address entry */
    char16_t szAddress[64];          /* 4: the address text */
    struct SBIProbeAddress* pNext;   /* 132: next address, null in the last */
} SBIProbeAddress;

/* One discovered device (586 bytes); chained and handed out by GetProbeResult, owned by the
 * instance until its next ProbePrinter, UpdatePrinterInfo or Release. */
typedef struct SBIProbeResult {
    struct SBIProbeResult* pNext;    /* 0: next record of the chain, null in the last */
    char16_t* pDeviceName;           /* 8 */
    SBIProbeAddress* pAddressList;   /* 16 */
    char16_t szAddress[16];          /* 24: the hit's address text */
    char16_t szLocation[255];        /* 56: the device's location */
    uint32_t dwDomestic;             /* 566: VANTO_PROBE_DOMESTIC_* or 0 */
    uint32_t dwColor;                /* 570: 1 for a colour device */
    uint32_t dwDuplex;               /* 574: 1 when duplex printing is available */
    uint32_t dwSupportPDL;           /* 578: VANTO_PROBE_PDL_* */
    uint32_t dwInfoObtained;         /* 582: 1 when the device was examined successfully */
} SBIProbeResult;

/* One input tray (16 bytes). */
typedef struct VANTO_CASETTE_INFO {
    uint16_t wPaperSizeID;           /* 0: 0xFFFF unknown */
    uint16_t wPaperTypeID;           /* 2: 0xFFFF unknown */
    uint8_t byDirection;             /* 4 */
    uint8_t byReserved;              /* 5: 0 */
    uint16_t wPaperSourceBit;        /* 6: a single bit */
    uint16_t wPaperSourceEID;        /* 8 */
    uint16_t wMaxCapacity;           /* 10: 0xFFFE unknown */
    uint16_t wCurrentLevel;          /* 12: 0xFFFE unknown */
    uint16_t wReserved;              /* 14: 0 */
} VANTO_CASETTE_INFO;

#define VANTO_CASETTE_UNKNOWN_ID 0xFFFFu
#define VANTO_CASETTE_UNKNOWN_LEVEL 0xFFFEu

/* Limits of user-defined paper (40 bytes). */
typedef struct VANTO_USERDEF_MAXMIN {
    int32_t lHeiMAX;                 /* 0: 0.1 mm */
    int32_t lWidMAX;                 /* 4 */
    int32_t lHeiMIN;                 /* 8 */
    int32_t lWidMIN;                 /* 12 */
    int32_t lHeiMAX_Inch;            /* 16: 0.01 inch */
    int32_t lWidMAX_Inch;            /* 20 */
    int32_t lHeiMIN_Inch;            /* 24 */
    int32_t lWidMIN_Inch;            /* 28 */
    int32_t lReserved[2];            /* 32 */
} VANTO_USERDEF_MAXMIN;

#define VANTO_PRINTER_INFO_CASSETTES 8
#define VANTO_PRINTER_INFO_SIZE 416u
#define VANTO_PRINTER_INFO_VERSION 1u

/* The printer information record (416 bytes) of value ID VANTO_STID_PRINTER_INFO. */
typedef struct VANTO_PRINTER_INFO {
    uint32_t dwSize;                 /* 0: always 416 */
    uint32_t dwVersion;              /* 4: 1 when delivered */
    uint64_t ullElementMask;         /* 8: VANTO_ELEMENT_* bits of the fields asked for or supplied */
    uint64_t ullReserved;            /* 16 */
    char16_t szModelName[64];        /* 24 */
    uint32_t dwModelInfoBits;        /* 152 */
    uint32_t dwSupportPDLBits;       /* 156 */
    uint32_t dwDefaultPDLBits;       /* 160 */
    uint32_t dwBinaryResourceID;     /* 164 */
    uint32_t dwCFGXResourceID;       /* 168 */
    uint32_t dwOptionUnitBits;       /* 172 */
    uint32_t dwInstalledMemory;      /* 176 */
    int32_t nCassetteNum;            /* 180 */
    VANTO_CASETTE_INFO stCassette[VANTO_PRINTER_INFO_CASSETTES]; /* 184 */
    VANTO_USERDEF_MAXMIN stUserDefMaxMin; /* 312 */
    uint32_t dwRegistryUpdateKind;   /* 352: 0, 3 or 11 */
    uint8_t byReserved[60];          /* 356 */
} VANTO_PRINTER_INFO;

#pragma pack(pop)

VANTO_STATIC_ASSERT(sizeof(SBIProbeAddress) == 140, "SBIProbeAddress is 140 bytes");
VANTO_STATIC_ASSERT(offsetof(SBIProbeAddress, szAddress) == 4, "SBIProbeAddress.szAddress");
VANTO_STATIC_ASSERT(offsetof(SBIProbeAddress, pNext) == 132, "SBIProbeAddress.pNext");

VANTO_STATIC_ASSERT(sizeof(SBIProbeResult) == 586, "SBIProbeResult is 586 bytes");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, pDeviceName) == 8, "SBIProbeResult.pDeviceName");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, pAddressList) == 16, "SBIProbeResult.pAddressList");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, szAddress) == 24, "SBIProbeResult.szAddress");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, szLocation) == 56, "SBIProbeResult.szLocation");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, dwDomestic) == 566, "SBIProbeResult.dwDomestic");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, dwColor) == 570, "SBIProbeResult.dwColor");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, dwDuplex) == 574, "SBIProbeResult.dwDuplex");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, dwSupportPDL) == 578, "SBIProbeResult.dwSupportPDL");
VANTO_STATIC_ASSERT(offsetof(SBIProbeResult, dwInfoObtained) == 582, "SBIProbeResult.dwInfoObtained");

VANTO_STATIC_ASSERT(sizeof(VANTO_CASETTE_INFO) == 16, "VANTO_CASETTE_INFO is 16 bytes");
VANTO_STATIC_ASSERT(offsetof(VANTO_CASETTE_INFO, wPaperTypeID) == 2, "VANTO_CASETTE_INFO.wPaperTypeID");
VANTO_STATIC_ASSERT(offsetof(VANTO_CASETTE_INFO, byDirection) == 4, "VANTO_CASETTE_INFO.byDirection");
VANTO_STATIC_ASSERT(offsetof(VANTO_CASETTE_INFO, wPaperSourceBit) == 6, "VANTO_CASETTE_INFO.wPaperSourceBit");
VANTO_STATIC_ASSERT(offsetof(VANTO_CASETTE_INFO, wPaperSourceEID) == 8, "VANTO_CASETTE_INFO.wPaperSourceEID");
VANTO_STATIC_ASSERT(offsetof(VANTO_CASETTE_INFO, wMaxCapacity) == 10, "VANTO_CASETTE_INFO.wMaxCapacity");
VANTO_STATIC_ASSERT(offsetof(VANTO_CASETTE_INFO, wCurrentLevel) == 12, "VANTO_CASETTE_INFO.wCurrentLevel");
VANTO_STATIC_ASSERT(offsetof(VANTO_CASETTE_INFO, wReserved) == 14, "VANTO_CASETTE_INFO.wReserved");

VANTO_STATIC_ASSERT(sizeof(VANTO_USERDEF_MAXMIN) == 40, "VANTO_USERDEF_MAXMIN is 40 bytes");
VANTO_STATIC_ASSERT(offsetof(VANTO_USERDEF_MAXMIN, lHeiMAX_Inch) == 16, "VANTO_USERDEF_MAXMIN.lHeiMAX_Inch");
VANTO_STATIC_ASSERT(offsetof(VANTO_USERDEF_MAXMIN, lWidMIN_Inch) == 28, "VANTO_USERDEF_MAXMIN.lWidMIN_Inch");

VANTO_STATIC_ASSERT(sizeof(VANTO_PRINTER_INFO) == 416, "VANTO_PRINTER_INFO is 416 bytes");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwVersion) == 4, "VANTO_PRINTER_INFO.dwVersion");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, ullElementMask) == 8, "VANTO_PRINTER_INFO.ullElementMask");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, ullReserved) == 16, "VANTO_PRINTER_INFO.ullReserved");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, szModelName) == 24, "VANTO_PRINTER_INFO.szModelName");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwModelInfoBits) == 152, "VANTO_PRINTER_INFO.dwModelInfoBits");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwSupportPDLBits) == 156, "VANTO_PRINTER_INFO.dwSupportPDLBits");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwDefaultPDLBits) == 160, "VANTO_PRINTER_INFO.dwDefaultPDLBits");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwBinaryResourceID) == 164, "VANTO_PRINTER_INFO.dwBinaryResourceID");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwCFGXResourceID) == 168, "VANTO_PRINTER_INFO.dwCFGXResourceID");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwOptionUnitBits) == 172, "VANTO_PRINTER_INFO.dwOptionUnitBits");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwInstalledMemory) == 176, "VANTO_PRINTER_INFO.dwInstalledMemory");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, nCassetteNum) == 180, "VANTO_PRINTER_INFO.nCassetteNum");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, stCassette) == 184, "VANTO_PRINTER_INFO.stCassette");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, stUserDefMaxMin) == 312, "VANTO_PRINTER_INFO.stUserDefMaxMin");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, dwRegistryUpdateKind) == 352, "VANTO_PRINTER_INFO.dwRegistryUpdateKind");
VANTO_STATIC_ASSERT(offsetof(VANTO_PRINTER_INFO, byReserved) == 356, "VANTO_PRINTER_INFO.byReserved");

/* ---- The 21 exports ------------------------------------------------------------------------ */
/* Instance. printerName may be null only with VANTO_FLAG_PROBE (discovery without a queue). */
VANTO_API HVANTO Initialize(const char16_t* printerName, uint32_t dwFlags);
VANTO_API VANTO_BOOL Release(HVANTO hInstance);

/* Discovery conditions and run. */
VANTO_API VANTO_BOOL SetSubnetAddress(HVANTO hInstance, const char16_t* networkAddress, const char16_t* subnetMask);
VANTO_API VANTO_BOOL SetContextName(HVANTO hInstance, const char16_t* deviceName);
VANTO_API VANTO_BOOL SetContextIPRANGE(HVANTO hInstance, const char16_t* startAddress, const char16_t* endAddress);
VANTO_API VANTO_BOOL SetContextIPADR(HVANTO hInstance, const char16_t* address);
VANTO_API VANTO_BOOL SetProbeMode(HVANTO hInstance, uint32_t dwProbeType, uint32_t dwParam1, uint32_t dwParam2,
                                  uint32_t dwParam3, uint32_t dwParam4, uint32_t dwParam5, uint32_t dwParam6);
VANTO_API VANTO_BOOL ProbePrinter(HVANTO hInstance, const char16_t* text);
VANTO_API VANTO_BOOL StopProbe(HVANTO hInstance);
VANTO_API SBIProbeResult* GetProbeResult(HVANTO hInstance);

/* Printer information: status exports. */
VANTO_API int32_t CheckModelNameHasChanged(HVANTO hInstance);
VANTO_API int32_t UpdatePrinterInfo(HVANTO hInstance, uint64_t llElementBit, uint32_t dwOption);
VANTO_API int32_t UpdateCFGXFile(HVANTO hInstance, uint64_t llElementBit, uint32_t dwOption);

/* Printer information: single values. The pointer-sized and 32-bit "ignored" arguments are kept
 * for the callers' binary interface and not read. */
VANTO_API VANTO_BOOL GetDWORDValue(HVANTO hInstance, uint32_t enumDWID, uintptr_t ignored, uint32_t* pdwValue);
VANTO_API VANTO_BOOL GetStringValueW(HVANTO hInstance, uint32_t enumSZID, uintptr_t ignored, char16_t* pszBuffer,
                                     uint32_t cchBuffer);
VANTO_API int32_t GetStructValue(HVANTO hInstance, uint32_t enumSTID, uint32_t dwParam, void* pBuffer,
                                 uint32_t* pcbBuffer);
VANTO_API VANTO_BOOL SetDWORDValue(HVANTO hInstance, uint32_t enumDWID, uint32_t ignored, uint32_t dwValue);
VANTO_API VANTO_BOOL SetStringValueW(HVANTO hInstance, uint32_t enumSZID, uintptr_t ignored, const char16_t* pszValue);
VANTO_API VANTO_BOOL SetStructValue(HVANTO hInstance, uint32_t enumSTID, uint32_t dwParam, const void* pRecord);

/* Print jobs of the instance's queue. */
VANTO_API VANTO_BOOL PrintJobsExists(HVANTO hInstance);
VANTO_API VANTO_BOOL DeletePrintJobs(HVANTO hInstance);

/* Pointer types of the exports, for callers that load the library at run time. */
typedef HVANTO (*PFN_VANTO_Initialize)(const char16_t*, uint32_t);
typedef VANTO_BOOL (*PFN_VANTO_Release)(HVANTO);
typedef VANTO_BOOL (*PFN_VANTO_SetSubnetAddress)(HVANTO, const char16_t*, const char16_t*);
typedef VANTO_BOOL (*PFN_VANTO_SetContextName)(HVANTO, const char16_t*);
typedef VANTO_BOOL (*PFN_VANTO_SetContextIPRANGE)(HVANTO, const char16_t*, const char16_t*);
typedef VANTO_BOOL (*PFN_VANTO_SetContextIPADR)(HVANTO, const char16_t*);
typedef VANTO_BOOL (*PFN_VANTO_SetProbeMode)(HVANTO, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                             uint32_t);
typedef VANTO_BOOL (*PFN_VANTO_ProbePrinter)(HVANTO, const char16_t*);
typedef VANTO_BOOL (*PFN_VANTO_StopProbe)(HVANTO);
typedef SBIProbeResult* (*PFN_VANTO_GetProbeResult)(HVANTO);
typedef int32_t (*PFN_VANTO_CheckModelNameHasChanged)(HVANTO);
typedef int32_t (*PFN_VANTO_UpdatePrinterInfo)(HVANTO, uint64_t, uint32_t);
typedef int32_t (*PFN_VANTO_UpdateCFGXFile)(HVANTO, uint64_t, uint32_t);
typedef VANTO_BOOL (*PFN_VANTO_GetDWORDValue)(HVANTO, uint32_t, uintptr_t, uint32_t*);
typedef VANTO_BOOL (*PFN_VANTO_GetStringValueW)(HVANTO, uint32_t, uintptr_t, char16_t*, uint32_t);
typedef int32_t (*PFN_VANTO_GetStructValue)(HVANTO, uint32_t, uint32_t, void*, uint32_t*);
typedef VANTO_BOOL (*PFN_VANTO_SetDWORDValue)(HVANTO, uint32_t, uint32_t, uint32_t);
typedef VANTO_BOOL (*PFN_VANTO_SetStringValueW)(HVANTO, uint32_t, uintptr_t, const char16_t*);
typedef VANTO_BOOL (*PFN_VANTO_SetStructValue)(HVANTO, uint32_t, uint32_t, const void*);
typedef VANTO_BOOL (*PFN_VANTO_PrintJobsExists)(HVANTO);
typedef VANTO_BOOL (*PFN_VANTO_DeletePrintJobs)(HVANTO);

#endif /* VANTO_H */
