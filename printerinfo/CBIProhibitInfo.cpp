// CBIProhibitInfo: see CBIProhibitInfo.h.
#include "printerinfo/CBIProhibitInfo.h"

#include "bidi/CPrintCapabilitySet.h"
#include "cfgx/CfgxIDs.h"
#include "common/BILogging.h"

#include <algorithm>
#include <new>

namespace {

// Model flag: the printer's pairs are ruled once per QLM/P-R language element.
constexpr DWORD kModelFlagPCLProhibit = 0x100;
// Characters of the printer's model name that take part in the model lookup.
constexpr size_t kModelNameChars = 64;

// The language element of the third item of each PCL pass.
constexpr DWORD kPCLPassElements[] = {CFGX_ELEM_PDL_QLMPR_BASIC, CFGX_ELEM_PDL_QLMPR_ADVANCE};

// Quality bits of the capability set and the quality-mode element each stands for.
constexpr DWORD kQualityBitFast = 0x1;
constexpr DWORD kQualityBitStandard = 0x2;
constexpr DWORD kQualityBitHigh = 0x4;

DWORD QualityElement(DWORD dwQualityBit) {
    switch (dwQualityBit) {
    case kQualityBitFast:
        return CFGX_ELEM_QUALITY_FAST;
    case kQualityBitStandard:
        return CFGX_ELEM_QUALITY_STANDARD;
    case kQualityBitHigh:
        return CFGX_ELEM_QUALITY_HIGH;
    default:
        return 0;
    }
}

// A one-item group as the CFGX module takes it.
KD_CFGX_PROHIBIT_ITEM ModuleItem(DWORD dwFunctionID, DWORD dwElementID) {
    return KD_CFGX_PROHIBIT_ITEM{static_cast<uint32_t>(dwFunctionID), static_cast<uint32_t>(dwElementID), 0, 0};
}

}  // namespace

SBIProhibitItem CBIProhibitInfo::MakeItem(DWORD dwKind, DWORD dwValue) const {
    SBIProhibitItem item;
    // The paper lookups take the printer's code as a signed number, as the printer's lists do.
    const LONG lCode = static_cast<LONG>(dwValue);
    switch (dwKind) {
    case CAPFUNC_PAPERSIZE:
        item.functionID = CFGX_FUNC_OUTPUTPAPERSIZE;
        item.elementID = m_pTableData->GetPaperSizeIDByCode(lCode, 0);
        break;
    case CAPFUNC_PAPERTYPE:
        item.functionID = CFGX_FUNC_PAPERTYPE;
        item.elementID = m_pTableData->GetPaperTypeIDByCode(lCode, 0);
        break;
    case CAPFUNC_PAPERSOURCE:
        item.functionID = CFGX_FUNC_INPUTBIN;
        item.elementID = m_pTableData->GetPaperSourceElementID(dwValue);
        break;
    case CAPFUNC_QUALITY:
        item.functionID = CFGX_FUNC_QUALITYMODE;
        item.elementID = QualityElement(dwValue);
        break;
    case CAPFUNC_LAYOUT:
        item.functionID = CFGX_FUNC_BORDERLESS;
        item.elementID = dwValue;
        break;
    default:
        break;  // an unknown kind names nothing: {0, 0}
    }
    return item;
}

bool CBIProhibitInfo::GetModelFlags(DWORD* pdwModelFlags) const {
    const WCHAR* pszModel = m_pBIDI->GetModelName();
    if (pszModel == nullptr) return false;
    WCHAR szModel[kModelNameChars + 1] = {};
    for (size_t i = 0; i < kModelNameChars && pszModel[i] != 0; ++i) szModel[i] = pszModel[i];
    WORD wFeeder = 0;
    return m_pTableData->GetModelInfo(szModel, pdwModelFlags, &wFeeder) != FALSE;
}

