// The search thread: bursts of SNMP GetNext requests, answers matched to addresses by request ID.
#include "modules/transport/CProbeSearch.h"
#include "modules/agent_ports.h"

#include "modules/transport/CNetAddress.h"
#include "modules/transport/CPrinterQueries.h"
#include "modules/transport/CSnmpCodec.h"
#include "modules/transport/CSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace zk {
namespace {

constexpr uint32_t kDefaultReplyWaitMs = 500;
constexpr uint32_t kMaxReplyWaitMs = 10000;
constexpr int kDefaultRounds = 2;
constexpr int kMaxRounds = 6;
constexpr size_t kDefaultBurst = 256;
constexpr size_t kMaxBurst = 4096;
constexpr size_t kMaxSubnets = 256;            // longer (or looping) subnet lists are refused
constexpr size_t kMaxSearchLength = 255;       // bytes of the search string
constexpr size_t kMaxDeviceNameLength = 255;   // longer sysNames are cut
constexpr int kStopCheckMs = 20;               // how often a waiting search looks at the stop flag
constexpr int kReceiveBufferBytes = 4 << 20;   // room for the answers of a large burst
constexpr size_t kMaxDatagram = 65535;
constexpr size_t kAddressField = 64;           // bytes of an address text in the context

uint32_t Clamp(uint32_t value, uint32_t fallback, uint32_t low, uint32_t high)
{
    if (value == 0) return fallback;
    return std::clamp(value, low, high);
}

// A zero-terminated text inside a fixed field, or nullopt when it has no terminator.
std::optional<std::string> FieldText(const unsigned char* field, size_t size)
{
    const void* end = std::memchr(field, 0, size);
    if (end == nullptr) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(field), static_cast<const unsigned char*>(end) - field);
}

std::optional<uint32_t> FieldAddress(const unsigned char* field)
{
    const auto text = FieldText(field, kAddressField);
    if (!text) return std::nullopt;
    return ParseIPv4(*text);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

int32_t AppendHosts(std::optional<std::vector<uint32_t>> hosts, std::vector<uint32_t>& targets)
{
    if (!hosts || targets.size() + hosts->size() > kZkMaxProbeAddresses) return kZkBadArgument;
    for (uint32_t a : *hosts)
        if (!IsPermittedAddress(a)) return kZkNotAllowed;
    targets.insert(targets.end(), hosts->begin(), hosts->end());
    return kZkOk;
}

}  // namespace

int32_t CProbeSearch::ReadContext(const ZKProbeContext& context, const char* search,
                                  std::vector<uint32_t>& targets, ProbeSettings& settings)
{
    targets.clear();
    settings.replyWaitMs = Clamp(context.dwParam[0], kDefaultReplyWaitMs, 1, kMaxReplyWaitMs);
    settings.rounds = static_cast<int>(Clamp(context.dwParam[1], kDefaultRounds, 1, kMaxRounds));
    settings.maxHits = context.dwParam[3];
    settings.burst = Clamp(context.dwParam[4], kDefaultBurst, 1, kMaxBurst);
    settings.namePrefix.clear();
    if (search != nullptr) {
        if (strnlen(search, kMaxSearchLength + 1) > kMaxSearchLength) return kZkBadArgument;
        settings.namePrefix = search;
    }

    switch (context.dwProbeType) {
    case kZkProbeSubnets: {
        const ZKProbeSubnet* subnet = nullptr;
        std::memcpy(&subnet, context.typeContext, sizeof subnet);
        if (subnet == nullptr)
            return AppendHosts(SubnetHosts(kDefaultSearchNetwork, kDefaultSearchMask, kZkMaxProbeAddresses), targets);
        for (size_t n = 0; subnet != nullptr; subnet = subnet->pNext, ++n) {
            if (n == kMaxSubnets) return kZkBadArgument;
            const auto network = FieldAddress(reinterpret_cast<const unsigned char*>(subnet->szNetworkAddress));
            const auto mask = FieldAddress(reinterpret_cast<const unsigned char*>(subnet->szSubnetMask));
            if (!network || !mask) return kZkBadArgument;
            if (!IsPermittedAddress(*network & *mask) || (*mask & kLoopbackMask) != kLoopbackMask)
                return kZkNotAllowed;
            const int32_t r = AppendHosts(SubnetHosts(*network, *mask, kZkMaxProbeAddresses), targets);
            if (r != kZkOk) return r;
        }
        break;
    }
    case kZkProbeRange: {
        const auto first = FieldAddress(context.typeContext);
        const auto last = FieldAddress(context.typeContext + kAddressField);
        if (!first || !last) return kZkBadArgument;
        if (!IsPermittedAddress(*first) || !IsPermittedAddress(*last)) return kZkNotAllowed;
        const int32_t r = AppendHosts(RangeHosts(*first, *last, kZkMaxProbeAddresses), targets);
        if (r != kZkOk) return r;
        break;
    }
    case kZkProbeAddress: {
        const auto address = FieldAddress(context.typeContext);
        if (!address) return kZkBadArgument;
        if (!IsPermittedAddress(*address)) return kZkNotAllowed;
        targets.push_back(*address);
        break;
    }
    default:
        return kZkBadArgument;
    }
    // The same address in two subnets is asked once.
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    return targets.empty() ? kZkBadArgument : kZkOk;
}

