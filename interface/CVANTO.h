// CVANTO: the instance behind a handle of the exported interface.
//
// It owns, each until Release: the printer context (always, built first), the discovery object
// (flag bit 0) and the printer-information object (flag bit 1, or made by UpdatePrinterInfo).
// Every operation logs its name and forwards to one of them; without the object it needs, it
// returns that operation's failure value. An instance has no lock: one caller thread at a time,
// except that StopProbe may come from another thread while ProbePrinter runs.
#pragma once

#include "interface/CVANTOFactory.h"
#include "platform/win32.h"

#include <cstdint>
#include <memory>

struct SBIProbeResult;

class CVANTO {
public:
    // Status of the printer-information operations without a printer-information object.
    static constexpr INT kStatusNoInstance = -999;

    CVANTO();
    ~CVANTO();
    CVANTO(const CVANTO&) = delete;
    CVANTO& operator=(const CVANTO&) = delete;

    // Builds the context and the objects that the flags ask for; on any failure everything
    // built is destroyed and FALSE is returned.
    BOOL Initialize(LPCWSTR printerName, DWORD dwFlags);
    // Destroys the discovery object, the printer-information object and the context. Always TRUE.
    BOOL Release();

    // Discovery (0 without a discovery object).
    BOOL SetSubnetAddress(LPCWSTR networkAddress, LPCWSTR subnetMask);
    BOOL SetContextName(LPCWSTR deviceName);
    BOOL SetContextIPRANGE(LPCWSTR startAddress, LPCWSTR endAddress);
    BOOL SetContextIPADR(LPCWSTR address);
    BOOL SetProbeMode(DWORD type, DWORD p1, DWORD p2, DWORD p3, DWORD p4, DWORD p5, DWORD p6);
    BOOL ProbePrinter(LPCWSTR text);
    BOOL StopProbe();
    SBIProbeResult* GetProbeResult();

    // Printer information (status -999, or 0, without a printer-information object).
    INT CheckModelNameHasChanged();
    INT UpdatePrinterInfo(uint64_t llElementBit, DWORD dwOption);
    INT UpdateCFGXFile(uint64_t llElementBit, DWORD dwOption);
    BOOL GetDWORDValue(DWORD enumDWID, DWORD* pdwValue);
    BOOL GetStringValueW(DWORD enumSZID, LPWSTR buffer, DWORD cchBuffer);
    INT GetStructValue(DWORD enumSTID, DWORD dwParam, void* buffer, DWORD* pcbBuffer);
    BOOL SetDWORDValue(DWORD enumDWID, DWORD dwValue);
    BOOL SetStringValueW(DWORD enumSZID, LPCWSTR value);
    BOOL SetStructValue(DWORD enumSTID, DWORD dwParam, const void* record);

    // Jobs of the context's queue.
    BOOL PrintJobsExists();
    BOOL DeletePrintJobs();

    // The printer context, null before Initialize and after Release.
    BIInfo* GetBIInfo() const { return m_pBIInfo.get(); }

private:
    BOOL CreateAutoConfigInstance(BIInfo* pBIInfo, DWORD dwFlags);

    std::unique_ptr<BIInfo> m_pBIInfo;
    CProbePtr m_pProbe;
    CBIPrinterInfoPtr m_pBIPrinterInfo;
};
