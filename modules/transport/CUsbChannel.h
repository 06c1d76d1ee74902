// The D4 and TVD4 channels of a local device, carried as frames over the port's Unix socket
// (see usb_protocol.h). One connection per open channel; control questions (device ID, channel
// list) use a short connection of their own.
#pragma once

#include "modules/transport/CChannel.h"
#include "modules/transport/CSocket.h"

#include <memory>
#include <string>

namespace zk {

class CUsbChannel final : public CChannel {
public:
    // Connects and checks that the device offers the selector: kZkNoChannel when it does not.
    static int32_t Open(const std::string& socketPath, uint8_t selector, std::unique_ptr<CChannel>& channel);

    int32_t Send(std::span<const uint8_t> request) override;
    int32_t AwaitReply(uint32_t timeoutMs, std::vector<uint8_t>& reply) override;
    int32_t QueryStatus(std::vector<uint8_t>& status) override;
    void Shutdown() override { m_socket.Shutdown(); }

    // One control question ('I' device ID, 'C' channel list) on a connection of its own.
    static int32_t AskControl(const std::string& socketPath, uint8_t command, std::vector<uint8_t>& reply);

    CUsbChannel(CSocket socket, uint8_t selector) : m_socket(std::move(socket)), m_selector(selector) {}

private:
    CSocket m_socket;
    uint8_t m_selector;
    bool m_broken = false;  // the frame stream lost its place or was closed
};

// Writes one frame. False when the connection fails.
bool WriteUsbFrame(const CSocket& socket, uint8_t selector, std::span<const uint8_t> payload);
// Reads frames until one arrives on `selector` (frames on other selectors are skipped).
// 0 with the payload; kZkTimeout when nothing came; kZkBadReply for a cut or oversized frame and
// kZkConnectionLost when the device closed (both set `broken`).
int32_t ReadUsbFrame(const CSocket& socket, uint8_t selector, Clock::time_point deadline,
                     std::vector<uint8_t>& payload, bool& broken);

}  // namespace zk
