// One printer search: a thread that asks every address of the search for its device ID over
// SNMP (one non-blocking UDP socket, many requests in flight, request IDs tied to addresses),
// records each printer that answers once, and calls the caller back per hit. Stop ends it; once
// Stop has returned no callback runs.
#pragma once

#include "modules/transport/zkapi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zk {

struct ProbeSettings {
    uint32_t replyWaitMs = 500;  // wait for answers after each round
    int rounds = 2;              // times an address without an answer is asked
    size_t maxHits = 0;          // 0: no limit
    size_t burst = 256;          // requests sent before answers are read
    std::string namePrefix;      // hits' device names must begin with it (case-insensitive)
};

struct ProbeHit {
    uint32_t address = 0;
    std::string deviceName;  // sysName; empty when the device has none
    std::string deviceId;
};

class CProbeSearch : public std::enable_shared_from_this<CProbeSearch> {
public:
    // Reads and checks the probe context: the addresses to ask (0) or kZkBadArgument /
    // kZkNotAllowed, and the settings from its parameters and the search string.
    static int32_t ReadContext(const ZKProbeContext& context, const char* search, std::vector<uint32_t>& targets,
                               ProbeSettings& settings);

    CProbeSearch(uint64_t handle, uint32_t check, std::vector<uint32_t> targets, ProbeSettings settings,
                 ZK_PROBE_CALLBACK callback, void* context);
    ~CProbeSearch();
    CProbeSearch(const CProbeSearch&) = delete;
    CProbeSearch& operator=(const CProbeSearch&) = delete;

    bool Start();
    // Ends the search. From another thread it waits for the search thread; from the search
    // thread itself (a callback that stops) it only marks the search stopped and returns false,
    // and the caller must Join later.
    bool Stop();
    void Join();

    uint32_t Check() const { return m_check; }
    // A copy of hit number `index` (1-based), or false.
    bool Hit(uint32_t index, ProbeHit& hit) const;

private:
    void Run();
    void HandleDatagram(const uint8_t* bytes, size_t length, uint32_t from, class CSocket& socket);
    void Report(ProbeHit hit);

    const uint64_t m_handle;
    const uint32_t m_check;
    const std::vector<uint32_t> m_targets;
    const ProbeSettings m_settings;
    const ZK_PROBE_CALLBACK m_callback;
    void* const m_context;

    std::atomic<bool> m_stopped{false};
    std::thread m_thread;
    int32_t m_firstRequestId = 0;
    std::vector<uint8_t> m_answered;  // per target: 1 once it answered (search thread only)
    std::vector<uint8_t> m_plain;     // per target: asked again without sysName
    mutable std::mutex m_hitsLock;
    std::vector<ProbeHit> m_hits;
};

}  // namespace zk
