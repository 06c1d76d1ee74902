// fuzz-libs: vanto_packet
// CMDRPacket::Parse of an answer to a request the target built. The first byte picks the
// command and the count; unless its top bit is set, the answer is the request's echo followed
// by the rest of the input, so the fuzzer reaches the data decoding at once.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packet/CMDRPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    CMDRPacket packet;
    packet.SetRequestType(data[0] & 0x01);
    int count = (data[0] >> 1) & 0x0F;
    if (packet.BuildRequest("4.1.4913.1.2.2.6.1.1.2.1.1", count) != 0) __builtin_trap();
    std::vector<BYTE> reply;
    if (!(data[0] & 0x80)) reply.assign(packet.GetRequest(), packet.GetRequest() + packet.GetRequestLength());
    reply.insert(reply.end(), data + 1, data + size);
    const int result = packet.Parse(reply.data(), static_cast<int>(reply.size()));
    if (result > 0) __builtin_trap();
    for (size_t i = 0; i < packet.GetNamedValueCount(); ++i) {
        std::string key, text;
        int32_t number = 0;
        const int type = packet.GetValueType(i);
        if (type == PACKETDATA_TYPE_STRING && packet.GetStringValue(i, key, text) != 1) __builtin_trap();
        if (type == PACKETDATA_TYPE_INTEGER && packet.GetIntValue(i, key, number) != 1) __builtin_trap();
        if (type != PACKETDATA_TYPE_STRING && type != PACKETDATA_TYPE_INTEGER) __builtin_trap();
    }
    // The first value, of either kind, reads back as its raw bytes within its own size.
    std::string key;
    DWORD needed = 0;
    packet.GetValue(key, nullptr, &needed);
    if (needed > reply.size()) __builtin_trap();
    std::vector<BYTE> buffer(needed + 1);  // never an empty buffer, which GetValue takes for none
    DWORD copied = needed;
    if (packet.GetNamedValueCount() > 0 && packet.GetValue(key, buffer.data(), &copied) != 1) __builtin_trap();
    return 0;
}
