// The exports' state and the size-query conventions.
#include "modules/transport/CTransportModule.h"
#include "modules/agent_ports.h"

#include "modules/transport/CJobLanguageChannel.h"
#include "modules/transport/CNetAddress.h"
#include "modules/transport/CPrinterQueries.h"
#include "modules/transport/CSnmpChannel.h"
#include "modules/transport/CUsbChannel.h"
#include "modules/transport/usb_protocol.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace zk {
namespace {

constexpr size_t kMaxOpenChannels = 1024;  // more open channels at once are refused
constexpr size_t kMaxSearches = 64;        // more searches at once are refused
// How long a size query's answer waits for the read that follows: ample for a caller to
// allocate in between, short enough that a later call never gets an old answer.
constexpr uint32_t kLearntAnswerLifetimeMs = 5000;
constexpr size_t kMaxLearntAnswers = 256;  // per question; the oldest goes when more are kept

// Copies `bytes` into the caller's buffer under the size-query convention.
int32_t HandOut(const std::vector<uint8_t>& bytes, void* buffer, int32_t* size)
{
    const auto length = static_cast<int32_t>(bytes.size());
    if (buffer == nullptr || *size < length) {
        *size = length;
        return kZkSizeQuery;
    }
    if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
    *size = length;
    return length;
}

}  // namespace

// A probe result handed to the caller, with the storage its pointers address.
struct CTransportModule::ResultBlock {
    SProbeResult result{};
    SProbeAddress entry{};
    std::string deviceName;
    std::string deviceId;
};

CTransportModule& CTransportModule::Instance()
{
    static CTransportModule module;
    return module;
}

bool CTransportModule::Ready()
{
    std::lock_guard guard(m_lock);
    return m_initCount > 0;
}

int32_t CTransportModule::Initialize()
{
    std::lock_guard guard(m_lock);
    ++m_initCount;
    return kZkOk;
}

int32_t CTransportModule::Release()
{
    {
        std::lock_guard guard(m_lock);
        if (m_initCount == 0) return kZkNotInitialized;
        if (--m_initCount > 0) return kZkOk;
    }
    CloseEverything();
    return kZkOk;
}

void CTransportModule::CloseEverything()
{
    std::map<int32_t, std::shared_ptr<CChannel>> channels;
    std::map<uint64_t, std::shared_ptr<CProbeSearch>> probes;
    std::vector<std::shared_ptr<CProbeSearch>> stopped;
    std::map<const SProbeResult*, std::unique_ptr<ResultBlock>> results;
    {
        std::lock_guard guard(m_lock);
        channels.swap(m_channels);
        probes.swap(m_probes);
        stopped.swap(m_stoppedFromCallback);
        results.swap(m_results);
    }
    for (auto& [handle, channel] : channels) channel->Shutdown();
    for (auto& [handle, probe] : probes) probe->Stop();
    for (auto& probe : stopped) probe->Join();
}

std::shared_ptr<CChannel> CTransportModule::FindChannel(int32_t handle)
{
    std::lock_guard guard(m_lock);
    const auto it = m_channels.find(handle);
    return it == m_channels.end() ? nullptr : it->second;
}

std::shared_ptr<CProbeSearch> CTransportModule::FindProbe(uint64_t probe)
{
    std::lock_guard guard(m_lock);
    const auto it = m_probes.find(probe);
    return it == m_probes.end() ? nullptr : it->second;
}

template <typename Ask>
int32_t CTransportModule::AnswerOnce(LearntAnswers& kept, const LearntKey& key, void* buffer, int32_t* size, Ask ask)
{
    LearntAnswer answer;
    bool known = false;
    if (buffer != nullptr) {
        std::lock_guard guard(m_lock);
        const auto it = kept.find(key);
        if (it != kept.end()) {
            known = Clock::now() < it->second.expires;
            if (known) answer = std::move(it->second);
            kept.erase(it);
        }
    }
    if (!known) {
        const int32_t r = ask(answer);
        if (r != kZkOk) return r;
    }
    const int32_t r = HandOut(answer.bytes, buffer, size);
    if (r != kZkSizeQuery) return r < 0 ? r : answer.count;

    const auto now = Clock::now();
    answer.expires = now + std::chrono::milliseconds(kLearntAnswerLifetimeMs);
    std::lock_guard guard(m_lock);
    std::erase_if(kept, [now](const auto& entry) { return entry.second.expires <= now; });
    if (kept.size() >= kMaxLearntAnswers) {
        const auto oldest = std::min_element(kept.begin(), kept.end(), [](const auto& a, const auto& b) {
            return a.second.expires < b.second.expires;
        });
        kept.erase(oldest);
    }
    kept.insert_or_assign(key, std::move(answer));
    return r;
}

