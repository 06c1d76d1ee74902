// Creation of an instance's discovery and printer-information objects.
//
// Those objects live in their own folders (probe/, printerinfo/); an instance knows them only
// through the owners below, so that it builds whether or not they are part of the library yet.
// A creator returns null, after logging why, when its object cannot be created or initialised;
// the instance then fails as for any failed sub-object initialisation.
#pragma once

#include "platform/win32.h"

#include <memory>

class BIInfo;
class CProbe;
class CBIPrinterInfo;

using CProbePtr = std::unique_ptr<CProbe, void (*)(CProbe*)>;
using CBIPrinterInfoPtr = std::unique_ptr<CBIPrinterInfo, void (*)(CBIPrinterInfo*)>;

// The discovery object, initialised with the context (it loads the network transport module).
CProbePtr CreateProbe(BIInfo* pBIInfo);
// The printer-information object, initialised with the context and the whole flag word.
CBIPrinterInfoPtr CreateBIPrinterInfo(BIInfo* pBIInfo, DWORD dwFlags);
