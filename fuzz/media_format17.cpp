// fuzz-libs: vanto_bidi
// Analyses an arbitrary format-17 reply. A reply that analyses must give well-formed
// combinations, at most one per L entry the reply can hold.
#include "bidi/SupportMediaAnalysis.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Format17Result result;
    if (!AnalyzeFormat17(std::span<const BYTE>(data, size), &result)) return 0;
    if (result.capabilities.size() > size || result.types.size() > size) std::abort();
    for (const auto& cap : result.capabilities)
        if (cap.dwPaperSizeID > 0xFF || cap.dwPaperTypeID > 0xFF || cap.dwQuality > 7 || cap.dwLayout > 1 ||
            cap.dwPaperSource > 0xFFFF)
            std::abort();
    return 0;
}
