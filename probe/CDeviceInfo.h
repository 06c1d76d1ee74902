// CDeviceInfo: one device found by a search.
//
// It keeps a private copy of the raw hit that the network transport module reported (every text
// and list bounded), converts it into the record handed to callers (SBIProbeResult), decides from
// the device ID whether the device is supported at all, and runs one worker thread that opens the
// device over the network and fills in location, colour, duplex and market details.
//
// The single-address device of a one-address search is built from the search conditions instead,
// and its worker asks the address over WinSNMP for a model of the System OEM model table; when it
// recognises one it calls the completion function given at its start.
//
// Threads: the worker writes only this device's record. The raw copy is written before the worker
// starts and only read afterwards, so the same-device test may run on any thread at any time.
// Destruction waits for the worker.
#pragma once

#include "bidi/CBIDI_BP.h"
#include "common/CThread.h"
#include "modules/transport/zkapi.h"
#include "platform/win32.h"
#include "vanto.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class BIInfo;

class CDeviceInfo {
public:
    // Called by the single-address worker when it ends, with its result (1: recognised).
    using Completion = void (*)(void* argument, DWORD result);

    // Limits of what is copied from a raw hit: longer texts or lists make the copy fail.
    static constexpr size_t kMaxTextBytes = 64 * 1024;  // device ID and device name
    static constexpr size_t kMaxAddressEntries = 64;

    // pModule: the search's transport module (not owned); pOpenLock: the search's lock that
    // serialises the opening of devices (not owned).
    CDeviceInfo(CZkapiDll* pModule, std::mutex* pOpenLock);
    ~CDeviceInfo();
    CDeviceInfo(const CDeviceInfo&) = delete;
    CDeviceInfo& operator=(const CDeviceInfo&) = delete;

    // Copies and converts a raw hit; 1 on success, 0 when the hit is missing, cannot be copied,
    // or describes a device that is not supported.
    int SetSProbeResult(const SProbeResult* pSProbeResult);
    // True when the hit is this device: equal device names, equal addresses, and an equal
    // address text at the same position of both address lists.
    bool IsSameDevice(const SProbeResult& hit) const;
    // Starts the worker that examines the device at its first address; 1 when it runs.
    int StartConnection(BIInfo* pBIInfo);
    // Builds the single-address device from a type-4 probe context (its address, and parameter 3
    // as the address entry's value) and starts the System OEM worker; 1 when it runs.
    int StartSysOEM(const ZKProbeContext& context, Completion completion, void* argument);

    // The record handed to callers, or null when the device has none (dropped at the end).
    SBIProbeResult* GetSBIProbeResult() const { return m_record.result.get(); }
    // Waits until the worker, if one was started, has ended.
    void WaitForWorker();

private:
    struct RawAddress {
        DWORD dwValue = 0;
        std::string text;
    };
    struct RawHit {
        std::string deviceID;
        bool hasName = false;
        std::string deviceName;
        std::string address;
        std::vector<RawAddress> addresses;
    };
    // The record and the memory its pointers refer to.
    struct Record {
        std::unique_ptr<SBIProbeResult> result;
        std::unique_ptr<char16_t[]> name;
        std::unique_ptr<SBIProbeAddress[]> addresses;
        void Reset() {
            result.reset();
            name.reset();
            addresses.reset();
        }
    };

    int CopySProbeResult(const SProbeResult* pSProbeResult);
    int ConvertSBIProbeResult();
    bool ConvertTexts();
    // A zeroed record with `count` linked address entries; false when memory runs out.
    bool AllocateRecord(size_t count);

    static DWORD WINAPI ConnectionThread(LPVOID argument);
    static DWORD WINAPI SysOEMThread(LPVOID argument);
    DWORD GetInfoProbe();
    DWORD GetSysOEMDeviceInfo();
    bool StartWorker(LPTHREAD_START_ROUTINE function);

    CZkapiDll* m_pModule;
    std::mutex* m_pOpenLock;
    std::unique_ptr<RawHit> m_pRaw;
    Record m_record;
    std::unique_ptr<CBIDI_BP> m_pBIDI;
    Completion m_completion = nullptr;
    void* m_completionArgument = nullptr;
    bool m_workerStarted = false;
    // Last, so that it is destroyed first: its destruction waits for the worker, which uses
    // everything above.
    CThread m_thread;
};
