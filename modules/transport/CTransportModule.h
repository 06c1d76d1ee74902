// The module's state behind the thirteen exports: how often it was initialised, the open
// channels by handle, the running searches by probe handle, the probe results handed out, and
// what a size query of ZKGetDeviceID or ZKGetAvailableChannel learnt for the read after it.
// Handles are never reused within a process, so a handle used after its close is refused.
#pragma once

#include "modules/transport/CChannel.h"
#include "modules/transport/CProbeSearch.h"
#include "modules/transport/CSocket.h"
#include "modules/transport/zkapi.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace zk {

class CTransportModule {
public:
    static CTransportModule& Instance();

    int32_t Initialize();
    int32_t Release();

    int32_t GetDeviceID(int32_t pathType, const char* name, char* buffer, int32_t* size);
    int32_t GetAvailableChannel(int32_t pathType, const char* name, void* buffer, int32_t* size);
    int32_t OpenChannel(int32_t pathType, const char* name, uint32_t kind);
    int32_t CloseChannel(int32_t handle);
    int32_t Send(int32_t handle, const void* data, uint32_t length);
    int32_t Receive(int32_t handle, void* buffer, int32_t* size, uint32_t timeoutMs);
    int32_t GetStatus(int32_t handle, void* buffer, int32_t* size);

    uint64_t StartProbe(const char* search, const void* context, ZK_PROBE_CALLBACK callback, void* callbackContext);
    int32_t StopProbe(uint64_t probe);
    int32_t GetProbeResult(uint64_t a, uint32_t b, uint32_t c, SProbeResult** result);
    int32_t DeleteProbeResult(SProbeResult* result);

private:
    struct ResultBlock;

    // The answer a size query got from the printer, kept for the call with a buffer that
    // follows it for the same name, so that one question serves both calls.
    struct LearntAnswer {
        std::vector<uint8_t> bytes;
        int32_t count = 0;  // what the read returns: the device ID's length, the number of channels
        Clock::time_point expires;
    };
    using LearntKey = std::pair<int32_t, std::string>;  // path type, name
    using LearntAnswers = std::map<LearntKey, LearntAnswer>;

    // Hands out a size query's answer to the next call for the same name (a null buffer asks
    // the printer anew), or asks with `ask`; keeps the answer while the caller's buffer is
    // too small for it.
    template <typename Ask>
    int32_t AnswerOnce(LearntAnswers& kept, const LearntKey& key, void* buffer, int32_t* size, Ask ask);

    bool Ready();
    std::shared_ptr<CChannel> FindChannel(int32_t handle);
    std::shared_ptr<CProbeSearch> FindProbe(uint64_t probe);
    void CloseEverything();

    std::mutex m_lock;  // guards everything below; never held while talking to a printer
    int m_initCount = 0;
    int32_t m_nextHandle = 1;
    uint64_t m_nextProbe = 1;
    std::map<int32_t, std::shared_ptr<CChannel>> m_channels;
    std::map<uint64_t, std::shared_ptr<CProbeSearch>> m_probes;
    std::vector<std::shared_ptr<CProbeSearch>> m_stoppedFromCallback;  // joined later
    std::map<const SProbeResult*, std::unique_ptr<ResultBlock>> m_results;
    LearntAnswers m_learntDeviceIds;
    LearntAnswers m_learntChannels;
};

}  // namespace zk
