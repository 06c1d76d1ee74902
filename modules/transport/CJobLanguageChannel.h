// The job-language (OPK) channel: a TCP connection to the printer's port 9100. A reply is
// delivered whole, its end recognised as CJobLanguageFraming.h describes.
#pragma once

#include "modules/transport/CChannel.h"
#include "modules/transport/CJobLanguageFraming.h"
#include "modules/transport/CSocket.h"

#include <memory>
#include <string>

namespace zk {

class CJobLanguageChannel final : public CChannel {
public:
    static int32_t Open(uint32_t address, uint16_t port, std::unique_ptr<CChannel>& channel);

    int32_t Send(std::span<const uint8_t> request) override;
    int32_t AwaitReply(uint32_t timeoutMs, std::vector<uint8_t>& reply) override;
    int32_t QueryStatus(std::vector<uint8_t>& status) override;
    void Shutdown() override { m_socket.Shutdown(); }

    // Asks a printer for its device ID over a connection of its own ("@OPK INFO ID").
    static int32_t AskDeviceId(uint32_t address, uint16_t port, std::string& deviceId);

    explicit CJobLanguageChannel(CSocket socket) : m_socket(std::move(socket)) {}

private:
    CSocket m_socket;
    bool m_broken = false;  // the stream lost its place or was closed; every use fails
};

using ReplyAssessor = ReplyAssessment (*)(std::span<const uint8_t>);

// Reads one reply from a stream until `assess` says it is whole, a reply of unknown layout has
// been followed by kQuietGapMs of silence, or the deadline. 0 with `reply`; kZkTimeout when
// nothing came, kZkBadReply when a known layout stopped short or grew past kZkMaxReplySize,
// kZkConnectionLost when the peer closed (`broken` is then set).
int32_t ReadStreamReply(const CSocket& socket, ReplyAssessor assess, Clock::time_point deadline,
                        std::vector<uint8_t>& reply, bool& broken);

}  // namespace zk