CProbeSearch::CProbeSearch(uint64_t handle, uint32_t check, std::vector<uint32_t> targets, ProbeSettings settings,
                           ZK_PROBE_CALLBACK callback, void* context)
    : m_handle(handle), m_check(check), m_targets(std::move(targets)), m_settings(std::move(settings)),
      m_callback(callback), m_context(context)
{
}

CProbeSearch::~CProbeSearch()
{
    m_stopped = true;
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();  // the last reference went away on the search thread itself
        else
            m_thread.join();
    }
}

bool CProbeSearch::Start()
{
    // Request IDs first + 2 * index (+1 for the plain re-ask) stay positive for every target.
    m_firstRequestId = static_cast<int32_t>(std::random_device{}() & 0x3FFFFFFF) + 1;
    m_answered.assign(m_targets.size(), 0);
    m_plain.assign(m_targets.size(), 0);
    try {
        m_thread = std::thread([self = shared_from_this()] {
            try {
                self->Run();
            } catch (const std::exception&) {
                // Out of memory mid-search: the search ends early; hits so far stay available.
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool CProbeSearch::Stop()
{
    m_stopped = true;
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) return false;
    Join();
    return true;
}

void CProbeSearch::Join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

bool CProbeSearch::Hit(uint32_t index, ProbeHit& hit) const
{
    std::lock_guard guard(m_hitsLock);
    if (index == 0 || index > m_hits.size()) return false;
    hit = m_hits[index - 1];
    return true;
}

void CProbeSearch::Report(ProbeHit hit)
{
    uint32_t number = 0;
    {
        std::lock_guard guard(m_hitsLock);
        m_hits.push_back(std::move(hit));
        number = static_cast<uint32_t>(m_hits.size());
    }
    if (!m_stopped) m_callback(m_handle, number, m_check, m_context);
}

void CProbeSearch::HandleDatagram(const uint8_t* bytes, size_t length, uint32_t from, CSocket& socket)
{
    const auto response = ParseSnmpResponse({bytes, length});
    if (!response) return;
    const int64_t offset = static_cast<int64_t>(response->requestId) - m_firstRequestId;
    if (offset < 0 || offset >= static_cast<int64_t>(2 * m_targets.size())) return;
    const size_t index = static_cast<size_t>(offset / 2);
    const bool plain = (offset % 2) != 0;
    if (m_targets[index] != from || m_answered[index]) return;  // foreign or repeated answer

    if (response->errorStatus != 0 && !plain && !m_plain[index]) {
        // A v1 agent fails the whole GetNext when one binding has no successor (no sysName
        // after all): ask for the device ID alone.
        m_plain[index] = 1;
        const auto request = BuildSnmpRequest(kPduGetNextRequest, static_cast<int32_t>(m_firstRequestId + offset + 1),
                                              kSnmpCommunity, {*ParseOidText(kDeviceIdColumn)});
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(vmod::SnmpAgentPort());
        to.sin_addr.s_addr = htonl(from);
        socket.SendTo(request.data(), request.size(), to);
        return;
    }
    m_answered[index] = 1;
    ProbeHit hit;
    hit.address = from;
    if (!DeviceIdFromResponse(*response, hit.deviceId)) return;  // an agent, but not a printer
    static const Oid sysName = [] {
        Oid o = *ParseOidText(kSysNameObject);
        o.push_back(0);
        return o;
    }();
    if (response->bindings.size() > 1 && response->bindings[1].oid == sysName &&
        response->bindings[1].valueTag == kBerOctetString) {
        hit.deviceName = response->bindings[1].value.substr(0, kMaxDeviceNameLength);
        hit.deviceName.erase(std::find(hit.deviceName.begin(), hit.deviceName.end(), '\0'), hit.deviceName.end());
    }
    if (!m_settings.namePrefix.empty() && !StartsWithNoCase(hit.deviceName, m_settings.namePrefix)) return;
    Report(std::move(hit));
}

void CProbeSearch::Run()
{
    CSocket socket = OpenUdp(kReceiveBufferBytes);
    if (!socket.Valid()) return;
    std::vector<uint8_t> buffer(kMaxDatagram);
    const std::vector<Oid> question = {*ParseOidText(kDeviceIdColumn), *ParseOidText(kSysNameObject)};

    auto hitsDone = [this] {
        if (m_settings.maxHits == 0) return false;
        std::lock_guard guard(m_hitsLock);
        return m_hits.size() >= m_settings.maxHits;
    };
    // Reads every answer that has arrived, waiting up to waitMs for the first.
    auto readAnswers = [&](int waitMs) {
        if (socket.WaitFor(POLLIN, DeadlineAfter(static_cast<uint32_t>(waitMs))) != 1) return;
        for (;;) {
            sockaddr_in from{};
            const ptrdiff_t n = socket.ReceiveDatagram(buffer.data(), buffer.size(), &from);
            if (n < 0) {
                if (LastSocketError() == EINTR) continue;
                return;
            }
            if (m_stopped || hitsDone()) return;
            if (static_cast<size_t>(n) > buffer.size() || from.sin_family != AF_INET ||
                ntohs(from.sin_port) != vmod::SnmpAgentPort())
                continue;
            HandleDatagram(buffer.data(), static_cast<size_t>(n), ntohl(from.sin_addr.s_addr), socket);
        }
    };

    for (int round = 0; round < m_settings.rounds && !m_stopped && !hitsDone(); ++round) {
        size_t inBurst = 0;
        size_t asked = 0;
        for (size_t i = 0; i < m_targets.size() && !m_stopped && !hitsDone(); ++i) {
            if (m_answered[i]) continue;
            const auto request = BuildSnmpRequest(kPduGetNextRequest, static_cast<int32_t>(m_firstRequestId + 2 * i),
                                                  kSnmpCommunity, question);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(vmod::SnmpAgentPort());
            to.sin_addr.s_addr = htonl(m_targets[i]);
            socket.SendTo(request.data(), request.size(), to);
            ++asked;
            if (++inBurst == m_settings.burst) {
                readAnswers(0);
                inBurst = 0;
            }
        }
        if (asked == 0) break;
        const auto deadline = DeadlineAfter(m_settings.replyWaitMs);
        while (!m_stopped && !hitsDone()) {
            const int left = RemainingMs(deadline);
            if (left == 0) break;
            readAnswers(std::min(left, kStopCheckMs));
        }
    }
}

}  // namespace zk
