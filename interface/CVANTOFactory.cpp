// Creators of the discovery and printer-information objects.
//
// The discovery object is not part of the library yet: its creator reports that it cannot be
// created, which makes Initialize with flag bit 0 fail cleanly. The printer-information object is
// made and initialised here; a failed initialisation gives null (the object logs why).
#include "interface/CVANTOFactory.h"

#include "common/BILogging.h"
#include "printerinfo/CBIPrinterInfo.h"

#include <memory>

namespace {

void DestroyBIPrinterInfo(CBIPrinterInfo* pInfo) { std::default_delete<CBIPrinterInfo>()(pInfo); }

}  // namespace

CProbePtr CreateProbe(BIInfo* /*pBIInfo*/) {
    BI_LOG("#CProbe is not available in this library.\n");
    return CProbePtr(nullptr, nullptr);
}

CBIPrinterInfoPtr CreateBIPrinterInfo(BIInfo* pBIInfo, DWORD dwFlags) {
    CBIPrinterInfoPtr info(new CBIPrinterInfo(), DestroyBIPrinterInfo);
    if (!info->Initialize(pBIInfo, dwFlags)) return CBIPrinterInfoPtr(nullptr, nullptr);
    return info;
}
