// The D4 and TVD4 channels of a local device, carried as frames over the port's Unix socket
// (see usb_protocol.h). One connection per open channel; control questions (device ID, channel
// list) use a short connection of their own. After an unfinished exchange (a time-out, a frame
// cut short or too long) the next request goes out on a new connection, so a late or leftover
// frame of the old exchange is never read as the answer to the new one.
#pragma once

#include "modules/transport/CChannel.h"
#include "modules/transport/CSocket.h"

#include <memory>
#include <mutex>
#include <string>

namespace zk {

class CUsbChannel final : public CChannel {
public:
    // Connects and checks that the device offers the selector: kZkNoChannel when it does not.
    static int32_t Open(const std::string& socketPath, uint8_t selector, std::unique_ptr<CChannel>& channel);

    // The status information command "st" 01 00 01 on the channel's selector; a whole reply
    // that is empty, or silence until the time-out, is kZkNoStatus.
    int32_t QueryStatus(uint32_t timeoutMs, std::vector<uint8_t>& status) override;
    void Shutdown() override;

    // One control question ('I' device ID, 'C' channel list) on a connection of its own.
    static int32_t AskControl(const std::string& socketPath, uint8_t command, std::vector<uint8_t>& reply);

    CUsbChannel(CSocket socket, std::string socketPath, uint8_t selector)
        : m_socket(std::move(socket)), m_socketPath(std::move(socketPath)), m_selector(selector) {}

protected:
    int32_t Renew() override;
    int32_t Write(std::span<const uint8_t> request) override;
    int32_t Read(uint32_t timeoutMs, std::vector<uint8_t>& reply) override;

private:
    // Guards replacing the socket against Shutdown from the thread that closes the channel.
    std::mutex m_socketLock;
    CSocket m_socket;
    std::string m_socketPath;
    uint8_t m_selector;
    bool m_shutDown = false;  // closed by the caller: never renewed
    bool m_closed = false;    // the device closed the connection; every use fails
};

// Writes one frame. False when the connection fails.
bool WriteUsbFrame(const CSocket& socket, uint8_t selector, std::span<const uint8_t> payload);
// Reads frames until one arrives on `selector` (frames on other selectors are skipped).
// 0 with the payload; kZkTimeout when nothing came; kZkBadReply for a cut or oversized frame;
// kZkConnectionLost when the device closed (`closed` is then set).
int32_t ReadUsbFrame(const CSocket& socket, uint8_t selector, Clock::time_point deadline,
                     std::vector<uint8_t>& payload, bool& closed);

}  // namespace zk
