// fuzz-libs: vanto_packet
// CSNMPPacket::Parse in walk mode: the same response is fed to several rounds of a walk over
// columns chosen by the first byte, with a request built before each round.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packet/CSNMPPacket.h"

namespace {

const std::vector<std::vector<WalkColumn>> kWalkLists = {
    {{"2.1.43.8.2.1.13.1.1", 2}},
    {{"2.1.43.8.2.1.13.1.1", 2}, {"2.1.43.8.2.1.9.1.1", 2}, {"2.1.43.13.4.1.3.1", 2}},
    {{"4.1.4913.1.2.2.6.1.1.2.1.1", 24}},
    {{"2.1.43.8.2.1.9.1.1", 10}, {"2.1.43.8.2.1.10.1.1", 10}, {"2.1.43.8.2.1.13.1.1", 10}},
};
constexpr int kRounds = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    CSNMPPacket packet;
    packet.SetWalkList(kWalkLists[data[0] % kWalkLists.size()]);
    for (int round = 0; round < kRounds && !packet.IsDone(); ++round) {
        if (packet.BuildGetNext() != 0) break;
        if (packet.GetRequestLength() <= 0) __builtin_trap();
        if (packet.Parse(data + 1, static_cast<int>(size - 1)) != 0) break;
    }
    return 0;
}
