// The job-language (OPK) channel: a TCP connection to the printer's port 9100. A reply is
// delivered whole, its end recognised as CJobLanguageFraming.h describes. After an unfinished
// exchange the next request goes out on a new connection: the rest of an old reply, or a late
// one, stays on the old connection, which is closed.
#pragma once

#include "modules/transport/CChannel.h"
#include "modules/transport/CJobLanguageFraming.h"
#include "modules/transport/CSocket.h"

#include <memory>
#include <mutex>
#include <string>

namespace zk {

class CJobLanguageChannel final : public CChannel {
public:
    static int32_t Open(uint32_t address, uint16_t port, std::unique_ptr<CChannel>& channel);

    // "@OPK ST2" on the channel; any whole reply that is not a status reply is kZkNoStatus, and
    // so is silence until the time-out.
    int32_t QueryStatus(uint32_t timeoutMs, std::vector<uint8_t>& status) override;
    void Shutdown() override;

    // Asks a printer for its device ID over a connection of its own ("@OPK INFO ID").
    static int32_t AskDeviceId(uint32_t address, uint16_t port, std::string& deviceId);

    CJobLanguageChannel(CSocket socket, uint32_t address, uint16_t port)
        : m_socket(std::move(socket)), m_address(address), m_port(port) {}

protected:
    int32_t Renew() override;
    int32_t Write(std::span<const uint8_t> request) override;
    int32_t Read(uint32_t timeoutMs, std::vector<uint8_t>& reply) override;

private:
    // Guards replacing the socket against Shutdown from the thread that closes the channel; the
    // thread using the channel reads m_socket without it (it is the only one that replaces it).
    std::mutex m_socketLock;
    CSocket m_socket;
    uint32_t m_address;
    uint16_t m_port;
    bool m_shutDown = false;  // closed by the caller: never renewed
    bool m_closed = false;    // the printer closed the connection; every use fails
};

using ReplyAssessor = ReplyAssessment (*)(std::span<const uint8_t>);

// Reads one reply from a stream until `assess` says it is whole, a reply of unknown layout has
// been followed by kQuietGapMs of silence, or the deadline. 0 with `reply`; kZkTimeout when
// nothing came, kZkBadReply when a known layout stopped short or grew past kZkMaxReplySize,
// kZkConnectionLost when the peer closed (`closed` is then set).
int32_t ReadStreamReply(const CSocket& socket, ReplyAssessor assess, Clock::time_point deadline,
                        std::vector<uint8_t>& reply, bool& closed);

}  // namespace zk
