// vanto store show QUEUE [--json]: every stored BI value of a queue, decoded: numbers with their
// bits named, cassettes and paper lists as tables, the prohibit set as groups, the default
// settings field by field. Values that are missing say so; values of an unexpected size are shown
// in hex. --json gives the same as one JSON object: each value under its name, null when missing.
//
// The store is read with the library's own stored-values code (printerinfo/BIStoreData) through
// the driver's AUDF module, as the library reads it. Other values under the queue's key are
// listed at the end.
#include "printerinfo/BIStoreData.h"
#include "platform/prefix.h"
#include "tools/vanto/bit_names.h"
#include "tools/vanto/json_view.h"
#include "tools/vanto/library.h"
#include "tools/vanto/store_view.h"
#include "tools/vanto/verbs.h"

#include <cstdarg>
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
using vanto_cli::Json;
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
constexpr size_t kPaperEntrySize = 8;  // u16 ID, u16 shown, u16 direction, u16 reserved
constexpr size_t kDefaultSettingsSize = 108;
constexpr const char* kDefaultSettingNames[] = {"MediaSizeID", "MediaTypeID", "Layout",         "Quality",
                                                "PaperSource", "ColorMode",   "Duplex",         "ReverseOrder",
                                                "Copies",      "Collate",     "PaperDirection", "MultiPage"};

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

// Decodes the values once and gives them both ways: lines on `out` (none when it is null) and
// JSON under each value's name in `values` (none when it is null).
class StoreView {
public:
    StoreView(BIStoreData& store, FILE* out, Json* values) : m_store(store), m_out(out), m_values(values) {}

    // A line of the plain view.
    [[gnu::format(printf, 2, 3)]] void Text(const char* format, ...) {
        if (m_out == nullptr) return;
        va_list args;
        va_start(args, format);
        std::vfprintf(m_out, format, args);
        va_end(args);
    }
    void Put(const std::string& name, Json value) {
        if (m_values != nullptr) (*m_values)[name] = std::move(value);
    }

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

    // A number, with its bits named when `names` is given; shows it and returns whether it was there.
    bool Number(const char16_t* name, DWORD* value, std::span<const BitName> names = {}, const char* unit = "") {
        std::vector<BYTE> bytes;
        const std::string label = vanto_cli::Narrow(name);
        if (!Read(name, bytes)) {
            NotStored(label);
            return false;
        }
        if (bytes.size() != 4) {
            Text("%-22s %zu bytes, expected 4: %s\n", label.c_str(), bytes.size(), vanto_cli::HexText(bytes).c_str());
            Put(label, Problem(bytes, "expected 4 bytes"));
            return false;
        }
        *value = U32(bytes, 0);
        const std::string decoded = !names.empty() ? Bits(*value, names.data(), names.size()) : unit;
        Text("%-22s %u (0x%08x)%s%s\n", label.c_str(), *value, *value, decoded.empty() ? "" : "  ", decoded.c_str());
        Json entry = names.empty() ? Json{{"value", *value}} : vanto_cli::BitsJson(*value, names);
        if (unit[0] != 0) entry["unit"] = unit;
        Put(label, std::move(entry));
        return true;
    }

    // Binary value of an expected size (0: any) made of whole units (0: any); shows its heading
    // and returns the bytes.
    bool Record(const char16_t* name, size_t expected, size_t unit, std::vector<BYTE>& bytes) {
        const std::string label = vanto_cli::Narrow(name);
        if (!Read(name, bytes)) {
            NotStored(label);
            return false;
        }
        if ((expected != 0 && bytes.size() < expected) || (unit != 0 && bytes.size() % unit != 0)) {
            Text("%-22s %zu bytes, not a whole record: %s\n", label.c_str(), bytes.size(), vanto_cli::HexText(bytes).c_str());
            Put(label, Problem(bytes, "not a whole record"));
            return false;
        }
        Text("%-22s %zu bytes\n", label.c_str(), bytes.size());
        return true;
    }

