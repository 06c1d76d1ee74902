// CBIProhibitInfo: the prohibit rules of a printer, and the two operations with which the CFGX
// update adds and removes single rules in the driver's configuration file.
//
// The BiDi access reports forbidden pairs: a setting A (kind, value) that cannot be used with a
// setting B. Each pair becomes a prohibit group of two items in the driver's terms (function ID,
// element ID). A model whose row in the model table carries the PCL prohibit flag, on a printer
// that speaks PCL, gets every pair twice instead, once for each of the two QLM/P-R language
// elements, as groups of three items. Page printers ("LP" models) also name the sub paper type of
// a paper-type item, the second paper type that the printer's code stands for.
//
// The object is a short-lived view over the printer-information object's tables and BiDi access.
#pragma once

#include "bidi/CBIDI.h"
#include "cfgx/CCfgxDll.h"
#include "platform/win32.h"
#include "printerinfo/BIStoreData.h"
#include "tables/CBITableData.h"

class CBIProhibitInfo {
public:
    // Either may be null: MakeProhibitInfo then fails.
    CBIProhibitInfo(const CBITableData* pTableData, CBIDI* pBIDI) : m_pTableData(pTableData), m_pBIDI(pBIDI) {}

    // Builds the prohibit set from the BiDi access's forbidden pairs (pSet: out). An empty pair
    // list succeeds and leaves *pSet as it was. 1 on success; 0 without an output set, tables or
    // BiDi access, or when memory runs out, in which case nothing built stays allocated and *pSet
    // is unchanged.
    BOOL MakeProhibitInfo(SBIProhibitSet* pSet, BOOL bPCLSupport, BOOL bLPModel);

    // The item for one side of a pair: capability kind (CAPFUNC_*) and value, in the driver's
    // function and element IDs; bInversion and subelementID 0.
    SBIProhibitItem MakeItem(DWORD dwKind, DWORD dwValue) const;

private:
    // The model flags of the printer's model row; false when the model is not in the table.
    bool GetModelFlags(DWORD* pdwModelFlags) const;

    const CBITableData* m_pTableData;
    CBIDI* m_pBIDI;
};

// Makes element dwElementID of function dwFunctionID available (bEnable) or not, through the
// element's availability attribute; an element made unavailable also gets a prohibit group of
// that one item. 1 on success, 0 when the module refuses either step or pCfgx is null.
BOOL AddProhibitInfo(const CCfgxDll* pCfgx, DWORD dwFunctionID, DWORD dwElementID, BOOL bEnable);

// Handles each of the nCount paper entries whose paper size exists in the file and may be dropped
// from it (attribute flag KD_CFGX_ATTR_FLAG_REMOVABLE_PAPER): when the printer shows the size,
// the one-item prohibit groups of its paper size and output paper size are deleted. Returns
// whether any entry was handled; 0 for a null list or a count below 1.
BOOL DeletePaperSizeProhibitInfo(const CCfgxDll* pCfgx, const SBIPaperEntry* pEntries, int nCount);
