// CVANTO: the instance (see CVANTO.h). Print-job control is in CVANTOPrintJobs.cpp.
#include "interface/CVANTO.h"

#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "printerinfo/CBIPrinterInfo.h"
#include "probe/CProbe.h"

#include <new>

namespace {

constexpr DWORD kFlagProbe = 0x1;        // create the discovery object
constexpr DWORD kFlagPrinterInfo = 0x2;  // create the printer-information object

// A failed step of Initialize, caught in its one clean-up path.
struct InitializeFailure {};

// The element bits are logged with "%d": their low 32 bits as a signed number.
int LowWordForLog(uint64_t llElementBit) { return static_cast<int>(static_cast<uint32_t>(llElementBit)); }

}  // namespace

CVANTO::CVANTO() : m_pProbe(nullptr, nullptr), m_pBIPrinterInfo(nullptr, nullptr) {}

CVANTO::~CVANTO() {
    m_pProbe.reset();
    m_pBIPrinterInfo.reset();
    m_pBIInfo.reset();
}

BOOL CVANTO::Initialize(LPCWSTR printerName, DWORD dwFlags) {
    BI_LOG("CVANTO::Initialize\n");
    BI_LOG("\tPrinterName : %s\n", BILogging::Narrow(printerName).c_str());
    BI_LOG("\tdwFlag : %d\n", static_cast<int>(dwFlags));
    if ((dwFlags & kFlagProbe) == 0 && printerName == nullptr) return FALSE;

    try {
        if (!m_pBIInfo) {
            auto context = std::make_unique<BIInfo>();
            if (!context->Build(printerName, dwFlags)) throw InitializeFailure();
            m_pBIInfo = std::move(context);
        }
        if ((dwFlags & kFlagProbe) != 0 && !m_pProbe) {
            m_pProbe = CreateProbe(m_pBIInfo.get());
            if (!m_pProbe) {
                BI_LOG("#Failed to initialize CProbe class.\n");
                throw InitializeFailure();
            }
        }
        if ((dwFlags & kFlagPrinterInfo) != 0 && !CreateAutoConfigInstance(m_pBIInfo.get(), dwFlags)) {
            throw InitializeFailure();
        }
        return TRUE;
    } catch (...) {
        BI_LOG("#Failed to alloc memory.\n");
        Release();
        return FALSE;
    }
}

BOOL CVANTO::CreateAutoConfigInstance(BIInfo* pBIInfo, DWORD dwFlags) {
    BI_LOG("CVANTO::CreateAutoConfigInstance\n");
    if (m_pBIPrinterInfo) return TRUE;
    m_pBIPrinterInfo = CreateBIPrinterInfo(pBIInfo, dwFlags);
    if (!m_pBIPrinterInfo) {
        BI_LOG("#Failed to initialize CBIPrinterInfo class.\n");
        return FALSE;
    }
    return TRUE;
}

BOOL CVANTO::Release() {
    BI_LOG("CVANTO::Release\n");
    m_pProbe.reset();
    m_pBIPrinterInfo.reset();
    m_pBIInfo.reset();
    return TRUE;
}

// ---- Discovery ------------------------------------------------------------------------------
// Every operation needs the discovery object with its conditions; without them it returns its
// failure value.

BOOL CVANTO::SetSubnetAddress(LPCWSTR networkAddress, LPCWSTR subnetMask) {
    BI_LOG("CVANTO::SetSubnetAddress\n");
    CProbeMode* mode = m_pProbe ? m_pProbe->GetProbeMode() : nullptr;
    return mode != nullptr ? mode->SetSubnetAddress(networkAddress, subnetMask) : FALSE;
}

BOOL CVANTO::SetContextName(LPCWSTR deviceName) {
    BI_LOG("CVANTO::SetContextName\n");
    CProbeMode* mode = m_pProbe ? m_pProbe->GetProbeMode() : nullptr;
    return mode != nullptr ? mode->SetContextName(deviceName) : FALSE;
}

BOOL CVANTO::SetContextIPRANGE(LPCWSTR startAddress, LPCWSTR endAddress) {
    BI_LOG("CVANTO::SetContextIPRANGE\n");
    CProbeMode* mode = m_pProbe ? m_pProbe->GetProbeMode() : nullptr;
    return mode != nullptr ? mode->SetContextIPRANGE(startAddress, endAddress) : FALSE;
}

// The conditions write this operation's own line ("CVANTO::SetContextIPADR") before the address.
BOOL CVANTO::SetContextIPADR(LPCWSTR address) {
    CProbeMode* mode = m_pProbe ? m_pProbe->GetProbeMode() : nullptr;
    if (mode == nullptr) {
        BI_LOG("CVANTO::SetContextIPADR\n");
        return FALSE;
    }
    return mode->SetContextIPADR(address);
}

BOOL CVANTO::SetProbeMode(DWORD type, DWORD p1, DWORD p2, DWORD p3, DWORD p4, DWORD p5, DWORD p6) {
    BI_LOG("CVANTO::SetProbeMode\n");
    CProbeMode* mode = m_pProbe ? m_pProbe->GetProbeMode() : nullptr;
    return mode != nullptr ? mode->SetProbeMode(static_cast<int>(type), p1, p2, p3, p4, p5, p6) : FALSE;
}

BOOL CVANTO::ProbePrinter(LPCWSTR text) {
    BI_LOG("CVANTO::ProbePrinter\n");
    if (!m_pProbe) return FALSE;
    return m_pProbe->ProbePrinter(text);
}