    void NotStored(const std::string& label) {
        Text("%-22s (not stored)\n", label.c_str());
        Put(label, nullptr);
    }

    static Json Problem(const std::vector<BYTE>& bytes, const char* problem) {
        return {{"problem", problem}, {"size", bytes.size()}, {"bytes", vanto_cli::HexText(bytes)}};
    }

    const std::set<std::string>& Shown() const { return m_shown; }
    FILE* Out() const { return m_out; }

private:
    BIStoreData& m_store;
    FILE* m_out;
    Json* m_values;
    std::set<std::string> m_shown;
};

void ShowCassettes(StoreView& view, DWORD count) {
    std::vector<BYTE> b;
    if (!view.Record(u"BICassetteInfo", 0, sizeof(VANTO_CASETTE_INFO), b)) return;
    view.Text("    %-3s %-7s %-7s %-4s %-7s %-7s %-8s %-8s\n", "#", "SizeID", "TypeID", "Dir", "SrcBit", "SrcEID", "MaxCap",
              "Level");
    Json list = Json::array();
    for (size_t i = 0; i * sizeof(VANTO_CASETTE_INFO) < b.size(); ++i) {
        VANTO_CASETTE_INFO c;
        std::memcpy(&c, b.data() + i * sizeof(c), sizeof(c));
        view.Text("    %-3zu %-7u %-7u %-4u 0x%04x  %-7u %-8u %-8u%s\n", i, c.wPaperSizeID, c.wPaperTypeID, c.byDirection,
                  c.wPaperSourceBit, c.wPaperSourceEID, c.wMaxCapacity, c.wCurrentLevel,
                  i >= count ? "  (beyond BICassetteNum)" : "");
        Json entry = vanto_cli::CassetteJson(c);
        entry["beyond_count"] = i >= count;
        list.push_back(std::move(entry));
    }
    view.Put("BICassetteInfo", std::move(list));
}

void ShowPaperList(StoreView& view, const char16_t* name, DWORD count, bool directions) {
    std::vector<BYTE> b;
    if (!view.Record(name, 0, kPaperEntrySize, b)) return;
    view.Text("    %-5s %-6s %-5s %s\n", "#", "ID", "Shown", directions ? "Direction" : "");
    Json list = Json::array();
    for (size_t i = 0; i * kPaperEntrySize < b.size(); ++i) {
        const size_t o = i * kPaperEntrySize;
        const WORD dir = U16(b, o + 4);
        const char* dirText = !directions ? "" : dir == 0 ? "0" : dir == 1 ? "1" : dir == 2 ? "none" : "?";
        view.Text("    %-5zu %-6u %-5s %s%s\n", i, U16(b, o), U16(b, o + 2) ? "yes" : "no", dirText,
                  i >= count ? "  (beyond the count)" : "");
        Json entry = {{"id", U16(b, o)}, {"shown", U16(b, o + 2) != 0}};
        if (directions) entry["direction"] = {{"value", dir}, {"name", dirText}};
        entry["beyond_count"] = i >= count;
        list.push_back(std::move(entry));
    }
    view.Put(vanto_cli::Narrow(name), std::move(list));
}

void ShowUserDefLimits(StoreView& view) {
    std::vector<BYTE> b;
    if (!view.Record(u"BIUserDefMaxMin", sizeof(VANTO_USERDEF_MAXMIN), 0, b)) return;
    static const char* kNames[] = {"lHeiMAX (0.1 mm)",      "lWidMAX (0.1 mm)",      "lHeiMIN (0.1 mm)",
                                   "lWidMIN (0.1 mm)",      "lHeiMAX_Inch (0.01 in)", "lWidMAX_Inch (0.01 in)",
                                   "lHeiMIN_Inch (0.01 in)", "lWidMIN_Inch (0.01 in)"};
    for (size_t i = 0; i < 8; ++i) view.Text("    %-24s %d\n", kNames[i], static_cast<int32_t>(U32(b, i * 4)));
    VANTO_USERDEF_MAXMIN limits;
    std::memcpy(&limits, b.data(), sizeof(limits));
    view.Put("BIUserDefMaxMin", vanto_cli::UserDefinedPaperJson(limits));
}

