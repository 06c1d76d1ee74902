// CBIDI_BP: the model, language, memory, option-unit, tray and paper questions are not yet
// asked of the printer by this build. Each refuses with a "#" log line and the failure result
// of its operation, so an update that needs one of them ends as a failed printer query instead
// of storing made-up values. This file goes away when those questions are implemented.
#include "bidi/CBIDI_BP.h"

#include "common/BILogging.h"

namespace {

constexpr int kQueryFailed = -2;  // a printer query failed

int Refuse(const char* pOperation) {
    BI_LOG("#%s is not answered by the live printer access.\n", pOperation);
    return kQueryFailed;
}

}  // namespace

DWORD CBIDI_BP::GetSupportPDLBits() {
    Refuse("CBIDI_BP::GetSupportPDLBits");
    return 0;
}

int CBIDI_BP::GetModelInfoBits(DWORD*) { return Refuse("CBIDI_BP::GetModelInfoBits"); }

DWORD CBIDI_BP::GetInstalledMemory() {
    Refuse("CBIDI_BP::GetInstalledMemory");
    return 0;
}

int CBIDI_BP::GetOptionUnitBits(DWORD*) { return Refuse("CBIDI_BP::GetOptionUnitBits"); }
int CBIDI_BP::GetOptionUnitBitsStorage(DWORD*) { return Refuse("CBIDI_BP::GetOptionUnitBitsStorage"); }
int CBIDI_BP::GetOptionUnitBitsDuplexUnit(DWORD*) { return Refuse("CBIDI_BP::GetOptionUnitBitsDuplexUnit"); }
int CBIDI_BP::GetOptionUnitBitsFinisher(DWORD*) { return Refuse("CBIDI_BP::GetOptionUnitBitsFinisher"); }
int CBIDI_BP::GetOptionUnitBitsConfidentialJobFunction(DWORD*) {
    return Refuse("CBIDI_BP::GetOptionUnitBitsConfidentialJobFunction");
}
int CBIDI_BP::GetCassetteInfo(BICassetteList*) { return Refuse("CBIDI_BP::GetCassetteInfo"); }

BIStringList* CBIDI_BP::GetSupportPaperSize(DWORD) {
    Refuse("CBIDI_BP::GetSupportPaperSize");
    return nullptr;
}

BIStringList* CBIDI_BP::GetSupportPaperType() {
    Refuse("CBIDI_BP::GetSupportPaperType");
    return nullptr;
}

BIStringList* CBIDI_BP::GetPaperDirection() {
    Refuse("CBIDI_BP::GetPaperDirection");
    return nullptr;
}

int CBIDI_BP::GetUserDefMaxMin(VANTO_USERDEF_MAXMIN*) { return Refuse("CBIDI_BP::GetUserDefMaxMin"); }