// May come from another thread while ProbePrinter runs: it only sets the stop event.
BOOL CVANTO::StopProbe() {
    BI_LOG("CVANTO::StopProbe\n");
    if (!m_pProbe) return FALSE;
    m_pProbe->Stop();
    return TRUE;
}

// The results chained through their pNext fields; they stay owned by the discovery object.
SBIProbeResult* CVANTO::GetProbeResult() {
    BI_LOG("CVANTO::GetProbeResult\n");
    if (!m_pProbe) return nullptr;
    return m_pProbe->GetProbeResult();
}

// ---- Printer information --------------------------------------------------------------------
// Every operation needs the printer-information object: without one the status operations return
// -999 and the value operations 0. The CFGX update is not part of the printer-information object
// yet and returns -999.

INT CVANTO::CheckModelNameHasChanged() {
    BI_LOG("CVANTO::CheckModelNameHasChanged\n");
    if (!m_pBIPrinterInfo) return kStatusNoInstance;
    return m_pBIPrinterInfo->CheckModelNameHasChanged();
}

// A discovery instance becomes a printer-information instance for good: the discovery object
// and its results are discarded and a printer-information object is made with flags 0.
INT CVANTO::UpdatePrinterInfo(uint64_t llElementBit, DWORD dwOption) {
    BI_LOG("CVANTO::UpdatePrinterInfo\n");
    BI_LOG("llElementBit: %d\n", LowWordForLog(llElementBit));
    BI_LOG("dwOption: %x\n", static_cast<unsigned>(dwOption));
    if (m_pProbe) {
        m_pProbe.reset();
        m_pBIPrinterInfo.reset();
        if (!CreateAutoConfigInstance(m_pBIInfo.get(), 0)) return kStatusNoInstance;
    }
    if (!m_pBIPrinterInfo) return kStatusNoInstance;
    return m_pBIPrinterInfo->UpdatePrinterInfo(llElementBit, dwOption);
}

INT CVANTO::UpdateCFGXFile(uint64_t llElementBit, DWORD dwOption) {
    BI_LOG("CVANTO::UpdateCFGXFile\n");
    BI_LOG("llElementBit: %d\n", LowWordForLog(llElementBit));
    BI_LOG("dwOption: %x\n", static_cast<unsigned>(dwOption));
    if (!m_pBIPrinterInfo) return kStatusNoInstance;
    return m_pBIPrinterInfo->UpdateCFGXFile(llElementBit, dwOption);
}

// The value operations need a printer-information object that is ready; each logs the
// printer-information line before forwarding.

BOOL CVANTO::GetDWORDValue(DWORD enumDWID, DWORD* pdwValue) {
    BI_LOG("CVANTO::GetDWORDValue\n");
    if (!m_pBIPrinterInfo || !m_pBIPrinterInfo->IsReady()) return FALSE;
    BI_LOG("CBIPrinterInfo::GetDWORDValue enumDWID=%d\n", static_cast<int>(enumDWID));
    return m_pBIPrinterInfo->GetDWORDValue(enumDWID, pdwValue);
}

// Only the model name (string ID 10) exists; any other ID leaves the buffer untouched.
BOOL CVANTO::GetStringValueW(DWORD enumSZID, LPWSTR buffer, DWORD cchBuffer) {
    BI_LOG("CVANTO::GetStringValueW\n");
    if (!m_pBIPrinterInfo) return FALSE;
    BI_LOG("CBIPrinterInfo::GetStringValueW enumSZID=%d\n", static_cast<int>(enumSZID));
    if (enumSZID != SZID_ModelName || buffer == nullptr) return FALSE;
    return m_pBIPrinterInfo->GetModelName(buffer, cchBuffer);
}

INT CVANTO::GetStructValue(DWORD enumSTID, DWORD dwParam, void* buffer, DWORD* pcbBuffer) {
    BI_LOG("CVANTO::GetStructValue\n");
    if (!m_pBIPrinterInfo) return 0;
    return m_pBIPrinterInfo->GetStructValue(enumSTID, dwParam, buffer, pcbBuffer);
}

BOOL CVANTO::SetDWORDValue(DWORD enumDWID, DWORD dwValue) {
    BI_LOG("CVANTO::SetDWORDValue\n");
    if (!m_pBIPrinterInfo) return FALSE;
    return m_pBIPrinterInfo->SetDWORDValue(enumDWID, dwValue);
}

BOOL CVANTO::SetStringValueW(DWORD enumSZID, LPCWSTR value) {
    BI_LOG("CVANTO::SetStringValueW\n");
    if (!m_pBIPrinterInfo) return FALSE;
    BI_LOG("CBIPrinterInfo::SetStringValueW enumSZID = %d.\n", static_cast<int>(enumSZID));
    if (enumSZID != SZID_ModelName || value == nullptr) return FALSE;
    return m_pBIPrinterInfo->SetModelName(value);
}

BOOL CVANTO::SetStructValue(DWORD enumSTID, DWORD dwParam, const void* record) {
    BI_LOG("CVANTO::SetStructValue\n");
    if (!m_pBIPrinterInfo) return FALSE;
    BI_LOG("CBIPrinterInfo::SetStructValue enumSTID = %d.\n", static_cast<int>(enumSTID));
    return m_pBIPrinterInfo->SetStructValue(enumSTID, dwParam, record);
}
