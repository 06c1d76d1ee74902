// fuzz-libs: vanto_packet
// SetEncoded of both identifier kinds (first byte: which), then the decoded text must encode
// back to the same arcs, and the walk's arc operations must stay within the identifier.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packet/COID.h"

namespace {

void CheckRoundTrip(const COID& decoded, COID& encoded) {
    if (encoded.SetText(decoded.GetText()) != 1) __builtin_trap();
    if (encoded.GetArcCount() != decoded.GetArcCount()) __builtin_trap();
    for (size_t i = 0; i < decoded.GetArcCount(); ++i)
        if (encoded.GetArc(i) != decoded.GetArc(i)) __builtin_trap();
}

void Exercise(COID& oid, const COID& other) {
    std::string parent;
    if (oid.GetParentText(parent) != (oid.GetArcCount() >= 2)) __builtin_trap();
    oid.IsOtherColumn(other);
    const int length = oid.GetEncodedLength();
    oid.IncrementLastArc();
    if (oid.GetEncodedLength() != length) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const BYTE* bytes = data + 1;
    const int length = static_cast<int>(size - 1);
    if (data[0] & 0x01) {
        CMDROID oid, again;
        if (oid.SetEncoded(bytes, length) != 1) __builtin_trap();
        CheckRoundTrip(oid, again);
        Exercise(oid, again);
    } else {
        CSNMPOID oid, again;
        // The reply parser's one-pass decoding must agree with SetEncoded.
        std::vector<uint32_t> arcs(size);
        const int count = COID::DecodeSnmpArcs(bytes, length, arcs.data(), arcs.size());
        if (oid.SetEncoded(bytes, length) == 1) {
            if (oid.GetArcCount() == 0 || count != static_cast<int>(oid.GetArcCount())) __builtin_trap();
            for (size_t i = 0; i < oid.GetArcCount(); ++i)
                if (arcs[i] != oid.GetArc(i)) __builtin_trap();
            CheckRoundTrip(oid, again);
            Exercise(oid, again);
        } else if (count > 0 || oid.GetArcCount() != 0 || !oid.GetText().empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
