// fuzz-libs: vanto_bidi
// Walks the fields of an arbitrary status reply: the first byte picks the field header, the rest
// is the reply. A field found must lie inside the reply; the ink records of any field are read.
#include "bidi/StatusReply.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const BYTE header = data[0];
    const std::span<const BYTE> reply(data + 1, size - 1);
    std::span<const BYTE> field;
    if (FindStatusField(reply, header, &field) != StatusFieldResult::Found) return 0;
    if (field.data() < reply.data() || field.data() + field.size() > reply.data() + reply.size()) std::abort();
    InkFieldHasColour(field);
    return 0;
}
