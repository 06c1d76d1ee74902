// Creators of the discovery and printer-information objects.
//
// Neither class is part of the library yet: both creators report that the object cannot be
// created, which makes Initialize with flag bit 0 or 1 (and the conversion done by
// UpdatePrinterInfo) fail cleanly. This file is where they are constructed once they exist.
#include "interface/CVANTOFactory.h"

#include "common/BILogging.h"

CProbePtr CreateProbe(BIInfo* /*pBIInfo*/) {
    BI_LOG("#CProbe is not available in this library.\n");
    return CProbePtr(nullptr, nullptr);
}

CBIPrinterInfoPtr CreateBIPrinterInfo(BIInfo* /*pBIInfo*/, DWORD /*dwFlags*/) {
    BI_LOG("#CBIPrinterInfo is not available in this library.\n");
    return CBIPrinterInfoPtr(nullptr, nullptr);
}
