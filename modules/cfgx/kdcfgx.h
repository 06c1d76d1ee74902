/* kdcfgx.h: the C interface of the driver's CFGX module (the UI module named by the driver's data
 * file, [CommonDrvInfo] "UIModule"; VUD3CFGX.DLL in the sample driver).
 *
 * The module edits one configuration (CFX) file per session: the printer driver's functions
 * (paper size, quality, input bin, ...), their elements (A4, Fast, Tray 1, ...) and value limits,
 * the defaults, the tags of the driver's logical printer data, and the prohibit groups (element
 * combinations the driver must refuse). A session starts with KD_CFGXInitEx (or KD_CFGXInit),
 * is edited by the other calls, written out with KD_CFGXSave and ended with KD_CFGXExit.
 *
 * All 31 functions have C linkage and are exported by name. Results are int32_t: KD_CFGX_OK (0)
 * for success and a negative KD_CFGX_ERR_* code for failure, except the two status queries,
 * which answer a status (>= 0) on success. Text is UTF-16 (the type that WCHAR is on both
 * platforms), zero-terminated. Every argument is checked: an unknown handle, a null pointer, an
 * unknown function, element, attribute or tag ID, or a value out of range gives a negative
 * result and changes nothing. The file format is described in modules/cfgx/README.md.
 */
#ifndef KDCFGX_H
#define KDCFGX_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#include "vanto.h" /* VANTO_PRINTER_INFO */

#ifdef __cplusplus
#define KDCFGX_EXTERN_C extern "C"
#else
#define KDCFGX_EXTERN_C
#endif
#ifdef _WIN32
/* The module's .def file names the exports. */
#define KDCFGX_API KDCFGX_EXTERN_C
#else
#define KDCFGX_API KDCFGX_EXTERN_C __attribute__((visibility("default")))
#endif

/* A session of the module: opaque, pointer-sized. Handles are never reused within a process, so
 * a handle after KD_CFGXExit (or a made-up one) is refused with KD_CFGX_ERR_BAD_HANDLE. */
typedef struct KD_CFGX_SESSION* HKDCFGX;

/* ---- Results ----------------------------------------------------------------------------------- */
#define KD_CFGX_OK 0
#define KD_CFGX_ERR_BAD_HANDLE (-1)        /* unknown or closed session handle */
#define KD_CFGX_ERR_BAD_ARGUMENT (-2)      /* null pointer, flag not 0 or 1, status or mode unknown */
/* -3 is left free: the library counts a function missing from the module as -3. */
#define KD_CFGX_ERR_MORE_DATA (-4)         /* buffer missing or too small; the size is reported */
#define KD_CFGX_ERR_NO_FUNCTION (-10)      /* no function of that ID in the file */
#define KD_CFGX_ERR_NO_ELEMENT (-11)       /* the function has no element of that ID */
#define KD_CFGX_ERR_NO_ATTRIBUTE (-12)     /* attribute or tag not present, or number out of range */
#define KD_CFGX_ERR_WRONG_KIND (-13)       /* list call on a value function or the reverse */
#define KD_CFGX_ERR_OUT_OF_RANGE (-14)     /* value outside the function's limits, or limits crossed */
#define KD_CFGX_ERR_PROHIBITED (-15)       /* the setting is unavailable or completes a prohibit group */
#define KD_CFGX_ERR_LIMIT (-16)            /* a size cap of the module would be exceeded */
#define KD_CFGX_ERR_NO_SOURCE (-20)        /* no K_*.CFX file of the category in the folder */
#define KD_CFGX_ERR_BAD_FILE (-21)         /* the file is not a well-formed CFX file */
#define KD_CFGX_ERR_FILE_TOO_LARGE (-22)   /* the file exceeds KD_CFGX_MAX_FILE_SIZE */
#define KD_CFGX_ERR_IO (-23)               /* a file could not be read, written or renamed */
#define KD_CFGX_ERR_PRINTER (-24)          /* the queue cannot be found or its data not written */
#define KD_CFGX_ERR_NO_MEMORY (-25)

