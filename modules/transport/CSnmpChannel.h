// The SNMP channel: one UDP request to the agent's port 161 and its reply per exchange. A reply
// counts only when it is a well-formed GetResponse carrying the request ID of the last request
// sent and answering what that request asked (ResponseAnswers). The library gives every request
// ID 0, so on the wire each of its requests carries an ID of the channel's own (1-127, in place
// of the 0, so no length changes) and the reply is handed back with the library's ID: an agent
// that answers with a copy of an earlier answer is told apart even where the bindings could
// answer both. Older, foreign or damaged datagrams are dropped and the wait goes on; when the
// agent answered another request instead, this one is sent once more. After an unfinished
// exchange the next request leaves from a new socket (a new source port), so a late answer to
// the old one cannot arrive where the new one is awaited.
#pragma once

#include "modules/transport/CChannel.h"
#include "modules/transport/CSnmpCodec.h"
#include "modules/transport/CSocket.h"

#include <functional>
#include <memory>
#include <optional>

namespace zk {

class CSnmpChannel final : public CChannel {
public:
    static int32_t Open(uint32_t address, uint16_t port, std::unique_ptr<CChannel>& channel);

    // The maker's status object, asked on a socket of its own: the status time-out covers both
    // tries together.
    int32_t QueryStatus(uint32_t timeoutMs, std::vector<uint8_t>& status) override;
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

protected:
    int32_t Renew() override;
    int32_t Write(std::span<const uint8_t> request) override;
    int32_t Read(uint32_t timeoutMs, std::vector<uint8_t>& reply) override;

private:
    CSocket m_socket;
    uint32_t m_address;
    uint16_t m_port;
    int32_t m_requestId = 0;               // the last request's ID on the wire
    uint8_t m_wireId = 0;                  // the channel's last own one-byte ID
    bool m_ownId = false;                  // the last request went out with the channel's own ID
    uint8_t m_callerId = 0;                // the caller's ID it replaced
    std::optional<int32_t> m_previousWireId;  // the request before's wire ID, unless sent twice
    bool m_resent = false;                 // the last request was sent a second time
    std::optional<SnmpRequest> m_request;  // what the last request asked, when it reads whole
    std::vector<uint8_t> m_sent;           // the last request, to send again
};

// Waits on a connected UDP socket until the deadline for a well-formed GetResponse with this
// request ID that answers `request` (when given); the datagram goes into `datagram` and, when
// asked for, its reading into `response`. Datagrams that are cut, malformed, of another kind
// or for another request are dropped and the wait goes on; onOtherAnswer is called with the ID
// of each well-formed GetResponse that answers something else. 0, kZkTimeout, kZkUnreachable (the port
// is closed) or kZkBadReply (only damaged datagrams came).
int32_t AwaitSnmpResponse(const CSocket& socket, int32_t requestId, const SnmpRequest* request,
                          Clock::time_point deadline, std::vector<uint8_t>& datagram,
                          SnmpResponse* response = nullptr,
                          const std::function<void(int32_t)>& onOtherAnswer = {});

}  // namespace zk
