// fuzz-libs: vanto_bidi
// Reads the confidential-job kinds of an arbitrary reply: the first byte is where the elements
// begin. Only the two kind bits may ever be reported.
#include "bidi/InfoReplies.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    DWORD kinds = 0xFFFFFFFF;
    const bool read = ReadConfidentialJobKinds({data + 1, size - 1}, data[0], &kinds) == ConfidentialReply::Read;
    if (read && (kinds & ~0x3u) != 0) std::abort();
    if (!read && kinds != 0xFFFFFFFF) std::abort();
    return 0;
}