/* ---- Values ------------------------------------------------------------------------------------ */
/* Printer categories of KD_CFGXInitEx (the "category" of a CFX file). */
#define KD_CFGX_CATEGORY_ERD 0u            /* install-time capability record */
#define KD_CFGX_CATEGORY_INKJET 1u
#define KD_CFGX_CATEGORY_PAGE 2u

/* Status of a function or an element. */
#define KD_CFGX_STATUS_SHOWN 1u
#define KD_CFGX_STATUS_DISABLED 2u         /* shown, but cannot be chosen */
#define KD_CFGX_STATUS_HIDDEN 3u

/* State of a function (KD_CFGXSetFunctionState). */
#define KD_CFGX_STATE_FREE 0u              /* the user may change the setting */
#define KD_CFGX_STATE_LOCKED 1u            /* the setting stays at its default */

/* Element attribute numbers with a meaning to the module (others are kept as they are). */
#define KD_CFGX_ATTR_AVAILABLE 16u         /* 1 available, 0 not (absent: available) */
#define KD_CFGX_ATTR_QUALITY_SUPPORTED 20u /* quality level supported by the install-time record */
#define KD_CFGX_ATTR_NOT_REPORTED 24u      /* 1: the printer does not report this paper */
#define KD_CFGX_ATTR_FLAGS 27u             /* flag word, bits below */
#define KD_CFGX_ATTR_FLAG_OUTPUTBIN_AUTODUP_PAGEORDER 0x00000008u /* output bin: reverse in auto duplex */
#define KD_CFGX_ATTR_FLAG_REMOVABLE_PAPER 0x08000000u /* paper size: dropped when the printer lacks it */
/* Value attribute numbers of value functions. */
#define KD_CFGX_VALUE_MINIMUM 31u
#define KD_CFGX_VALUE_MAXIMUM 32u

/* Update modes of KD_CFGXUpdateREGData. */
#define KD_CFGX_REGUPDATE_FULL 11u         /* the record's values and the saved file's versions */
#define KD_CFGX_REGUPDATE_RECORD_ONLY 12u  /* the record's values only (no file was saved) */
#define KD_CFGX_REGUPDATE_REPLACE 13u      /* as FULL; values the record's mask leaves out are deleted */

/* Caps: larger files, texts and lists are refused. */
#define KD_CFGX_MAX_FILE_SIZE (4u * 1024u * 1024u) /* bytes of a CFX file */
#define KD_CFGX_MAX_VERSION_CHARS 63u      /* UTF-16 units of the version string, without the zero */
#define KD_CFGX_MAX_PROHIBIT_ITEMS 16u     /* items of one prohibit group */

#pragma pack(push, 1)
/* One item of a prohibit group (16 bytes): the group forbids the combination of all its items.
 * An item holds when the function's setting is the element (bInversion 0) or is not (1);
 * a non-zero subelementID is a second element for which the item also holds. */
typedef struct KD_CFGX_PROHIBIT_ITEM {
    uint32_t functionID;   /* 0 */
    uint32_t elementID;    /* 4 */
    uint32_t bInversion;   /* 8: 0 or 1 */
    uint32_t subelementID; /* 12: 0 for none */
} KD_CFGX_PROHIBIT_ITEM;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(KD_CFGX_PROHIBIT_ITEM) == 16, "KD_CFGX_PROHIBIT_ITEM is 16 bytes");
#else
_Static_assert(sizeof(KD_CFGX_PROHIBIT_ITEM) == 16, "KD_CFGX_PROHIBIT_ITEM is 16 bytes");
#endif

