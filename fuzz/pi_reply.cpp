// fuzz-libs: vanto_bidi
// Runs whole PI transfers against arbitrary replies: the first byte picks the form and the
// code, then each reply is a 16-bit length (least significant first) and that many bytes; when
// the input runs out the exchange fails. The joined data must be what the result says, never
// more than the transfer limit.
#include "bidi/PITransfer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    constexpr DWORD kCodes[] = {1, 2, 14, 16, 17};
    const int form = (data[0] & 0x80) ? kPIFormSecond : kPIFormFirst;
    const DWORD code = kCodes[(data[0] & 0x7F) % std::size(kCodes)];
    size_t pos = 1;
    const PISender send = [&](std::span<const BYTE> request, std::vector<BYTE>* reply) {
        if (request.empty()) std::abort();
        if (size - pos < 2) return -5;
        const size_t length = std::min<size_t>(data[pos] | (data[pos + 1] << 8), size - pos - 2);
        reply->assign(data + pos + 2, data + pos + 2 + length);
        pos += 2 + length;
        return static_cast<int>(length);
    };
    std::vector<BYTE> joined;
    const int result = RunPITransfer(form, code, send, &joined);
    if (result >= 0 && (static_cast<size_t>(result) != joined.size() || joined.size() > kPIMaxTotalBytes)) std::abort();
    return 0;
}
