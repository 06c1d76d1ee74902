// fuzz-libs: vanto_bidi
// Analyses an arbitrary pair of format-14 and format-16 replies: the first byte says where the
// rest splits into the two. Every combination read must be a well-formed one.
#include "bidi/SupportMediaAnalysis.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::span<const BYTE> rest(data + 1, size - 1);
    const size_t split = std::min<size_t>(data[0], rest.size());
    Format1416Result result;
    AnalyzeFormat1416(rest.subspan(0, split), rest.subspan(split), &result);
    for (const auto& cap : result.capabilities)
        if (cap.dwPaperSizeID > 0xFF || cap.dwPaperTypeID > 0xFF || cap.dwQuality > 7 || cap.dwLayout > 1) std::abort();
    if (result.dwResolutionFlag != 0 && result.dwResolutionFlag != kMediaResolutionFlag) std::abort();
    return 0;
}