/* ---- Sessions ------------------------------------------------------------------------------------ */
/* Opens the CFX file at pszCfxFile (a path) as a session; *phCfgx (out) receives the handle. */
KDCFGX_API int32_t KD_CFGXInit(HKDCFGX* phCfgx, const char16_t* pszCfxFile);
/* Opens the K_*.CFX file of folder pszSourceFolder whose category is dwCategory
 * (KD_CFGX_CATEGORY_*) for the queue pszQueueName; pszVifPath is the driver's data file.
 * *phCfgx (out) receives the handle. */
KDCFGX_API int32_t KD_CFGXInitEx(HKDCFGX* phCfgx, const char16_t* pszVifPath, const char16_t* pszSourceFolder,
                                 const char16_t* pszQueueName, uint32_t dwCategory);
/* Ends the session and frees it; unsaved changes are dropped. */
KDCFGX_API int32_t KD_CFGXExit(HKDCFGX hCfgx);
/* Writes the edited file atomically: into the folder pszDestination under the source's file
 * name, or to the file pszDestination when that is not an existing folder. A failed save leaves
 * any earlier file of that name whole. */
KDCFGX_API int32_t KD_CFGXSave(HKDCFGX hCfgx, const char16_t* pszDestination);

/* ---- Defaults and settings ----------------------------------------------------------------------- */
/* Makes dwElementID (for a value function: the value) the default of dwFunctionID.
 * Flags, each 0 or 1: dwSetDefault 1 = it becomes the default; dwLock 1 = the function is locked
 * at it (0 leaves the lock); dwSelect 1 = it also becomes the current setting; dwCheckAvailable
 * 1 = refuse an element that is unavailable (attribute 16 is 0, or a prohibit group of that one
 * item forbids it). */
KDCFGX_API int32_t KD_CFGXSetDefault(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                     uint32_t dwSetDefault, uint32_t dwLock, uint32_t dwSelect,
                                     uint32_t dwCheckAvailable);
/* Takes the defaults that a DEVMODEW record (pDevmode, cbDevmode bytes, at least its public part
 * of 220 bytes) selects with its dmFields: orientation, paper size, copies, default source,
 * colour, duplex, collate and media type. */
KDCFGX_API int32_t KD_CFGXSetDefaultByDevmode(HKDCFGX hCfgx, const void* pDevmode, uint32_t cbDevmode);
/* The current setting of a function (its element, or for a value function its value); it starts
 * at the default. *pdwSetting (out). */
KDCFGX_API int32_t KD_CFGXGetControlState(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t* pdwSetting);
/* Changes the current setting, refusing (KD_CFGX_ERR_PROHIBITED) a setting that is unavailable or
 * completes a prohibit group with the other current settings. */
KDCFGX_API int32_t KD_CFGXSetControlState(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwSetting);
/* Changes the current setting without the checks of KD_CFGXSetControlState. */
KDCFGX_API int32_t KD_CFGXSetControlStateOnly(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwSetting);
/* Locks (KD_CFGX_STATE_LOCKED) or frees (KD_CFGX_STATE_FREE) a function. */
KDCFGX_API int32_t KD_CFGXSetFunctionState(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwState);

/* ---- Versions ------------------------------------------------------------------------------------ */
/* The file's version string. *pcchVersion (in/out): the buffer's size in UTF-16 units; receives
 * the size needed with the zero. A null or short buffer gives KD_CFGX_ERR_MORE_DATA. */
KDCFGX_API int32_t KD_CFGXGetVersionString(HKDCFGX hCfgx, char16_t* pszVersion, uint32_t* pcchVersion);
/* Sets the version string (at most KD_CFGX_MAX_VERSION_CHARS units, printable text). */
KDCFGX_API int32_t KD_CFGXSetVersionString(HKDCFGX hCfgx, const char16_t* pszVersion);
/* Gives the file a new custom version: one above both its own and the queue's last one (printer
 * data "KDCFGXCustomVersion"), and records it there. hPrinter: an open handle of the queue. */
