// The exchange bookkeeping shared by every channel: renewal after an unfinished exchange.
#include "modules/transport/CChannel.h"

namespace zk {

int32_t CChannel::Send(std::span<const uint8_t> request)
{
    if (m_exchangeOpen) {
        const int32_t r = Renew();
        if (r != kZkOk) return r;
        m_exchangeOpen = false;
    }
    const int32_t r = Write(request);
    // A request refused before it reached the wire leaves nothing to wait for; any other
    // failure may have sent part of it.
    if (r != kZkBadArgument) m_exchangeOpen = true;
    return r;
}

int32_t CChannel::AwaitReply(uint32_t timeoutMs, std::vector<uint8_t>& reply)
{
    const int32_t r = Read(timeoutMs, reply);
    if (r == kZkOk) m_exchangeOpen = false;
    return r;
}

}  // namespace zk