int32_t CTransportModule::GetDeviceID(int32_t pathType, const char* name, char* buffer, int32_t* size)
{
    if (!Ready()) return kZkNotInitialized;
    if (size == nullptr) return kZkBadArgument;
    PrinterTarget target;
    const int32_t r = LocatePrinter(pathType, name, target);
    if (r != kZkOk) return r;
    return AnswerOnce(m_learntDeviceIds, {pathType, name}, buffer, size, [&](LearntAnswer& answer) {
        std::string deviceId;
        const int32_t q = QueryDeviceId(target, deviceId);
        if (q != kZkOk) return q;
        answer.bytes.assign(deviceId.begin(), deviceId.end());
        answer.count = static_cast<int32_t>(deviceId.size());
        return kZkOk;
    });
}

int32_t CTransportModule::GetAvailableChannel(int32_t pathType, const char* name, void* buffer, int32_t* size)
{
    if (!Ready()) return kZkNotInitialized;
    if (size == nullptr) return kZkBadArgument;
    PrinterTarget target;
    const int32_t r = LocatePrinter(pathType, name, target);
    if (r != kZkOk) return r;
    return AnswerOnce(m_learntChannels, {pathType, name}, buffer, size, [&](LearntAnswer& answer) {
        std::vector<ZKChannelEntry> channels;
        const int32_t q = QueryChannels(target, pathType, channels);
        if (q != kZkOk) return q;
        answer.bytes.resize(channels.size() * sizeof(ZKChannelEntry));
        std::memcpy(answer.bytes.data(), channels.data(), answer.bytes.size());
        answer.count = static_cast<int32_t>(channels.size());
        return kZkOk;
    });
}

int32_t CTransportModule::OpenChannel(int32_t pathType, const char* name, uint32_t kind)
{
    if (!Ready()) return kZkNotInitialized;
    if (kind != kZkChannelSNMP && kind != kZkChannelOPK && kind != kZkChannelD4 && kind != kZkChannelTVD4)
        return kZkBadArgument;
    PrinterTarget target;
    int32_t r = LocatePrinter(pathType, name, target);
    if (r != kZkOk) return r;
    if (pathType == kZkPathAddress && kind != kZkChannelSNMP) return kZkNoChannel;

    std::unique_ptr<CChannel> channel;
    if (target.kind == PrinterTarget::Kind::Network) {
        if (kind == kZkChannelSNMP)
            r = CSnmpChannel::Open(target.address, vmod::SnmpAgentPort(), channel);
        else if (kind == kZkChannelOPK)
            r = CJobLanguageChannel::Open(target.address, vmod::JobLanguagePort(), channel);
        else
            r = kZkNoChannel;
    } else {
        if (kind == kZkChannelD4)
            r = CUsbChannel::Open(target.socketPath, zkusb::kUsbD4, channel);
        else if (kind == kZkChannelTVD4)
            r = CUsbChannel::Open(target.socketPath, zkusb::kUsbTVD4, channel);
        else
            r = kZkNoChannel;
    }
    if (r != kZkOk) return r;

    std::lock_guard guard(m_lock);
    if (m_channels.size() >= kMaxOpenChannels || m_nextHandle == INT32_MAX) return kZkResources;
    const int32_t handle = m_nextHandle++;
    m_channels.emplace(handle, std::move(channel));
    return handle;
}

int32_t CTransportModule::CloseChannel(int32_t handle)
{
    std::shared_ptr<CChannel> channel;
    {
        std::lock_guard guard(m_lock);
        const auto it = m_channels.find(handle);
        if (it == m_channels.end()) return kZkBadHandle;
        channel = std::move(it->second);
        m_channels.erase(it);
    }
    channel->Shutdown();  // a thread still waiting on it wakes up and fails
    return kZkOk;
}

int32_t CTransportModule::Send(int32_t handle, const void* data, uint32_t length)
{
    if (!Ready()) return kZkNotInitialized;
    const auto channel = FindChannel(handle);
    if (!channel) return kZkBadHandle;
    if (data == nullptr || length == 0 || length > kZkMaxReplySize) return kZkBadArgument;
    std::lock_guard guard(channel->lock);
    channel->reply.reset();
    channel->awaitingReply = false;
    const int32_t r = channel->Send({static_cast<const uint8_t*>(data), length});
    if (r >= 0) channel->awaitingReply = true;
    return r;
}

