// The SNMP channel: one UDP request to the agent's port 161 and its reply per exchange. A reply
// counts only when it is a GetResponse carrying the request ID of the last request sent; older
// or foreign datagrams are dropped.
#pragma once

#include "modules/transport/CChannel.h"
#include "modules/transport/CSnmpCodec.h"
#include "modules/transport/CSocket.h"

#include <memory>

namespace zk {

class CSnmpChannel final : public CChannel {
public:
    static int32_t Open(uint32_t address, uint16_t port, std::unique_ptr<CChannel>& channel);

    int32_t Send(std::span<const uint8_t> request) override;
    int32_t AwaitReply(uint32_t timeoutMs, std::vector<uint8_t>& reply) override;
    int32_t QueryStatus(std::vector<uint8_t>& status) override;
    // A UDP socket has no connection to end: a thread still waiting on it finishes at its own
    // time-out, and the socket is closed when that last user lets go of the channel.
    void Shutdown() override {}

    // One exchange of the module's own: sends a request for `oids` up to `tries` times, waiting
    // waitMs each time. 0 with `response`, kZkTimeout, kZkUnreachable or kZkBadReply.
    static int32_t Ask(uint32_t address, uint16_t port, uint8_t pduTag, const std::vector<Oid>& oids,
                       uint32_t waitMs, int tries, SnmpResponse& response);

    // A fresh request ID for the module's own requests.
    static int32_t NextRequestId();

    CSnmpChannel(CSocket socket, uint32_t address, uint16_t port)
        : m_socket(std::move(socket)), m_address(address), m_port(port) {}

private:

    CSocket m_socket;
    uint32_t m_address;
    uint16_t m_port;
    int32_t m_requestId = 0;
};

// Waits on a connected UDP socket for the GetResponse with this request ID; the datagram is put
// into `datagram`. 0, kZkTimeout, kZkUnreachable (the port is closed) or kZkBadReply (only
// malformed datagrams came).
int32_t AwaitSnmpResponse(const CSocket& socket, int32_t requestId, Clock::time_point deadline,
                          std::vector<uint8_t>& datagram);

}  // namespace zk
