// vanto store show QUEUE: every stored BI value of a queue, decoded: numbers with their bits
// named, cassettes and paper lists as tables, the prohibit set as groups, the default settings
// field by field. Values that are missing say so; values of an unexpected size are shown in hex.
//
// The store is read with the library's own stored-values code (printerinfo/BIStoreData) through
// the driver's AUDF module, as the library reads it. Other values under the queue's key are
// listed at the end.
#include "printerinfo/BIStoreData.h"
#include "platform/prefix.h"
#include "tools/vanto/bit_names.h"
#include "tools/vanto/library.h"
#include "tools/vanto/store_view.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <strings.h>
#include <vector>

namespace {

using vanto_cli::BitName;
using vanto_cli::Bits;
using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;
using vanto_cli::kModelInfoBits;
using vanto_cli::kOptionUnitBits;
using vanto_cli::kPDLBits;
constexpr DWORD kMaxShownValue = 16 * 1024 * 1024;  // larger values are not read

constexpr DWORD kStoreFlagDirections = 0x4;  // "BIPaperSizeIDs" carries directions
constexpr BitName kStoreFlagBits[] = {
    {0x1, "seeded from a built-in default"}, {0x2, "written by an update"}, {kStoreFlagDirections, "paper sizes carry directions"}};
constexpr BitName kLayoutBits[] = {{0x1, "borderless"}};

DWORD U32(const std::vector<BYTE>& b, size_t off) {
    return static_cast<DWORD>(b[off]) | (static_cast<DWORD>(b[off + 1]) << 8) | (static_cast<DWORD>(b[off + 2]) << 16) |
           (static_cast<DWORD>(b[off + 3]) << 24);
}
WORD U16(const std::vector<BYTE>& b, size_t off) { return static_cast<WORD>(b[off] | (b[off + 1] << 8)); }

// A narrow text field of a record: up to its zero, never past its width; non-printable bytes as '.'.
std::string FieldText(const std::vector<BYTE>& b, size_t off, size_t width) {
    std::string text;
    for (size_t i = off; i < off + width && i < b.size() && b[i] != 0; ++i)
        text += (b[i] >= 0x20 && b[i] < 0x7F) ? static_cast<char>(b[i]) : '.';
    return text;
}

class StoreView {
public:
    StoreView(BIStoreData& store, FILE* out) : m_store(store), m_out(out) {}
    FILE* Out() const { return m_out; }

    // The value's bytes, or false when it is missing or too large to show.
    bool Read(const char16_t* name, std::vector<BYTE>& bytes) {
        m_shown.insert(vanto_cli::Narrow(name));
        DWORD cb = 0;
        if (!m_store.ReadData(name, nullptr, &cb) || cb > kMaxShownValue) return false;
        bytes.assign(cb, 0);
        if (cb == 0) return true;
        if (!m_store.ReadData(name, bytes.data(), &cb)) return false;
        bytes.resize(cb);
        return true;
    }

    // A number, with its bits named when `names` is given; prints the line and returns whether
    // it was there.
    bool Number(const char16_t* name, DWORD* value, const BitName* names = nullptr, size_t count = 0,
                const char* unit = "") {
        std::vector<BYTE> bytes;
        std::string label = vanto_cli::Narrow(name);
        if (!Read(name, bytes)) {
            std::fprintf(m_out, "%-22s (not stored)\n", label.c_str());
            return false;
        }
        if (bytes.size() != 4) {
            std::fprintf(m_out, "%-22s %zu bytes, expected 4: %s\n", label.c_str(), bytes.size(), vanto_cli::HexText(bytes).c_str());
            return false;
        }
        *value = U32(bytes, 0);
        std::string decoded = names != nullptr ? Bits(*value, names, count) : unit;
        std::fprintf(m_out, "%-22s %u (0x%08x)%s%s\n", label.c_str(), *value, *value, decoded.empty() ? "" : "  ", decoded.c_str());
        return true;
    }

    void BitsValue(const char16_t* name, const BitName* names, size_t count) {
        DWORD value = 0;
        Number(name, &value, names, count);
    }

    // Binary value of an expected size (0: any); prints the heading and returns the bytes.
    bool Record(const char16_t* name, size_t expected, size_t unit, std::vector<BYTE>& bytes) {
        std::string label = vanto_cli::Narrow(name);
        if (!Read(name, bytes)) {
            std::fprintf(m_out, "%-22s (not stored)\n", label.c_str());
            return false;
        }
        if ((expected != 0 && bytes.size() < expected) || (unit != 0 && bytes.size() % unit != 0)) {
            std::fprintf(m_out, "%-22s %zu bytes, not a whole record: %s\n", label.c_str(), bytes.size(), vanto_cli::HexText(bytes).c_str());
            return false;
        }
        std::fprintf(m_out, "%-22s %zu bytes\n", label.c_str(), bytes.size());
        return true;
    }

