// fuzz-libs: vanto_bidi
// Feeds arbitrary bytes as an install-time print-capability record to CBIDI_ERD's analysis, then
// asks every question the record answers.
#include "bidi/CBIDI_ERD.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CBIDI_ERD erd;
    if (!erd.AnalyzePrintCapability(std::vector<BYTE>(data, data + size))) return 0;
    DWORD value = 0;
    erd.GetModelName();
    erd.GetModelInfoBits(&value);
    erd.GetMaxCopies();
    erd.GetBaseResolution();
    BIDefaultSettings defaults{};
    erd.GetDefaultSetting(&defaults);
    BICassetteList cassettes;
    erd.GetCassetteInfo(&cassettes);
    return 0;
}
