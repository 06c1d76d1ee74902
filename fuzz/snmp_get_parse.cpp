// fuzz-libs: vanto_packet
// CSNMPPacket::Parse of a response to a single Get, then the value read back by its key.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packet/CSNMPPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CSNMPPacket packet;
    packet.SetRequestType(PDU_GET_REQUEST);
    if (packet.BuildGet("2.1.1.6.0") != 0) __builtin_trap();
    const int result = packet.Parse(data, static_cast<int>(size));
    if (result > 0) __builtin_trap();
    // Every key the parse stored can be read back within its own size.
    for (const auto& [key, values] : packet.GetValueResults()) {
        DWORD needed = 0;
        packet.GetValue(key, nullptr, &needed);
        if (needed > size) __builtin_trap();
        std::vector<BYTE> buffer(needed);
        DWORD copied = needed;
        if (!values.empty() && values.front() && packet.GetValue(key, buffer.data(), &copied) != 1) __builtin_trap();
    }
    return 0;
}
