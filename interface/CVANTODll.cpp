// CVANTODll: the 21 exported functions of the library.
//
// Each export logs its own name, checks the handle and forwards to the instance. A handle is the
// address of a CVANTO made by Initialize; the library keeps the set of live instances and treats
// any other value (null, never issued, already released) as no instance, so a stale or foreign
// handle gives the failure value instead of touching freed memory. No exception leaves here.
#include "vanto.h"

#include "common/BILogging.h"
#include "interface/CVANTO.h"

#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

class CInstanceTable {
public:
    void Add(const CVANTO* instance) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_live.insert(instance);
    }
    // Removes the instance; FALSE when it was not live.
    bool Remove(const CVANTO* instance) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_live.erase(instance) != 0;
    }
    bool Contains(const CVANTO* instance) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_live.count(instance) != 0;
    }

private:
    std::mutex m_mutex;
    std::unordered_set<const CVANTO*> m_live;
};

CInstanceTable& Instances() {
    static CInstanceTable table;
    return table;
}

// The live instance behind a handle, or null.
CVANTO* FromHandle(HVANTO hInstance) {
    auto* instance = reinterpret_cast<CVANTO*>(hInstance);
    if (instance == nullptr || !Instances().Contains(instance)) return nullptr;
    return instance;
}

// The caller's 32-bit counts as the library's DWORD (uint32_t here, unsigned long on Windows:
// both 32 bits).
static_assert(sizeof(DWORD) == sizeof(uint32_t));
DWORD* AsDword(uint32_t* value) { return reinterpret_cast<DWORD*>(value); }

// Runs an export's body on a live instance; the failure value for no instance or an exception.
template <typename Result, typename Body>
Result Forward(HVANTO hInstance, Result failure, Body body) noexcept {
    try {
        CVANTO* instance = FromHandle(hInstance);
        if (instance == nullptr) return failure;
        return body(*instance);
    } catch (...) {
        return failure;
    }
}

}  // namespace

HVANTO Initialize(const char16_t* printerName, uint32_t dwFlags) {
    BI_LOG("CVANTODll::Initialize\n");
    try {
        auto instance = std::make_unique<CVANTO>();
        if (!instance->Initialize(printerName, dwFlags)) {
            instance->Release();
            return nullptr;
        }
        Instances().Add(instance.get());
        return reinterpret_cast<HVANTO>(instance.release());
    } catch (...) {
        return nullptr;
    }
}

BOOL Release(HVANTO hInstance) {
    BI_LOG("CVANTODll::Release\n");
    try {
        auto* raw = reinterpret_cast<CVANTO*>(hInstance);
        if (raw == nullptr || !Instances().Remove(raw)) return FALSE;
        std::unique_ptr<CVANTO> instance(raw);
        instance->Release();
        instance.reset();
    } catch (...) {
        return FALSE;
    }
    BI_LOG("Release Objects of BILogging.\n");
    BILogging::End();
    return TRUE;
}

