// fuzz-libs: vanto_cfx
// Feeds arbitrary bytes to the CFX file reader. Whatever it accepts must write out as text that
// reads back to the same model (the second write equals the first); then a series of edits, with
// IDs taken from the model and values from the input, runs through the session's checked
// operations, and the edited model must still write out as a file the reader accepts.
#include "modules/cfgx/CCfgxSession.h"
#include "modules/cfgx/CfxFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// Cycles through the input for edit parameters.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint32_t Next() {
        if (m_size == 0) return 0;
        const uint32_t b = m_data[m_pos % m_size];
        ++m_pos;
        return b;
    }
    uint32_t Next32() { return Next() | (Next() << 8) | (Next() << 16) | (Next() << 24); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

void Edit(CCfgxSession& session, Bytes& in) {
    const cfx::CfxFile& file = session.File();
    if (file.functions.empty()) return;
    const cfx::Function& f = file.functions[in.Next() % file.functions.size()];
    const uint32_t element = f.elements.empty() ? in.Next32() : f.elements[in.Next() % f.elements.size()].id;
    uint32_t out = 0;
    int32_t value = 0;
    switch (in.Next() % 14) {
        case 0: session.SetDefault(f.id, f.isValue ? in.Next32() : element, in.Next() % 2, in.Next() % 2, in.Next() % 2, in.Next() % 2); break;
        case 1: session.SetControlState(f.id, element, in.Next() % 2 == 0); break;
        case 2: session.SetElementStatus(f.id, element, in.Next() % 4); break;
        case 3: session.SetElementAttribute(f.id, element, in.Next() % 2 ? cfx::kAttrAvailable : in.Next32() % 70000, in.Next32() % 3); break;
        case 4: session.SetValueAttribute(f.id, in.Next() % 2 ? KD_CFGX_VALUE_MINIMUM : KD_CFGX_VALUE_MAXIMUM, static_cast<int32_t>(in.Next32())); break;
        case 5: session.SetTag(in.Next() % 8 * 50, static_cast<int32_t>(in.Next32())); break;
        case 6:
        case 7: {
            std::vector<KD_CFGX_PROHIBIT_ITEM> items(1 + in.Next() % 3);
            for (auto& item : items) {
                const cfx::Function& g = file.functions[in.Next() % file.functions.size()];
                item.functionID = g.id;
                item.elementID = g.elements.empty() ? in.Next32() : g.elements[in.Next() % g.elements.size()].id;
                item.bInversion = in.Next() % 3;
                item.subelementID = in.Next() % 4 == 0 && !g.elements.empty() ? g.elements[0].id : 0;
            }
            if (in.Next() % 2) session.AddProhibit(items);
            else session.DeleteProhibit(items);
            break;
        }
        case 8: {
            std::u16string version;
            for (uint32_t n = in.Next() % 70; n > 0; --n) version += static_cast<char16_t>(in.Next32() & 0xFFFF);
            session.SetVersionString(version);
            break;
        }
        case 9: session.SetFunctionState(f.id, in.Next() % 3); break;
        case 10: session.SetFunctionStatus(f.id, in.Next() % 4); break;
        case 11: session.SetFunctionAttribute(f.id, in.Next32(), in.Next32()); break;
        case 12: session.GetControlState(f.id, &out); break;
        default: session.GetValueAttribute(f.id, KD_CFGX_VALUE_MAXIMUM, &value); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cfx::ReadResult read = cfx::ReadCfx(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!read.file) {
        if (read.error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    // The written layout may be longer than a compact input; the module refuses to save a text
    // beyond the cap, so such a model has no written form to check.
    const std::string first = cfx::WriteCfx(*read.file);
    if (first.size() > cfx::kMaxFileSize) return 0;
    cfx::ReadResult again = cfx::ReadCfx(first);
    if (!again.file || cfx::WriteCfx(*again.file) != first) std::abort();

    CCfgxSession session(std::move(*read.file), "K_FUZZ.CFX", u"");
    Bytes in(data, size);
    for (int i = 0; i < 64; ++i) Edit(session, in);
    const std::string edited = cfx::WriteCfx(session.File());
    if (edited.size() <= cfx::kMaxFileSize && !cfx::ReadCfx(edited).file) std::abort();
    return 0;
}
