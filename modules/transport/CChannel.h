// One open channel to a printer: the common face of the SNMP, job-language and USB channels.
// The exported functions keep the exchange state (sent request, reply waiting to be fetched,
// status waiting to be fetched) here and serialise every use of a channel with its lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace zk {

class CChannel {
public:
    virtual ~CChannel() = default;

    // Sends one request, dropping whatever the printer sent before it. Bytes sent, or negative.
    virtual int32_t Send(std::span<const uint8_t> request) = 0;
    // Waits up to timeoutMs for the whole reply to the last request. 0 with `reply` filled, or
    // negative.
    virtual int32_t AwaitReply(uint32_t timeoutMs, std::vector<uint8_t>& reply) = 0;
    // Asks the printer for its status. 0 with `status` filled, kZkNoStatus, or negative.
    virtual int32_t QueryStatus(std::vector<uint8_t>& status) = 0;
    // Wakes a thread blocked on the channel; called when the channel is closed.
    virtual void Shutdown() = 0;

    std::mutex lock;
    bool awaitingReply = false;                 // a request was sent and its reply not fetched
    std::optional<std::vector<uint8_t>> reply;  // reply read by a size query, not fetched yet
    std::optional<std::vector<uint8_t>> status; // status read by a size query, not fetched yet
};

}  // namespace zk