void ShowProhibitSet(StoreView& view) {
    DWORD size = 0;
    view.Number(u"BIProhibitBuffSize", &size);
    std::vector<BYTE> b;
    if (!view.Record(u"BIProhibitInfo", 4, 0, b)) return;
    SBIProhibitSet set;
    if (!BIStoreData::ParseProhibitSet(b, set)) {
        view.Text("    the counts promise more than the %zu bytes hold: %s\n", b.size(), vanto_cli::HexText(b).c_str());
        view.Put("BIProhibitInfo", StoreView::Problem(b, "the counts promise more than the bytes hold"));
        return;
    }
    if (size != b.size()) view.Text("    BIProhibitBuffSize differs from the stored size\n");
    view.Text("    %zu groups\n", set.groups.size());
    Json groups = Json::array();
    for (size_t g = 0; g < set.groups.size(); ++g) {
        view.Text("    group %zu:", g);
        Json items = Json::array();
        for (const SBIProhibitItem& it : set.groups[g].items) {
            view.Text(" {function %u, element %u, inversion %u, subelement %u}", it.functionID, it.elementID,
                      it.bInversion, it.subelementID);
            items.push_back({{"function", it.functionID},
                             {"element", it.elementID},
                             {"inversion", it.bInversion},
                             {"subelement", it.subelementID}});
        }
        view.Text("%s\n", set.groups[g].items.empty() ? " (no items)" : "");
        groups.push_back(std::move(items));
    }
    view.Put("BIProhibitInfo", {{"size", b.size()}, {"size_matches_buff_size", size == b.size()}, {"groups", std::move(groups)}});
}

void ShowDefaultSettings(StoreView& view) {
    std::vector<BYTE> b;
    if (!view.Record(u"BIDefaultSettings", kDefaultSettingsSize, 0, b)) return;
    Json settings = Json::object();
    for (size_t i = 0; i < std::size(kDefaultSettingNames); ++i) {
        view.Text("    %-16s %u\n", kDefaultSettingNames[i], U32(b, i * 4));
        settings[kDefaultSettingNames[i]] = U32(b, i * 4);
    }
    const std::string sizeText = FieldText(b, 48, 30), typeText = FieldText(b, 78, 30);
    view.Text("    %-16s \"%s\"\n", "MediaSizeID text", sizeText.c_str());
    view.Text("    %-16s \"%s\"\n", "MediaTypeID text", typeText.c_str());
    settings["MediaSizeID text"] = sizeText;
    settings["MediaTypeID text"] = typeText;
    view.Put("BIDefaultSettings", std::move(settings));
}

// Values under the queue's key that the decoder does not know.
Json ShowOthers(const BIStoreData& store, StoreView& view) {
    Json others = Json::array();
    BIInfo* info = store.GetBIInfo();
    std::u16string key;
    if (info == nullptr || !CAUDFWrapper::BuildQueueKey(info->GetDriverName(), info->GetQueueGUID(), key)) return others;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return others;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD cch = 256, type = 0, cb = 0;
        if (RegEnumValueW(h, i, name, &cch, nullptr, &type, nullptr, &cb) != ERROR_SUCCESS) break;
        std::string text = vanto_cli::Narrow(name);
        bool known = false;
        for (const std::string& s : view.Shown()) known = known || strcasecmp(s.c_str(), text.c_str()) == 0;
        if (known) continue;
        view.Text("%-22s other value: type %u, %u bytes\n", text.c_str(), type, cb);
        others.push_back({{"name", text}, {"type", type}, {"size", cb}});
    }
    RegCloseKey(h);
    return others;
}

