// Creators of the discovery and printer-information objects.
//
// Both objects are made and initialised here; a failed initialisation gives null (the object
// logs why).
#include "interface/CVANTOFactory.h"

#include "printerinfo/CBIPrinterInfo.h"
#include "probe/CProbe.h"

#include <memory>

namespace {

void DestroyBIPrinterInfo(CBIPrinterInfo* pInfo) { std::default_delete<CBIPrinterInfo>()(pInfo); }
void DestroyProbe(CProbe* pProbe) { std::default_delete<CProbe>()(pProbe); }

}  // namespace

CProbePtr CreateProbe(BIInfo* pBIInfo) {
    CProbePtr probe(new CProbe(), DestroyProbe);
    if (!probe->Initialize(pBIInfo)) return CProbePtr(nullptr, nullptr);
    return probe;
}

CBIPrinterInfoPtr CreateBIPrinterInfo(BIInfo* pBIInfo, DWORD dwFlags) {
    CBIPrinterInfoPtr info(new CBIPrinterInfo(), DestroyBIPrinterInfo);
    if (!info->Initialize(pBIInfo, dwFlags)) return CBIPrinterInfoPtr(nullptr, nullptr);
    return info;
}