BOOL SetSubnetAddress(HVANTO hInstance, const char16_t* networkAddress, const char16_t* subnetMask) {
    BI_LOG("CVANTODll::SetSubnetAddress\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.SetSubnetAddress(networkAddress, subnetMask); });
}

BOOL SetContextName(HVANTO hInstance, const char16_t* deviceName) {
    BI_LOG("CVANTODll::SetContextName\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.SetContextName(deviceName); });
}

BOOL SetContextIPRANGE(HVANTO hInstance, const char16_t* startAddress, const char16_t* endAddress) {
    BI_LOG("CVANTODll::SetContextIPRANGE\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.SetContextIPRANGE(startAddress, endAddress); });
}

BOOL SetContextIPADR(HVANTO hInstance, const char16_t* address) {
    BI_LOG("CVANTODll::SetContextIPADR\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.SetContextIPADR(address); });
}

BOOL SetProbeMode(HVANTO hInstance, uint32_t dwProbeType, uint32_t dwParam1, uint32_t dwParam2, uint32_t dwParam3,
                  uint32_t dwParam4, uint32_t dwParam5, uint32_t dwParam6) {
    BI_LOG("CVANTODll::SetProbeMode\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) {
        return v.SetProbeMode(dwProbeType, dwParam1, dwParam2, dwParam3, dwParam4, dwParam5, dwParam6);
    });
}

BOOL ProbePrinter(HVANTO hInstance, const char16_t* text) {
    BI_LOG("CVANTODll::ProbePrinter\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.ProbePrinter(text); });
}

BOOL StopProbe(HVANTO hInstance) {
    BI_LOG("CVANTODll::StopProbe\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.StopProbe(); });
}

SBIProbeResult* GetProbeResult(HVANTO hInstance) {
    BI_LOG("CVANTODll::GetProbeResult\n");
    return Forward(hInstance, static_cast<SBIProbeResult*>(nullptr), [&](CVANTO& v) { return v.GetProbeResult(); });
}

int32_t CheckModelNameHasChanged(HVANTO hInstance) {
    BI_LOG("CVANTODll::CheckModelNameHasChanged\n");
    return Forward(hInstance, CVANTO::kStatusNoInstance, [&](CVANTO& v) { return v.CheckModelNameHasChanged(); });
}

int32_t UpdatePrinterInfo(HVANTO hInstance, uint64_t llElementBit, uint32_t dwOption) {
    BI_LOG("CVANTODll::UpdatePrinterInfo\n");
    return Forward(hInstance, CVANTO::kStatusNoInstance,
                   [&](CVANTO& v) { return v.UpdatePrinterInfo(llElementBit, dwOption); });
}

int32_t UpdateCFGXFile(HVANTO hInstance, uint64_t llElementBit, uint32_t dwOption) {
    BI_LOG("CVANTODll::UpdateCFGXFile\n");
    return Forward(hInstance, CVANTO::kStatusNoInstance,
                   [&](CVANTO& v) { return v.UpdateCFGXFile(llElementBit, dwOption); });
}

BOOL GetDWORDValue(HVANTO hInstance, uint32_t enumDWID, uintptr_t /*ignored*/, uint32_t* pdwValue) {
    BI_LOG("CVANTODll::GetDWORDValue\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.GetDWORDValue(enumDWID, AsDword(pdwValue)); });
}

BOOL GetStringValueW(HVANTO hInstance, uint32_t enumSZID, uintptr_t /*ignored*/, char16_t* pszBuffer,
                     uint32_t cchBuffer) {
    BI_LOG("CVANTODll::GetStringValueW\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.GetStringValueW(enumSZID, pszBuffer, cchBuffer); });
}

int32_t GetStructValue(HVANTO hInstance, uint32_t enumSTID, uint32_t dwParam, void* pBuffer, uint32_t* pcbBuffer) {
    BI_LOG("CVANTODll::GetStructValue\n");
    return Forward(hInstance, 0, [&](CVANTO& v) { return v.GetStructValue(enumSTID, dwParam, pBuffer, AsDword(pcbBuffer)); });
}

BOOL SetDWORDValue(HVANTO hInstance, uint32_t enumDWID, uint32_t /*ignored*/, uint32_t dwValue) {
    BI_LOG("CVANTODll::SetDWORDValue\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.SetDWORDValue(enumDWID, dwValue); });
}

BOOL SetStringValueW(HVANTO hInstance, uint32_t enumSZID, uintptr_t /*ignored*/, const char16_t* pszValue) {
    BI_LOG("CVANTODll::SetStringValueW\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.SetStringValueW(enumSZID, pszValue); });
}

BOOL SetStructValue(HVANTO hInstance, uint32_t enumSTID, uint32_t dwParam, const void* pRecord) {
    BI_LOG("CVANTODll::SetStructValue\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.SetStructValue(enumSTID, dwParam, pRecord); });
}

BOOL PrintJobsExists(HVANTO hInstance) {
    BI_LOG("CVANTODll::PrintJobsExists\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.PrintJobsExists(); });
}

BOOL DeletePrintJobs(HVANTO hInstance) {
    BI_LOG("CVANTODll::DeletePrintJobs\n");
    return Forward(hInstance, FALSE, [&](CVANTO& v) { return v.DeletePrintJobs(); });
}