// The decoder behind both views; `document` receives {"queue", "key", "values", "other_values"}.
int DecodeStore(const std::string& queue, FILE* out, Json* document) {
    if (!vanto_cli::QueueFound("store show", queue)) return kExitNoQueue;
    std::u16string name = vanto_cli::Widen(queue);
    BIStoreData store;
    if (!store.Initialize(name.c_str())) {
        std::fprintf(stderr,
                     "vanto store show: the driver of queue '%s' offers no AUDF store module; install the driver with "
                     "its module (vanto driver add NAME DIR build/VUD3AUDF.DLL)\n",
                     queue.c_str());
        return kExitFailure;
    }
    BIInfo* info = store.GetBIInfo();
    std::u16string key;
    Json values = Json::object();
    StoreView view(store, out, document != nullptr ? &values : nullptr);
    if (info->GetQueueGUID()[0] == 0 || !CAUDFWrapper::BuildQueueKey(info->GetDriverName(), info->GetQueueGUID(), key)) {
        view.Text("queue '%s' has no store yet (no KDPQGUID)\n", queue.c_str());
        if (document != nullptr)
            *document = {{"queue", queue}, {"key", nullptr}, {"values", std::move(values)}, {"other_values", Json::array()}};
        return 0;
    }
    const std::string keyText = "HKLM\\" + vanto_cli::Narrow(key);
    view.Text("store of queue '%s': %s\n", queue.c_str(), keyText.c_str());

    DWORD value = 0;
    std::vector<BYTE> bytes;
    view.Number(u"BIStoreFlag", &value, kStoreFlagBits);
    if (view.Read(u"BIModelName", bytes)) {
        std::u16string model;
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (c == 0) break;
            model += c;
        }
        view.Text("%-22s \"%s\"\n", "BIModelName", vanto_cli::Narrow(model).c_str());
        view.Put("BIModelName", vanto_cli::Narrow(model));
    } else {
        view.NotStored("BIModelName");
    }
    view.Number(u"BIModelInfoBits", &value, kModelInfoBits);
    view.Number(u"BISupportPDL", &value, kPDLBits);
    view.Number(u"BIDefaultPDL", &value, kPDLBits);
    view.Number(u"BIInstalledMemory", &value, {}, "MB");
    view.Number(u"BIOptionUnitBits", &value, kOptionUnitBits);
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
    view.Number(u"BILayout", &value, kLayoutBits);
    ShowDefaultSettings(view);
    Json others = ShowOthers(store, view);
    if (document != nullptr)
        *document = {{"queue", queue}, {"key", keyText}, {"values", std::move(values)}, {"other_values", std::move(others)}};
    return 0;
}

}  // namespace

int vanto_cli::ShowStore(const std::string& queue, FILE* out) { return DecodeStore(queue, out, nullptr); }

namespace {

vanto_cli::VerbGroup storeVerbs([](CLI::App& app) {
    auto* store = app.add_subcommand("store", "The stored printer information of queues");
    store->require_subcommand(1);
    auto* show = store->add_subcommand("show", "Show every stored value of a queue, decoded");
    auto queue = std::make_shared<std::string>();
    auto asJson = std::make_shared<bool>(false);
    show->add_option("QUEUE", *queue, "Print queue name")->required();
    vanto_cli::AddJsonFlag(show, *asJson);
    show->footer("Examples:\n  vanto store show Office\n  vanto store show Office --json");
    show->callback([queue, asJson] {
        Json document;
        const int rc = DecodeStore(*queue, *asJson ? nullptr : stdout, *asJson ? &document : nullptr);
        if (rc != 0) throw CLI::RuntimeError(rc);
        if (*asJson) vanto_cli::PrintJson(document);
    });
    store->footer("Example:\n  vanto store show Office --json");
});

}  // namespace
