// fuzz-libs: vanto_printerinfo
// Feeds arbitrary bytes to the decoder of a stored prohibit set ("BIProhibitInfo") and checks that
// whatever decodes encodes back to the bytes it was read from.
#include "printerinfo/BIStoreData.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SBIProhibitSet set;
    if (!BIStoreData::ParseProhibitSet(std::span<const BYTE>(data, size), set)) return 0;
    std::vector<BYTE> blob;
    if (!BIStoreData::SerializeProhibitSet(set, blob)) std::abort();
    // Decoding ignores bytes after the last group; the encoded form must be exactly the prefix read.
    if (blob.size() > size || std::memcmp(blob.data(), data, blob.size()) != 0) std::abort();
    return 0;
}