KDCFGX_API int32_t KD_CFGXSetCustomVersionAuto(HKDCFGX hCfgx, void* hPrinter);
KDCFGX_API int32_t KD_CFGXGetCustomVersion(HKDCFGX hCfgx, uint32_t* pdwCustomVersion);
KDCFGX_API int32_t KD_CFGXSetCustomVersion(HKDCFGX hCfgx, uint32_t dwCustomVersion);

/* ---- Registry data and compiled files ------------------------------------------------------------ */
/* Writes what the driver needs from the printer information record into the queue's printer
 * data (see README.md). dwUpdateMode: KD_CFGX_REGUPDATE_*; pPrinterInfo: dwRecordCount records
 * (only 1 is accepted). */
KDCFGX_API int32_t KD_CFGXUpdateREGData(HKDCFGX hCfgx, void* hPrinter, uint32_t dwUpdateMode,
                                        const VANTO_PRINTER_INFO* pPrinterInfo, uint32_t dwRecordCount);
/* Deletes the driver's compiled configuration files (K_*.CFB) of the queue from its work folder. */
KDCFGX_API int32_t KD_CFGXDeleteBinFiles(void* hPrinter);

/* ---- Functions and elements ---------------------------------------------------------------------- */
/* Status queries answer the status (KD_CFGX_STATUS_*) or a negative code. */
KDCFGX_API int32_t KD_CFGXGetFunctionStatus(HKDCFGX hCfgx, uint32_t dwFunctionID);
KDCFGX_API int32_t KD_CFGXSetFunctionStatus(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwStatus);
KDCFGX_API int32_t KD_CFGXGetFunctionElementStatus(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID);
KDCFGX_API int32_t KD_CFGXSetFunctionElementStatus(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                                   uint32_t dwStatus);
/* Attributes by number (0 to 65535). A Get of an attribute the function or element does not
 * carry gives KD_CFGX_ERR_NO_ATTRIBUTE; a Set adds it. *pdwValue (out). */
KDCFGX_API int32_t KD_CFGXGetFunctionAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                               uint32_t* pdwValue);
KDCFGX_API int32_t KD_CFGXSetFunctionAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                               uint32_t dwValue);
KDCFGX_API int32_t KD_CFGXGetFunctionElementAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                                      uint32_t dwAttribute, uint32_t* pdwValue);
KDCFGX_API int32_t KD_CFGXSetFunctionElementAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwElementID,
                                                      uint32_t dwAttribute, uint32_t dwValue);
/* Limits of a value function: dwAttribute KD_CFGX_VALUE_MINIMUM or KD_CFGX_VALUE_MAXIMUM. A Set
 * that would put the minimum above the maximum is refused; a default outside the new limits is
 * moved to the nearest limit. *plValue (out). */
KDCFGX_API int32_t KD_CFGXGetFunctionValueAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                                    int32_t* plValue);
KDCFGX_API int32_t KD_CFGXSetFunctionValueAttribute(HKDCFGX hCfgx, uint32_t dwFunctionID, uint32_t dwAttribute,
                                                    int32_t lValue);

/* ---- Logical printer data tags ------------------------------------------------------------------- */
/* Tags are 32-bit words by tag ID; Get of a tag the file lacks gives KD_CFGX_ERR_NO_ATTRIBUTE, Set
 * adds it. *plValue (out). */
KDCFGX_API int32_t KD_CFGXGetLogPrinterData(HKDCFGX hCfgx, uint32_t dwTagID, int32_t* plValue);
KDCFGX_API int32_t KD_CFGXSetLogPrinterData(HKDCFGX hCfgx, uint32_t dwTagID, int32_t lValue);

/* ---- Prohibit groups ----------------------------------------------------------------------------- */
/* Adds the group of dwCount items (1 to KD_CFGX_MAX_PROHIBIT_ITEMS); every item must name an
 * element of a list function. A group equal to one already there (the same items in any order)
 * is not added twice. dwReserved must be 0. */
KDCFGX_API int32_t KD_CFGXAddProhibitData(HKDCFGX hCfgx, const KD_CFGX_PROHIBIT_ITEM* pItems, uint32_t dwCount,
                                          uint32_t dwReserved);