    const std::set<std::string>& Shown() const { return m_shown; }

private:
    BIStoreData& m_store;
    FILE* m_out;
    std::set<std::string> m_shown;
};

void ShowCassettes(StoreView& view, DWORD count) {
    std::vector<BYTE> b;
    if (!view.Record(u"BICassetteInfo", 0, sizeof(VANTO_CASETTE_INFO), b)) return;
    std::fprintf(view.Out(), "    %-3s %-7s %-7s %-4s %-7s %-7s %-8s %-8s\n", "#", "SizeID", "TypeID", "Dir", "SrcBit", "SrcEID",
                "MaxCap", "Level");
    for (size_t i = 0; i * 16 < b.size(); ++i) {
        size_t o = i * 16;
        std::fprintf(view.Out(), "    %-3zu %-7u %-7u %-4u 0x%04x  %-7u %-8u %-8u%s\n", i, U16(b, o), U16(b, o + 2), b[o + 4],
                    U16(b, o + 6), U16(b, o + 8), U16(b, o + 10), U16(b, o + 12),
                    i >= count ? "  (beyond BICassetteNum)" : "");
    }
}

void ShowPaperList(StoreView& view, const char16_t* name, DWORD count, bool directions) {
    std::vector<BYTE> b;
    if (!view.Record(name, 0, 8, b)) return;
    std::fprintf(view.Out(), "    %-5s %-6s %-5s %s\n", "#", "ID", "Shown", directions ? "Direction" : "");
    for (size_t i = 0; i * 8 < b.size(); ++i) {
        size_t o = i * 8;
        WORD dir = U16(b, o + 4);
        const char* dirText = !directions ? "" : dir == 0 ? "0" : dir == 1 ? "1" : dir == 2 ? "none" : "?";
        std::fprintf(view.Out(), "    %-5zu %-6u %-5s %s%s\n", i, U16(b, o), U16(b, o + 2) ? "yes" : "no", dirText,
                    i >= count ? "  (beyond the count)" : "");
    }
}

void ShowUserDefLimits(StoreView& view) {
    std::vector<BYTE> b;
    if (!view.Record(u"BIUserDefMaxMin", 40, 0, b)) return;
    static const char* kNames[] = {"lHeiMAX (0.1 mm)",      "lWidMAX (0.1 mm)",      "lHeiMIN (0.1 mm)",
                                   "lWidMIN (0.1 mm)",      "lHeiMAX_Inch (0.01 in)", "lWidMAX_Inch (0.01 in)",
                                   "lHeiMIN_Inch (0.01 in)", "lWidMIN_Inch (0.01 in)"};
    for (size_t i = 0; i < 8; ++i)
        std::fprintf(view.Out(), "    %-24s %d\n", kNames[i], static_cast<int32_t>(U32(b, i * 4)));
}

void ShowProhibitSet(StoreView& view) {
    DWORD size = 0;
    view.Number(u"BIProhibitBuffSize", &size);
    std::vector<BYTE> b;
    if (!view.Record(u"BIProhibitInfo", 4, 0, b)) return;
    SBIProhibitSet set;
    if (!BIStoreData::ParseProhibitSet(b, set)) {
        std::fprintf(view.Out(), "    the counts promise more than the %zu bytes hold: %s\n", b.size(), vanto_cli::HexText(b).c_str());
        return;
    }
    if (size != b.size()) std::fprintf(view.Out(), "    BIProhibitBuffSize differs from the stored size\n");
    std::fprintf(view.Out(), "    %zu groups\n", set.groups.size());
    for (size_t g = 0; g < set.groups.size(); ++g) {
        std::fprintf(view.Out(), "    group %zu:", g);
        for (const SBIProhibitItem& it : set.groups[g].items)
            std::fprintf(view.Out(), " {function %u, element %u, inversion %u, subelement %u}", it.functionID, it.elementID,
                        it.bInversion, it.subelementID);
        std::fprintf(view.Out(), "%s\n", set.groups[g].items.empty() ? " (no items)" : "");
    }
}

void ShowDefaultSettings(StoreView& view) {
    std::vector<BYTE> b;
    if (!view.Record(u"BIDefaultSettings", 108, 0, b)) return;
    static const char* kNames[] = {"MediaSizeID", "MediaTypeID", "Layout",   "Quality", "PaperSource", "ColorMode",
                                   "Duplex",      "ReverseOrder", "Copies", "Collate", "PaperDirection", "MultiPage"};
    for (size_t i = 0; i < 12; ++i) std::fprintf(view.Out(), "    %-16s %u\n", kNames[i], U32(b, i * 4));
    std::fprintf(view.Out(), "    %-16s \"%s\"\n", "MediaSizeID text", FieldText(b, 48, 30).c_str());
    std::fprintf(view.Out(), "    %-16s \"%s\"\n", "MediaTypeID text", FieldText(b, 78, 30).c_str());
}

// Values under the queue's key that the decoder does not know.
void ShowOthers(const BIStoreData& store, const std::set<std::string>& shown, FILE* out) {
    BIInfo* info = store.GetBIInfo();
    std::u16string key;
    if (info == nullptr || !CAUDFWrapper::BuildQueueKey(info->GetDriverName(), info->GetQueueGUID(), key)) return;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD cch = 256, type = 0, cb = 0;
        if (RegEnumValueW(h, i, name, &cch, nullptr, &type, nullptr, &cb) != ERROR_SUCCESS) break;
        std::string text = vanto_cli::Narrow(name);
        bool known = false;
        for (const std::string& s : shown) known = known || strcasecmp(s.c_str(), text.c_str()) == 0;
        if (!known) std::fprintf(out, "%-22s other value: type %u, %u bytes\n", text.c_str(), type, cb);
    }
    RegCloseKey(h);
}

}  // namespace

