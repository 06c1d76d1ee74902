// CProbe: the search run, the hit callback and the result list.
#include "probe/CProbe.h"

#include "common/BIInfo.h"
#include "common/BILogging.h"
#include "probe/ProbeText.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

namespace {

constexpr DWORD kQuietMs = 3000;          // a search ends this long after its last hit
constexpr DWORD kSysOEMWaitMs = 10000;    // one-address search: the wait for the first hit or the stop
constexpr DWORD kSysOEMAfterHitMs = 3000; // ... and after a hit, for the stop alone

// The hit's device name (at most the copy's bound) in UTF-16; empty without a name.
std::u16string HitName(const SProbeResult& hit) {
    std::u16string name;
    if (hit.pDeviceName == nullptr) return name;
    const void* end = std::memchr(hit.pDeviceName, 0, CDeviceInfo::kMaxTextBytes + 1);
    if (end == nullptr) return name;
    const std::string_view text(hit.pDeviceName, static_cast<size_t>(static_cast<const char*>(end) - hit.pDeviceName));
    if (!ProbeTextToWide(CP_THREAD_ACP, text, name)) name.clear();
    return name;
}

char16_t LowerCase(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

}  // namespace

CProbe::CProbe() = default;

// Release: the results first (their workers use the module), then the module, then the conditions.
CProbe::~CProbe() {
    DiscardResults();
    if (m_pZkapiDll) {
        BI_LOG("CProbe::Call Release function of ZKAPI Module\n");
        m_pZkapiDll->ZKRelease();
        BI_LOG("CProbe::Return Release function of ZKAPI Module\n");
        m_pZkapiDll.reset();
    }
    m_pProbeMode.reset();
    CloseEvents();
}

int CProbe::Initialize(BIInfo* pBIInfo) {
    if (!m_pZkapiDll) m_pZkapiDll.reset(new (std::nothrow) CZkapiDll());
    WCHAR path[MAX_PATH] = {};
    if (!m_pZkapiDll || pBIInfo == nullptr || !pBIInfo->GetPath(BIInfo::NetworkModule, path, MAX_PATH) ||
        !m_pZkapiDll->Load(path)) {
        BI_LOG("#Failed to load the network module. filename=%s\n", BILogging::Narrow(path).c_str());
        m_pZkapiDll.reset();
        m_pProbeMode.reset();
        return 0;
    }
    BI_LOG("CProbe::Call Initialize function of ZKAPI Module\n");
    const int32_t nRet = m_pZkapiDll->ZKInitialize();
    if (nRet != kZkOk) {
        BI_LOG("#Failed CZkapiDll::Initialize.\n");
        m_pZkapiDll.reset();
        m_pProbeMode.reset();
        return 0;
    }
    BI_LOG("CProbe::Return Initialize function of ZKAPI Module. nRet=%d(0:success)\n", static_cast<int>(nRet));
    if (!m_pProbeMode) m_pProbeMode.reset(new (std::nothrow) CProbeMode());
    if (!m_pProbeMode) {
        m_pZkapiDll->ZKRelease();
        m_pZkapiDll.reset();
        return 0;
    }
    m_pBIInfo = pBIInfo;
    return 1;
}

// ---- Events --------------------------------------------------------------------------------

bool CProbe::CreateEvents() {
    std::lock_guard<std::mutex> guard(m_eventLock);
    m_hActivity = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_hStop = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return m_hActivity != nullptr && m_hStop != nullptr;
}

void CProbe::CloseEvents() {
    std::lock_guard<std::mutex> guard(m_eventLock);
    if (m_hActivity != nullptr) CloseHandle(m_hActivity);
    if (m_hStop != nullptr) CloseHandle(m_hStop);
    m_hActivity = nullptr;
    m_hStop = nullptr;
}

void CProbe::Stop() {
    std::lock_guard<std::mutex> guard(m_eventLock);
    if (m_hStop == nullptr) return;
    BI_LOG("Call SetEvent(Stop)\n");
    SetEvent(m_hStop);
}

void CProbe::SetActivity() {
    std::lock_guard<std::mutex> guard(m_eventLock);
    if (m_hActivity != nullptr) SetEvent(m_hActivity);
}

// The single-address worker ended: a recognised device ends the search.
void CProbe::SysOEMDone(void* argument, DWORD result) {
    if (result != 0) static_cast<CProbe*>(argument)->Stop();
}

// ---- Callback bookkeeping -------------------------------------------------------------------

bool CProbe::EnterCallback() {
    std::lock_guard<std::mutex> guard(m_callbackLock);
    if (m_stopped) return false;
    ++m_callbacksRunning;
    return true;
}

void CProbe::LeaveCallback() {
    std::lock_guard<std::mutex> guard(m_callbackLock);
    if (--m_callbacksRunning == 0) m_callbacksLeft.notify_all();
}

// Refuses further hits and waits for those being handled.
void CProbe::StopCallbacks() {
    std::unique_lock<std::mutex> lock(m_callbackLock);
    m_stopped = true;
    m_callbacksLeft.wait(lock, [this] { return m_callbacksRunning == 0; });
}

// ---- The search ------------------------------------------------------------------------------

void CProbe::DiscardResults() {
    std::vector<std::unique_ptr<CDeviceInfo>> old;
    {
        std::lock_guard<std::mutex> guard(m_resultsLock);
        old.swap(m_results);
    }
    old.clear();  // each waits for its worker
}

void CProbe::WaitForWorkers() {
    std::lock_guard<std::mutex> guard(m_resultsLock);
    for (auto& device : m_results) device->WaitForWorker();
}

int CProbe::ProbePrinter(LPCWSTR qualifier) {
    BI_LOG("CProbe::ProbePrinter\n");
    if (!m_pProbeMode || !m_pZkapiDll) return 0;
    DiscardResults();
    if (!CreateEvents()) {
        CloseEvents();
        return 0;
    }

    int result = 1;
    std::string search;
    if (qualifier != nullptr && !ProbeTextToAnsi(qualifier, search)) {
        BI_LOG("#Failed to convert the search text.\n");
        result = 0;
    }
    const ZKProbeContext& context = m_pProbeMode->ProbeContext();
    if (result) {
        {
            std::lock_guard<std::mutex> guard(m_callbackLock);
            m_stopped = false;
        }
        BI_LOG("Call CZkapiDll::StartProbe\n");
        m_pZkapiDll->m_hProbe =
            m_pZkapiDll->ZKStartProbe(qualifier != nullptr ? search.c_str() : nullptr, &context, ProbeCallBackProc, this);
        if (m_pZkapiDll->m_hProbe == 0) {
            BI_LOG("#Failed to StartProbe.\n");
            result = 0;
        } else {
            BI_LOG("Return CZkapiDll::StartProbe\n");
        }
    }

    if (result) {
        HANDLE events[2] = {m_hActivity, m_hStop};  // only this thread creates and closes them
        if (context.dwProbeType != kZkProbeAddress) {
            while (WaitForMultipleObjects(2, events, FALSE, kQuietMs) == WAIT_OBJECT_0) {
            }
        } else {
            auto device = std::unique_ptr<CDeviceInfo>(new (std::nothrow) CDeviceInfo(m_pZkapiDll.get(), &m_openLock));
            if (device && device->StartSysOEM(context, SysOEMDone, this)) {
                std::lock_guard<std::mutex> guard(m_resultsLock);
                m_results.push_back(std::move(device));
                BI_LOG("Start thread to search SystemOEM.\n");
            } else {
                BI_LOG("#Failed to start thread to search SystemOEM.\n");
            }
            if (WaitForMultipleObjects(2, events, FALSE, kSysOEMWaitMs) == WAIT_OBJECT_0)
                WaitForSingleObject(m_hStop, kSysOEMAfterHitMs);
        }

        BI_LOG("Call CZkapiDll::StopProbe\n");
        {
            std::lock_guard<std::mutex> guard(m_callbackLock);
            m_stopped = true;
        }
        if (m_pZkapiDll->m_hProbe != 0) {
            m_pZkapiDll->ZKStopProbe(m_pZkapiDll->m_hProbe);
            m_pZkapiDll->m_hProbe = 0;
        }
        BI_LOG("Return CZkapiDll::StopProbe\n");
    }
    StopCallbacks();

    if (result) {
        WaitForWorkers();
        BI_LOG("CProbe::End of Connection\n");
        BI_LOG("End of Connection\n");
        DeleteProbeResultFailed();
    }

    m_pProbeMode->Clear();
    CloseEvents();
    BI_LOG("return CProbe::ProbePrinter\n");
    return result;
}

void CProbe::DeleteProbeResultFailed() {
    BI_LOG("CProbe::DeleteProbeResultFailed\n");
    std::vector<std::unique_ptr<CDeviceInfo>> failed;
    {
        std::lock_guard<std::mutex> guard(m_resultsLock);
        auto keep = std::stable_partition(m_results.begin(), m_results.end(),
                                          [](const auto& device) { return device->GetSBIProbeResult() != nullptr; });
        std::move(keep, m_results.end(), std::back_inserter(failed));
        m_results.erase(keep, m_results.end());
    }
    for (auto& device : failed) {
        BI_LOG("Delete DeviceInfo\n");
        device.reset();
    }
}

SBIProbeResult* CProbe::GetProbeResult() {
    std::lock_guard<std::mutex> guard(m_resultsLock);
    SBIProbeResult* previous = nullptr;
    SBIProbeResult* first = nullptr;
    for (const auto& device : m_results) {
        SBIProbeResult* record = device->GetSBIProbeResult();
        if (record == nullptr) continue;
        if (previous != nullptr) previous->pNext = record;
        if (first == nullptr) first = record;
        previous = record;
    }
    return first;
}

// ---- Hits ------------------------------------------------------------------------------------

void CProbe::ProbeCallBackProc(uint64_t a, uint32_t b, uint32_t c, void* pContext) {
    auto* self = static_cast<CProbe*>(pContext);
    if (self == nullptr) return;
    if (!self->EnterCallback()) {
        BI_LOG("NotCall 'CProbe::ProbeCallBackProc'\n");
        return;
    }
    BI_LOG("Call 'CProbe::ProbeCallBackProc'\n");
    try {
        self->HandleHit(a, b, c);
    } catch (...) {
        BI_LOG("#CProbe::ProbeCallBackProc the hit could not be handled.\n");
    }
    BI_LOG("Return 'CProbe::ProbeCallBackProc'\n");
    self->LeaveCallback();
}

// Name filter of a NAME search: the hit's name begins with the set name, in any case.
bool CProbe::AcceptsHit(const SProbeResult& hit, const std::u16string& name) const {
    if (!m_pProbeMode->NameFilter()) return true;
    const std::string& wanted = m_pProbeMode->FilterName();
    if (wanted.empty() || hit.pDeviceName == nullptr) return false;
    std::u16string prefix;
    if (!ProbeTextToWide(CP_THREAD_ACP, wanted, prefix)) return false;
    if (name.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (LowerCase(name[i]) != LowerCase(prefix[i])) return false;
    return true;
}

void CProbe::HandleHit(uint64_t a, uint32_t b, uint32_t c) {
    SetActivity();
    BI_LOG("Call CZkapiDll::GetProbeResult\n");
    SProbeResult* hit = nullptr;
    const int32_t nRet = m_pZkapiDll->ZKGetProbeResult(a, b, c, &hit);
    BI_LOG("Return CZkapiDll::GetProbeResult nRet=%d\n", static_cast<int>(nRet));
    if (nRet != kZkOk || hit == nullptr) return;

    const std::u16string name = HitName(*hit);
    const std::string logName = BILogging::Narrow(name.c_str());
    BI_LOG("Get the ProbeResult. DeviceName = %s\n", logName.c_str());
    if (AcceptsHit(*hit, name)) {
        std::lock_guard<std::mutex> guard(m_resultsLock);
        const bool known = std::any_of(m_results.begin(), m_results.end(),
                                       [&](const auto& device) { return device->IsSameDevice(*hit); });
        if (!known) {
            auto device = std::unique_ptr<CDeviceInfo>(new (std::nothrow) CDeviceInfo(m_pZkapiDll.get(), &m_openLock));
            BI_LOG("Add DeviceInfo to ResultList = %s\n", logName.c_str());
            if (!device || !device->SetSProbeResult(hit)) {
                BI_LOG("DeleteDeviceInfo. =%s\n", logName.c_str());
            } else {
                BI_LOG("Call CDeviceInfo::StartConnection\n");
                if (!device->StartConnection(m_pBIInfo)) BI_LOG("#Failed to StartConnection.\n");
                m_results.push_back(std::move(device));
            }
        }
    }
    BI_LOG("Call CZkapiDll::DeleteProbeResult\n");
    m_pZkapiDll->ZKDeleteProbeResult(hit);
    BI_LOG("Return CZkapiDll::DeleteProbeResult\n");
}
