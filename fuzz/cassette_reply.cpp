// fuzz-libs: vanto_bidi
// Merges an arbitrary tray-details reply into a list of trays: the first byte picks the reply form
// and whether the list starts with two trays already known. Every entry must stay a known tray
// and the list may only grow by one entry per record.
#include "bidi/InfoReplies.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int form = data[0] & 1;
    std::vector<VANTO_CASETTE_INFO> cassettes;
    if (data[0] & 2) {
        VANTO_CASETTE_INFO known = {};
        known.wPaperSourceBit = 0x1;
        cassettes.push_back(known);
        known.wPaperSourceBit = 0x10;
        cassettes.push_back(known);
    }
    const size_t before = cassettes.size();
    const std::span<const BYTE> reply(data + 1, size - 1);
    AnalyzeCassetteReply(reply, form, &cassettes);
    if (cassettes.size() > before + reply.size() / 22 + 1) std::abort();
    for (const VANTO_CASETTE_INFO& c : cassettes) {
        if (c.wPaperSourceBit == 0) std::abort();
        if (c.wMaxCapacity == 0xFFFF) std::abort();
    }
    return 0;
}