int vanto_cli::ShowStore(const std::string& queue, FILE* out) {
    if (!vanto_cli::QueueFound("store", queue)) return kExitNoQueue;
    std::u16string name = vanto_cli::Widen(queue);
    BIStoreData store;
    if (!store.Initialize(name.c_str())) {
        std::fprintf(stderr, "vanto store: the queue's driver offers no AUDF store module\n");
        return kExitFailure;
    }
    BIInfo* info = store.GetBIInfo();
    std::u16string key;
    if (info->GetQueueGUID()[0] == 0 || !CAUDFWrapper::BuildQueueKey(info->GetDriverName(), info->GetQueueGUID(), key)) {
        std::fprintf(out, "queue '%s' has no store yet (no KDPQGUID)\n", queue.c_str());
        return 0;
    }
    std::fprintf(out, "store of queue '%s': HKLM\\%s\n", queue.c_str(), vanto_cli::Narrow(key).c_str());

    StoreView view(store, out);
    DWORD value = 0;
    std::vector<BYTE> bytes;
    view.BitsValue(u"BIStoreFlag", kStoreFlagBits, std::size(kStoreFlagBits));
    if (view.Read(u"BIModelName", bytes)) {
        std::u16string model;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (c == 0) break;
            model += c;
        }
        std::fprintf(out, "%-22s \"%s\"\n", "BIModelName", vanto_cli::Narrow(model).c_str());
    } else {
        std::fprintf(out, "%-22s (not stored)\n", "BIModelName");
    }
    view.BitsValue(u"BIModelInfoBits", kModelInfoBits, std::size(kModelInfoBits));
    view.BitsValue(u"BISupportPDL", kPDLBits, std::size(kPDLBits));
    view.BitsValue(u"BIDefaultPDL", kPDLBits, std::size(kPDLBits));
    view.Number(u"BIInstalledMemory", &value, nullptr, 0, "MB");
    view.BitsValue(u"BIOptionUnitBits", kOptionUnitBits, std::size(kOptionUnitBits));
    view.Number(u"BIRHV2CompBandHeight", &value);

    DWORD count = 0;
    view.Number(u"BICassetteNum", &count);
    ShowCassettes(view, count);
    DWORD storeFlag = 0;
    if (view.Read(u"BIStoreFlag", bytes) && bytes.size() == 4) storeFlag = U32(bytes, 0);
    count = 0;
    view.Number(u"BIPaperSizeNum", &count);
    ShowPaperList(view, u"BIPaperSizeIDs", count, (storeFlag & kStoreFlagDirections) != 0);
    count = 0;
    view.Number(u"BIPaperTypeNum", &count);
    ShowPaperList(view, u"BIPaperTypeIDs", count, false);
    ShowUserDefLimits(view);
    ShowProhibitSet(view);
    view.Number(u"BIMaxCopies", &value);
    view.Number(u"BIBaseResolution", &value);
    view.Number(u"BIQuality", &value);
    view.BitsValue(u"BILayout", kLayoutBits, std::size(kLayoutBits));
    ShowDefaultSettings(view);
    ShowOthers(store, view.Shown(), out);
    return 0;
}

namespace {

vanto_cli::VerbGroup storeVerbs([](CLI::App& app) {
    auto* store = app.add_subcommand("store", "The stored printer information of queues");
    store->require_subcommand(1);
    auto* show = store->add_subcommand("show", "Show every stored value of a queue, decoded");
    auto queue = std::make_shared<std::string>();
    show->add_option("QUEUE", *queue, "Print queue name")->required();
    show->callback([queue] {
        int rc = vanto_cli::ShowStore(*queue, stdout);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