/* Deletes every group equal to the dwCount items (compared by function, element and inversion,
 * in any order); success also when there was none. */
KDCFGX_API int32_t KD_CFGXDeleteProhibitData(HKDCFGX hCfgx, const KD_CFGX_PROHIBIT_ITEM* pItems,
                                             uint32_t dwCount);

/* ---- Pointer types, for callers that resolve the functions at run time --------------------------- */
typedef int32_t (*PFN_KD_CFGXInit)(HKDCFGX*, const char16_t*);
typedef int32_t (*PFN_KD_CFGXInitEx)(HKDCFGX*, const char16_t*, const char16_t*, const char16_t*, uint32_t);
typedef int32_t (*PFN_KD_CFGXExit)(HKDCFGX);
typedef int32_t (*PFN_KD_CFGXSave)(HKDCFGX, const char16_t*);
typedef int32_t (*PFN_KD_CFGXSetDefault)(HKDCFGX, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXSetDefaultByDevmode)(HKDCFGX, const void*, uint32_t);
typedef int32_t (*PFN_KD_CFGXGetControlState)(HKDCFGX, uint32_t, uint32_t*);
typedef int32_t (*PFN_KD_CFGXSetControlState)(HKDCFGX, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXSetControlStateOnly)(HKDCFGX, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXSetFunctionState)(HKDCFGX, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXGetVersionString)(HKDCFGX, char16_t*, uint32_t*);
typedef int32_t (*PFN_KD_CFGXSetVersionString)(HKDCFGX, const char16_t*);
typedef int32_t (*PFN_KD_CFGXSetCustomVersionAuto)(HKDCFGX, void*);
typedef int32_t (*PFN_KD_CFGXGetCustomVersion)(HKDCFGX, uint32_t*);
typedef int32_t (*PFN_KD_CFGXSetCustomVersion)(HKDCFGX, uint32_t);
typedef int32_t (*PFN_KD_CFGXUpdateREGData)(HKDCFGX, void*, uint32_t, const VANTO_PRINTER_INFO*, uint32_t);
typedef int32_t (*PFN_KD_CFGXDeleteBinFiles)(void*);
typedef int32_t (*PFN_KD_CFGXGetFunctionStatus)(HKDCFGX, uint32_t);
typedef int32_t (*PFN_KD_CFGXSetFunctionStatus)(HKDCFGX, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXGetFunctionElementStatus)(HKDCFGX, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXSetFunctionElementStatus)(HKDCFGX, uint32_t, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXGetFunctionAttribute)(HKDCFGX, uint32_t, uint32_t, uint32_t*);
typedef int32_t (*PFN_KD_CFGXSetFunctionAttribute)(HKDCFGX, uint32_t, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXGetFunctionElementAttribute)(HKDCFGX, uint32_t, uint32_t, uint32_t, uint32_t*);
typedef int32_t (*PFN_KD_CFGXSetFunctionElementAttribute)(HKDCFGX, uint32_t, uint32_t, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXGetFunctionValueAttribute)(HKDCFGX, uint32_t, uint32_t, int32_t*);
typedef int32_t (*PFN_KD_CFGXSetFunctionValueAttribute)(HKDCFGX, uint32_t, uint32_t, int32_t);
typedef int32_t (*PFN_KD_CFGXGetLogPrinterData)(HKDCFGX, uint32_t, int32_t*);
typedef int32_t (*PFN_KD_CFGXSetLogPrinterData)(HKDCFGX, uint32_t, int32_t);
typedef int32_t (*PFN_KD_CFGXAddProhibitData)(HKDCFGX, const KD_CFGX_PROHIBIT_ITEM*, uint32_t, uint32_t);
typedef int32_t (*PFN_KD_CFGXDeleteProhibitData)(HKDCFGX, const KD_CFGX_PROHIBIT_ITEM*, uint32_t);

#endif /* KDCFGX_H */