int32_t CTransportModule::Receive(int32_t handle, void* buffer, int32_t* size, uint32_t timeoutMs)
{
    if (!Ready()) return kZkNotInitialized;
    const auto channel = FindChannel(handle);
    if (!channel) return kZkBadHandle;
    if (size == nullptr) return kZkBadArgument;
    std::lock_guard guard(channel->lock);
    channel->statusTimeoutMs = std::min(timeoutMs, kZkMaxTimeoutMs);
    if (!channel->reply) {
        if (!channel->awaitingReply) return kZkNoRequest;
        // Whatever the outcome, this request's exchange ends here: a late reply is never
        // delivered as the answer to a later request.
        channel->awaitingReply = false;
        std::vector<uint8_t> reply;
        const int32_t r = channel->AwaitReply(std::min(timeoutMs, kZkMaxTimeoutMs), reply);
        if (r != kZkOk) return r;
        channel->reply = std::move(reply);
    }
    const int32_t r = HandOut(*channel->reply, buffer, size);
    if (r >= 0) channel->reply.reset();
    return r;
}

int32_t CTransportModule::GetStatus(int32_t handle, void* buffer, int32_t* size)
{
    if (!Ready()) return kZkNotInitialized;
    const auto channel = FindChannel(handle);
    if (!channel) return kZkBadHandle;
    if (size == nullptr) return kZkBadArgument;
    std::lock_guard guard(channel->lock);
    // A size query always asks the printer anew (it also clears stale replies from the channel).
    if (buffer == nullptr || !channel->status) {
        channel->status.reset();
        channel->reply.reset();
        channel->awaitingReply = false;
        std::vector<uint8_t> status;
        const int32_t r = channel->QueryStatus(channel->statusTimeoutMs, status);
        if (r != kZkOk) return r;
        channel->status = std::move(status);
    }
    const int32_t r = HandOut(*channel->status, buffer, size);
    if (r >= 0) channel->status.reset();
    return r;
}

uint64_t CTransportModule::StartProbe(const char* search, const void* context, ZK_PROBE_CALLBACK callback,
                                      void* callbackContext)
{
    if (!Ready() || context == nullptr || callback == nullptr) return 0;
    ZKProbeContext probeContext;
    std::memcpy(&probeContext, context, sizeof probeContext);
    std::vector<uint32_t> targets;
    ProbeSettings settings;
    if (CProbeSearch::ReadContext(probeContext, search, targets, settings) != kZkOk) return 0;

    std::shared_ptr<CProbeSearch> probe;
    uint64_t handle = 0;
    {
        std::lock_guard guard(m_lock);
        if (m_probes.size() >= kMaxSearches) return 0;
        handle = m_nextProbe++;
        const uint32_t check = std::random_device{}();
        probe = std::make_shared<CProbeSearch>(handle, check, std::move(targets), std::move(settings), callback,
                                               callbackContext);
        m_probes.emplace(handle, probe);  // before the first hit can ask for it
    }
    if (!probe->Start()) {
        std::lock_guard guard(m_lock);
        m_probes.erase(handle);
        return 0;
    }
    return handle;
}

int32_t CTransportModule::StopProbe(uint64_t probeHandle)
{
    const auto probe = FindProbe(probeHandle);
    if (!probe) return kZkBadHandle;
    const bool joined = probe->Stop();
    std::vector<std::shared_ptr<CProbeSearch>> reap;
    {
        std::lock_guard guard(m_lock);
        m_probes.erase(probeHandle);
        if (!joined) {
            m_stoppedFromCallback.push_back(probe);
        } else {
            reap.swap(m_stoppedFromCallback);
        }
    }
    for (auto& p : reap) p->Join();
    return kZkOk;
}

int32_t CTransportModule::GetProbeResult(uint64_t a, uint32_t b, uint32_t c, SProbeResult** result)
{
    if (result == nullptr) return kZkBadArgument;
    *result = nullptr;
    const auto probe = FindProbe(a);
    if (!probe) return kZkBadHandle;
    ProbeHit hit;
    if (probe->Check() != c || !probe->Hit(b, hit)) return kZkBadArgument;

    auto block = std::make_unique<ResultBlock>();
    block->deviceName = std::move(hit.deviceName);
    block->deviceId = std::move(hit.deviceId);
    const std::string address = FormatIPv4(hit.address);
    std::memcpy(block->result.szAddress, address.c_str(), address.size() + 1);  // at most 15 + 1
    std::memcpy(block->entry.szAddress, address.c_str(), address.size() + 1);
    block->entry.dwValue = vmod::SnmpAgentPort();
    block->entry.pNext = nullptr;
    block->result.pAddressList = &block->entry;
    block->result.pDeviceName = block->deviceName.empty() ? nullptr : block->deviceName.data();
    block->result.pDeviceID = block->deviceId.data();

    std::lock_guard guard(m_lock);
    SProbeResult* handedOut = &block->result;
    m_results.emplace(handedOut, std::move(block));
    *result = handedOut;
    return kZkOk;
}

int32_t CTransportModule::DeleteProbeResult(SProbeResult* result)
{
    std::lock_guard guard(m_lock);
    const auto it = m_results.find(result);
    if (it == m_results.end()) return kZkBadArgument;  // not ours, or already freed
    m_results.erase(it);
    return kZkOk;
}

}  // namespace zk