// MakeProhibitInfo: the set is built aside and handed over whole, so a failure part-way leaves
// the caller's set as it was and everything built so far is freed with the local set.
BOOL CBIProhibitInfo::MakeProhibitInfo(SBIProhibitSet* pSet, BOOL bPCLSupport, BOOL bLPModel) {
    if (pSet == nullptr || m_pTableData == nullptr || m_pBIDI == nullptr) return FALSE;
    const std::vector<DisableCombination>& pairs = m_pBIDI->GetForbiddenPairs();
    if (pairs.empty()) return TRUE;
    const size_t n = pairs.size();

    try {
        DWORD dwModelFlags = 0;
        const bool bPCLForm = bPCLSupport && GetModelFlags(&dwModelFlags) && (dwModelFlags & kModelFlagPCLProhibit);

        SBIProhibitSet set;
        set.dwKind = SBIProhibitSet::kKindRules;
        if (!bPCLForm) {
            BI_LOG("MakeProhibitInfo Prohibit count = %d\n", static_cast<int>(n));
            set.groups.reserve(n);
            for (const DisableCombination& pair : pairs) {
                SBIProhibitItem a = MakeItem(pair.dwFunc1, pair.dwElement1);
                SBIProhibitItem b = MakeItem(pair.dwFunc2, pair.dwElement2);
                // A page printer's paper-type code may stand for a second paper type as well.
                if (bLPModel) {
                    if (pair.dwFunc1 == CAPFUNC_PAPERTYPE) {
                        a.subelementID = m_pTableData->GetSubPaperTypeID(static_cast<LONG>(pair.dwElement1));
                    } else if (pair.dwFunc2 == CAPFUNC_PAPERTYPE) {
                        b.subelementID = m_pTableData->GetSubPaperTypeID(static_cast<LONG>(pair.dwElement2));
                    }
                }
                SBIProhibitGroup& group = set.groups.emplace_back();
                group.items = {a, b};
                BI_LOG("\tProhibit dwNum=%d\n", static_cast<int>(group.items.size()));
                for (const SBIProhibitItem& it : group.items) {
                    BI_LOG("\tProhibit functionID=%d elementID=%d bInversion=%d subelementID=%d\n",
                           static_cast<int>(it.functionID), static_cast<int>(it.elementID),
                           static_cast<int>(it.bInversion), static_cast<int>(it.subelementID));
                }
            }
        } else {
            BI_LOG("MakeProhibitInfo Prohibit count = %d\n", static_cast<int>(2 * n));
            set.groups.reserve(2 * n);
            for (DWORD dwLanguage : kPCLPassElements) {
                for (const DisableCombination& pair : pairs) {
                    const SBIProhibitItem a = MakeItem(pair.dwFunc1, pair.dwElement1);
                    const SBIProhibitItem b = MakeItem(pair.dwFunc2, pair.dwElement2);
                    SBIProhibitItem language;
                    language.functionID = CFGX_FUNC_PDL_DRVMODE;
                    language.elementID = dwLanguage;
                    SBIProhibitGroup& group = set.groups.emplace_back();
                    group.items = {a, b, language};
                    BI_LOG("\tProhibit dwNum=%d\n", static_cast<int>(group.items.size()));
                    BI_LOG("\tProhibit functionID=%d elementID=%d bInversion=%d\n", static_cast<int>(a.functionID),
                           static_cast<int>(a.elementID), static_cast<int>(a.bInversion));
                    BI_LOG("\tProhibit functionID=%d elementID=%d bInversion=%d\n", static_cast<int>(b.functionID),
                           static_cast<int>(b.elementID), static_cast<int>(b.bInversion));
                }
            }
        }
        *pSet = std::move(set);
        return TRUE;
    } catch (const std::bad_alloc&) {
        BI_LOG("#MakeProhibitInfo out of memory.\n");
        return FALSE;
    }
}

BOOL AddProhibitInfo(const CCfgxDll* pCfgx, DWORD dwFunctionID, DWORD dwElementID, BOOL bEnable) {
    if (pCfgx == nullptr) return FALSE;
    if (pCfgx->SetFunctionElementAttribute(dwFunctionID, dwElementID, KD_CFGX_ATTR_AVAILABLE, bEnable ? 1 : 0) != 0)
        return FALSE;
    if (bEnable) return TRUE;
    const KD_CFGX_PROHIBIT_ITEM item = ModuleItem(dwFunctionID, dwElementID);
    if (pCfgx->AddProhibitData(&item, 1, 0) == KD_CFGX_OK) return TRUE;
    BI_LOG("#Failed to add Prohibit Info fid=%d eid=%d.\n", static_cast<int>(dwFunctionID),
           static_cast<int>(dwElementID));
    return FALSE;
}

BOOL DeletePaperSizeProhibitInfo(const CCfgxDll* pCfgx, const SBIPaperEntry* pEntries, int nCount) {
    if (pCfgx == nullptr || pEntries == nullptr || nCount < 1) return FALSE;
    BOOL bHandled = FALSE;
    for (int i = 0; i < nCount; ++i) {
        const SBIPaperEntry& entry = pEntries[i];
        if (pCfgx->GetFunctionElementStatus(CFGX_FUNC_PAPERSIZE, entry.wID) < 0) continue;
        DWORD dwFlags = 0;
        if (pCfgx->GetFunctionElementAttribute(CFGX_FUNC_PAPERSIZE, entry.wID, KD_CFGX_ATTR_FLAGS, &dwFlags) !=
                KD_CFGX_OK ||
            (dwFlags & KD_CFGX_ATTR_FLAG_REMOVABLE_PAPER) == 0)
            continue;
        if (entry.wShow != 0) {
            const KD_CFGX_PROHIBIT_ITEM paper = ModuleItem(CFGX_FUNC_PAPERSIZE, entry.wID);
            if (pCfgx->DeleteProhibitData(&paper, 1) != KD_CFGX_OK)
                BI_LOG("#Failed to delete Prohibit Info of PaperSize.\n");
            const KD_CFGX_PROHIBIT_ITEM output = ModuleItem(CFGX_FUNC_OUTPUTPAPERSIZE, entry.wID);
            if (pCfgx->DeleteProhibitData(&output, 1) != KD_CFGX_OK)
                BI_LOG("#Failed to delete Prohibit Info of OutputPaperSize.\n");
        }
        bHandled = TRUE;
    }
    return bHandled;
}
