// CProbe: the discovery object of an instance.
//
// It loads the network transport module, runs one search at a time with the conditions of its
// CProbeMode, turns every hit the module reports into a CDeviceInfo whose worker examines the
// device, waits until the search has gone quiet (3000 ms without a hit; one-address searches also
// wait for the WinSNMP examination, 10000 ms at most) or is stopped, waits for every worker, drops
// the devices that could not be described, and keeps the rest as the result list.
//
// Threads: ProbePrinter runs on the caller's thread; the module calls back on its own thread(s),
// possibly several at once; Stop may come from any thread at any time. The result list is changed
// only under its lock; a hit is accepted only while a search runs and before it is stopped, and
// the search does not end before every accepted hit has been handled.
#pragma once

#include "bidi/CZkapiDll.h"
#include "platform/win32.h"
#include "probe/CDeviceInfo.h"
#include "probe/CProbeMode.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class BIInfo;
struct SBIProbeResult;

class CProbe {
public:
    CProbe();
    ~CProbe();
    CProbe(const CProbe&) = delete;
    CProbe& operator=(const CProbe&) = delete;

    // Loads and starts the network transport module named by the context (path kind 4) and
    // creates the conditions. 1, or 0 with nothing held.
    int Initialize(BIInfo* pBIInfo);
    // Runs one search (qualifier: optional, handed to the module's search start). 1 when the
    // search ran, 0 when it could not start. The conditions are consumed either way.
    int ProbePrinter(LPCWSTR qualifier);
    // Ends a running search at once; no effect outside a search.
    void Stop();
    // The search conditions, null before Initialize.
    CProbeMode* GetProbeMode() const { return m_pProbeMode.get(); }
    // Chains the results in order through their pNext fields and returns the first, or null.
    SBIProbeResult* GetProbeResult();

    // The transport module's hit callback; pContext is the CProbe.
    static void ProbeCallBackProc(uint64_t a, uint32_t b, uint32_t c, void* pContext);

private:
    void HandleHit(uint64_t a, uint32_t b, uint32_t c);
    bool AcceptsHit(const SProbeResult& hit, const std::u16string& name) const;
    void DeleteProbeResultFailed();
    void DiscardResults();
    void WaitForWorkers();
    bool CreateEvents();
    void CloseEvents();
    void SetActivity();
    static void SysOEMDone(void* argument, DWORD result);

    // Callback bookkeeping: a callback runs only when it can enter; the search ends after the
    // last one has left.
    bool EnterCallback();
    void LeaveCallback();
    void StopCallbacks();

    std::unique_ptr<CZkapiDll> m_pZkapiDll;
    std::unique_ptr<CProbeMode> m_pProbeMode;
    BIInfo* m_pBIInfo = nullptr;

    std::mutex m_openLock;  // serialises the opening of devices by the workers

    std::mutex m_resultsLock;  // the result list
    std::vector<std::unique_ptr<CDeviceInfo>> m_results;

    std::mutex m_eventLock;  // the events' creation, use and closing
    HANDLE m_hActivity = nullptr;
    HANDLE m_hStop = nullptr;

    std::mutex m_callbackLock;
    std::condition_variable m_callbacksLeft;
    bool m_stopped = true;  // no hits accepted: no search runs, or it is being stopped
    int m_callbacksRunning = 0;
};
