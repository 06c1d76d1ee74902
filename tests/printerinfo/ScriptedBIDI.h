// ScriptedBIDI: a printer access for tests of the code that reads one. It answers a set printer
// category, model name and forbidden-pair list; every printer question fails.
#pragma once

#include "bidi/CBIDI.h"

#include <string>
#include <vector>

class ScriptedBIDI : public CBIDI {
public:
    DWORD dwCategory = PRINTER_CATEGORY_PAGE;
    std::u16string strModelName;  // empty: no model name
    void SetForbiddenPairs(std::vector<DisableCombination> pairs) { m_vecForbiddenPairs = std::move(pairs); }

    int Initialize(BIInfo*, DWORD) override { return 1; }
    int Open(LPCWSTR) override { return 0; }
    int Close() override { return 1; }
    const WCHAR* GetModelName() override { return strModelName.empty() ? nullptr : strModelName.c_str(); }
    DWORD GetSupportPDLBits() override { return 0; }
    int GetModelInfoBits(DWORD*) override { return 0; }
    DWORD GetInstalledMemory() override { return 0; }
    int GetOptionUnitBits(DWORD*) override { return 0; }
    int GetOptionUnitBitsStorage(DWORD*) override { return 0; }
    int GetOptionUnitBitsDuplexUnit(DWORD*) override { return 0; }
    int GetOptionUnitBitsFinisher(DWORD*) override { return 0; }
    int GetOptionUnitBitsConfidentialJobFunction(DWORD*) override { return 0; }
    int GetCassetteInfo(BICassetteList*) override { return 0; }
    BIStringList* GetSupportPaperSize(DWORD) override { return nullptr; }
    BIStringList* GetSupportPaperType() override { return nullptr; }
    BIStringList* GetPaperDirection() override { return nullptr; }
    int GetUserDefMaxMin(VANTO_USERDEF_MAXMIN*) override { return 0; }
    DWORD GetPrinterCategory() override { return dwCategory; }
    DWORD GetMaxCopies() override { return 0; }
    DWORD GetBaseResolution() override { return 0; }
    int GetDefaultSetting(BIDefaultSettings*) override { return 0; }
};
