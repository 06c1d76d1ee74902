// Device ID and channel list of a printer.
#include "modules/transport/CPrinterQueries.h"
#include "modules/agent_ports.h"

#include "modules/transport/CJobLanguageChannel.h"
#include "modules/transport/CSnmpChannel.h"
#include "modules/transport/CUsbChannel.h"
#include "modules/transport/usb_protocol.h"

namespace zk {
namespace {

constexpr uint32_t kSnmpWaitMs = 1000;  // wait per try for the module's own SNMP questions
constexpr int kSnmpTries = 2;
constexpr uint32_t kPortCheckTimeoutMs = 1000;  // a job-language port that accepts by then is there

}  // namespace

bool DeviceIdFromResponse(const SnmpResponse& response, std::string& deviceId)
{
    static const Oid column = *ParseOidText(kDeviceIdColumn);
    if (response.errorStatus != 0 || response.bindings.empty()) return false;
    const SnmpBinding& b = response.bindings[0];
    if (!OidIsBelow(b.oid, column) || b.valueTag != kBerOctetString) return false;
    if (b.value.empty() || b.value.size() > kMaxDeviceIdLength) return false;
    deviceId = b.value;
    return true;
}

int32_t QueryDeviceId(const PrinterTarget& target, std::string& deviceId)
{
    if (target.kind == PrinterTarget::Kind::Usb) {
        std::vector<uint8_t> reply;
        const int32_t r = CUsbChannel::AskControl(target.socketPath, zkusb::kControlDeviceId, reply);
        if (r != kZkOk) return r;
        if (reply.empty() || reply.size() > kMaxDeviceIdLength) return kZkNoDeviceId;
        deviceId.assign(reply.begin(), reply.end());
        return kZkOk;
    }
    SnmpResponse response;
    const int32_t snmp = CSnmpChannel::Ask(target.address, vmod::SnmpAgentPort(), kPduGetNextRequest,
                                           {*ParseOidText(kDeviceIdColumn)}, kSnmpWaitMs, kSnmpTries, response);
    if (snmp == kZkOk && DeviceIdFromResponse(response, deviceId)) return kZkOk;
    const int32_t opk = CJobLanguageChannel::AskDeviceId(target.address, vmod::JobLanguagePort(), deviceId);
    if (opk == kZkOk && deviceId.size() <= kMaxDeviceIdLength) return kZkOk;
    if (snmp == kZkOk || opk == kZkNoDeviceId || opk == kZkBadReply) return kZkNoDeviceId;  // someone answered
    return kZkUnreachable;
}

int32_t QueryChannels(const PrinterTarget& target, int32_t pathType, std::vector<ZKChannelEntry>& channels)
{
    channels.clear();
    if (target.kind == PrinterTarget::Kind::Usb) {
        std::vector<uint8_t> offered;
        const int32_t r = CUsbChannel::AskControl(target.socketPath, zkusb::kControlChannelList, offered);
        if (r != kZkOk) return r;
        for (uint8_t selector : offered) {
            if (selector == zkusb::kUsbD4) channels.push_back({kZkChannelD4, selector, 0});
            if (selector == zkusb::kUsbTVD4) channels.push_back({kZkChannelTVD4, selector, 0});
        }
        return channels.empty() ? kZkNoChannel : kZkOk;
    }
    SnmpResponse response;
    // Any GetResponse with our request ID shows a working agent, whatever its error status.
    const int32_t snmp = CSnmpChannel::Ask(target.address, vmod::SnmpAgentPort(), kPduGetNextRequest,
                                           {*ParseOidText(kSysDescrObject)}, kSnmpWaitMs, kSnmpTries, response);
    if (snmp == kZkOk) channels.push_back({kZkChannelSNMP, vmod::SnmpAgentPort(), 0});
    if (pathType == kZkPathQueue && ConnectTcp(target.address, vmod::JobLanguagePort(), kPortCheckTimeoutMs).Valid())
        channels.push_back({kZkChannelOPK, vmod::JobLanguagePort(), 0});
    return channels.empty() ? kZkUnreachable : kZkOk;
}

}  // namespace zk
