// One open channel to a printer: the common face of the SNMP, job-language and USB channels.
// The exported functions keep the exchange state (sent request, reply waiting to be fetched,
// status waiting to be fetched) here and serialise every use of a channel with its lock.
//
// Stale replies. A printer may answer a request after the module stopped waiting for it, and
// nothing in the reply tells the late answer from the answer to the next request (the library's
// SNMP requests all carry request ID 0; a D4 or job-language stream is one reply after another).
// So an exchange counts as finished only when its whole reply was read. A request sent while
// the exchange before it is unfinished (its reply timed out, was cut short or damaged, or was
// never waited for) goes out on a renewed socket or connection: whatever the printer still
// sends for the old exchange reaches the old one, which is closed.
#pragma once

#include "modules/transport/zkapi.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace zk {

class CChannel {
public:
    virtual ~CChannel() = default;

    // Sends one request, on a renewed socket or connection when the exchange before it is
    // unfinished. Bytes sent, or negative.
    int32_t Send(std::span<const uint8_t> request);
    // Waits up to timeoutMs for the whole reply to the last request. 0 with `reply` filled, or
    // negative; only 0 finishes the exchange.
    int32_t AwaitReply(uint32_t timeoutMs, std::vector<uint8_t>& reply);
    // Asks the printer for its status, waiting up to timeoutMs. 0 with `status` filled,
    // kZkNoStatus, or negative.
    virtual int32_t QueryStatus(uint32_t timeoutMs, std::vector<uint8_t>& status) = 0;
    // Wakes a thread blocked on the channel; called when the channel is closed.
    virtual void Shutdown() = 0;

    std::mutex lock;
    bool awaitingReply = false;                 // a request was sent and its reply not fetched
    std::optional<std::vector<uint8_t>> reply;  // reply read by a size query, not fetched yet
    std::optional<std::vector<uint8_t>> status; // status read by a size query, not fetched yet
    // How long a status question waits: the time-out of the last ZKReceive on the channel.
    uint32_t statusTimeoutMs = kZkDefaultStatusTimeoutMs;

protected:
    // Replaces the socket or connection with a new one to the same printer. 0 or negative.
    virtual int32_t Renew() = 0;
    // Writes one request as it stands. Bytes sent, or negative.
    virtual int32_t Write(std::span<const uint8_t> request) = 0;
    // Reads the whole reply to the request just written, until the deadline. 0 or negative.
    virtual int32_t Read(uint32_t timeoutMs, std::vector<uint8_t>& reply) = 0;

private:
    bool m_exchangeOpen = false;  // a request was written and its whole reply not read
};

}  // namespace zk
