// fuzz-libs: vanto_packet
// Every SetFromBytes: integer contents, length fields and base-128 arcs, each told how many
// bytes it may read; what they report consumed must lie within those bytes.
#include <cstddef>
#include <cstdint>

#include "packet/CPacketData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x10000) return 0;
    const int available = static_cast<int>(size);
    CPacketDataint integer;
    int count = available;
    if (integer.SetFromBytes(data, count) == 1) {
        if (count != available || integer.GetSize() != available) __builtin_trap();
        integer.GetValue();
    }
    for (size_t offset = 0; offset < size; ++offset) {
        CPacketDataMSBLUINT length;
        count = available - static_cast<int>(offset);
        if (length.SetFromBytes(data + offset, count) == 1) {
            if (count < 1 || count > available - static_cast<int>(offset)) __builtin_trap();
            length.GetValue();
        }
        CPacketDataOID arc;
        count = available - static_cast<int>(offset);
        if (arc.SetFromBytes(data + offset, count) == 1) {
            if (count < 1 || count > 5 || count > available - static_cast<int>(offset)) __builtin_trap();
            // Re-encoding the value gives the canonical form, which decodes to the same arc.
            CPacketDataOID canonical;
            canonical.SetValue(arc.GetValue());
            int canonicalCount = canonical.GetSize();
            CPacketDataOID back;
            if (back.SetFromBytes(canonical.GetRaw(), canonicalCount) != 1 || back.GetValue() != arc.GetValue())
                __builtin_trap();
        }
    }
    return 0;
}
