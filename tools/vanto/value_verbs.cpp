// vanto get QUEUE ID [--json], vanto set QUEUE ID VALUE, vanto info QUEUE [--json]: a queue's
// printer information through the library's value exports (GetDWORDValue, SetDWORDValue,
// GetStructValue with the printer information record), on an instance opened with flag bit 1.
// Numbers made of bits are shown with the bits named.
//
// The instance finds the queue's store by the queue identifier "KDPQGUID"; a queue that has none
// yet gets one first, as an instance with flag bit 0 would give it.
#include "common/BIInfo.h"
#include "platform/prefix.h"
#include "tools/vanto/bit_names.h"
#include "tools/vanto/json_view.h"
#include "tools/vanto/library.h"
#include "tools/vanto/session.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <iterator>
#include <string>
#include <strings.h>

namespace {

using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;
using vanto_cli::kLogHint;

using vanto_cli::BitName;
using vanto_cli::Json;

struct ValueName {
    uint32_t id;
    const char* name;
    std::span<const BitName> bits;  // names of its bits; empty for a plain number
};
constexpr ValueName kValueNames[] = {
    {VANTO_DWID_MODELINFOBITS, "ModelInfoBits", vanto_cli::kModelInfoBits},
    {VANTO_DWID_SUPPORTPDLBITS, "SupportPDLBits", vanto_cli::kPDLBits},
    {VANTO_DWID_OPTIONUNITBITS, "OptionUnitBits", vanto_cli::kOptionUnitBits},
    {VANTO_DWID_CASSETTENUM, "CassetteNum", {}},
    {VANTO_DWID_RESERVED14, "Reserved14", {}},
    {VANTO_DWID_INSTALLEDMEMORY, "InstalledMemory", {}},
    {VANTO_DWID_DEFAULTPDLBITS, "DefaultPDLBits", vanto_cli::kPDLBits},
    {VANTO_DWID_BINARYRESOURCEID, "BinaryResourceID", {}},
    {VANTO_DWID_CFGXRESOURCEID, "CFGXResourceID", {}},
};

// "10 ModelInfoBits, 11 SupportPDLBits, ...", for the message about an unknown ID.
std::string ValueIDList() {
    std::string list;
    for (const ValueName& row : kValueNames) list += (list.empty() ? "" : ", ") + std::to_string(row.id) + " " + row.name;
    return list;
}

// A 32-bit number in decimal or 0x hexadecimal; false for anything else.
bool ParseU32(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 12 || text[0] == '-' || text[0] == '+') return false;
    try {
        size_t used = 0;
        unsigned long long parsed = std::stoull(text, &used, 0);
        if (used != text.size() || parsed > 0xFFFFFFFFull) return false;
        value = static_cast<uint32_t>(parsed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A value identifier by number or by name (case-insensitive).
bool ParseValueID(const std::string& text, uint32_t& id) {
    if (ParseU32(text, id)) return true;
    for (const ValueName& row : kValueNames) {
        if (text.size() == std::strlen(row.name) && strncasecmp(text.c_str(), row.name, text.size()) == 0) {
            id = row.id;
            return true;
        }
    }
    return false;
}

const ValueName* ValueRowOf(uint32_t id) {
    for (const ValueName& row : kValueNames)
        if (row.id == id) return &row;
    return nullptr;
}

const char* ValueNameOf(uint32_t id) {
    const ValueName* row = ValueRowOf(id);
    return row != nullptr ? row->name : "unknown";
}

// The bits of the value named, for the values made of bits; none for the others.
std::span<const BitName> ValueBitsOf(uint32_t id) {
    const ValueName* row = ValueRowOf(id);
    return row != nullptr ? row->bits : std::span<const BitName>{};
}

// A number with its bits named (when it is made of bits) for JSON.
Json NumberJson(uint32_t value, std::span<const BitName> bits) {
    return bits.empty() ? Json{{"value", value}} : vanto_cli::BitsJson(value, bits);
}

void BadValueID(const char* verb, const std::string& text) {
    std::fprintf(stderr, "vanto %s: '%s' is not a value ID: give a number or a name of %s\n", verb, text.c_str(),
                 ValueIDList().c_str());
}

using vanto_cli::Session;

int RunGet(const std::string& queue, const std::string& idText, uint32_t flags, bool asJson) {
    uint32_t id = 0;
    if (!ParseValueID(idText, id)) {
        BadValueID("get", idText);
        return kExitFailure;
    }
    Session session("get", queue, flags, Session::kMakeIdentifier);
    if (!session.Ok()) return session.FailureCode();
    uint32_t value = 0;
    if (session.Lib().GetDWORDValue(session.Handle(), id, 0, &value) != 1) {
        std::fprintf(stderr, "vanto get: GetDWORDValue(%u %s) failed for queue '%s': %s\n", id, ValueNameOf(id),
                     queue.c_str(), kLogHint);
        return kExitFailure;
    }
    const bool answered = id != VANTO_DWID_RESERVED14;  // the reserved ID succeeds without a value
    const std::span<const BitName> bits = ValueBitsOf(id);
    if (asJson) {
        vanto_cli::PrintJson({{"queue", queue},
                              {"id", id},
                              {"name", ValueNameOf(id)},
                              {"value", answered ? NumberJson(value, bits) : Json()}});
    } else if (!answered) {
        std::printf("%u %s: answered without a value\n", id, ValueNameOf(id));
    } else if (bits.empty()) {
        std::printf("%u %s = 0x%x (%u)\n", id, ValueNameOf(id), value, value);
    } else {
        std::printf("%u %s = 0x%x (%u)  %s\n", id, ValueNameOf(id), value, value,
                    vanto_cli::Bits(value, bits.data(), bits.size()).c_str());
    }
    return 0;
}

int RunSet(const std::string& queue, const std::string& idText, const std::string& valueText, uint32_t flags) {
    uint32_t id = 0;
    uint32_t value = 0;
    if (!ParseValueID(idText, id)) {
        BadValueID("set", idText);
        return kExitFailure;
    }
    if (!ParseU32(valueText, value)) {
        std::fprintf(stderr, "vanto set: '%s' is not a 32-bit number: give it in decimal (7) or hexadecimal (0x7)\n",
                     valueText.c_str());
        return kExitFailure;
    }
    Session session("set", queue, flags, Session::kMakeIdentifier);
    if (!session.Ok()) return session.FailureCode();
    uint32_t before = 0;
    const bool bKnownBefore = session.Lib().GetDWORDValue(session.Handle(), id, 0, &before) == 1;
    if (session.Lib().SetDWORDValue(session.Handle(), id, 0, value) != 1) {
        std::fprintf(stderr, "vanto set: SetDWORDValue(%u %s, 0x%x) failed for queue '%s' (the value may not be "
                     "writable, or the store refused it): %s\n",
                     id, ValueNameOf(id), value, queue.c_str(), kLogHint);
        return kExitFailure;
    }
    std::printf("%u %s set to 0x%x (%u)\n", id, ValueNameOf(id), value, value);
    // New model bits invalidate the store: the next instance seeds it from the defaults again.
    if (id == VANTO_DWID_MODELINFOBITS && (!bKnownBefore || before != value))
        std::printf("the model bits changed: the store is marked for reseeding by the next instance\n");
    return 0;
}

void PrintCassette(int index, const VANTO_CASETTE_INFO& c) {
    auto id = [](uint16_t v) { return v == VANTO_CASETTE_UNKNOWN_ID ? std::string("unknown") : std::to_string(v); };
    auto level = [](uint16_t v) {
        return v == VANTO_CASETTE_UNKNOWN_LEVEL ? std::string("unknown") : std::to_string(v);
    };
    std::printf("    [%d] paper size %s, paper type %s, direction %u, source bit 0x%x, source element %u, "
                "capacity %s, level %s\n",
                index, id(c.wPaperSizeID).c_str(), id(c.wPaperTypeID).c_str(), c.byDirection, c.wPaperSourceBit,
                c.wPaperSourceEID, level(c.wMaxCapacity).c_str(), level(c.wCurrentLevel).c_str());
}

Json InfoJson(const std::string& queue, const VANTO_PRINTER_INFO& record, const std::u16string& model) {
    Json cassettes = Json::array();
    for (int i = 0; i < record.nCassetteNum && i < VANTO_PRINTER_INFO_CASSETTES; ++i)
        cassettes.push_back(vanto_cli::CassetteJson(record.stCassette[i]));
    return {{"queue", queue},
            {"record_size", record.dwSize},
            {"version", record.dwVersion},
            {"model_name", vanto_cli::Narrow(model)},
            {"model_info_bits", vanto_cli::BitsJson(record.dwModelInfoBits, vanto_cli::kModelInfoBits)},
            {"support_pdl_bits", vanto_cli::BitsJson(record.dwSupportPDLBits, vanto_cli::kPDLBits)},
            {"default_pdl_bits", vanto_cli::BitsJson(record.dwDefaultPDLBits, vanto_cli::kPDLBits)},
            {"binary_resource_id", record.dwBinaryResourceID},
            {"cfgx_resource_id", record.dwCFGXResourceID},
            {"option_unit_bits", vanto_cli::BitsJson(record.dwOptionUnitBits, vanto_cli::kOptionUnitBits)},
            {"installed_memory_mb", record.dwInstalledMemory},
            {"cassette_count", record.nCassetteNum},
            {"cassettes", std::move(cassettes)},
            {"user_defined_paper", vanto_cli::UserDefinedPaperJson(record.stUserDefMaxMin)}};
}

int RunInfo(const std::string& queue, uint32_t flags, bool asJson) {
    Session session("info", queue, flags, Session::kMakeIdentifier);
    if (!session.Ok()) return session.FailureCode();
    uint32_t size = 0;
    if (session.Lib().GetStructValue(session.Handle(), VANTO_STID_PRINTER_INFO, 0, nullptr, &size) != 1 ||
        size != sizeof(VANTO_PRINTER_INFO)) {
        std::fprintf(stderr, "vanto info: the record size query for queue '%s' failed (size %u, expected %zu): %s\n",
                     queue.c_str(), size, sizeof(VANTO_PRINTER_INFO), kLogHint);
        return kExitFailure;
    }
    VANTO_PRINTER_INFO record{};
    record.ullElementMask = VANTO_ELEMENT_MODELNAME | VANTO_ELEMENT_MODELINFOBITS | VANTO_ELEMENT_SUPPORTPDLBITS |
                            VANTO_ELEMENT_OPTIONUNITBITS | VANTO_ELEMENT_CASSETTE | VANTO_ELEMENT_INSTALLEDMEMORY |
                            VANTO_ELEMENT_DEFAULTPDLBITS | VANTO_ELEMENT_USERDEF_MAXMIN;
    if (session.Lib().GetStructValue(session.Handle(), VANTO_STID_PRINTER_INFO, 0, &record, &size) != 1) {
        std::fprintf(stderr, "vanto info: GetStructValue(%d) failed for queue '%s': %s\n", VANTO_STID_PRINTER_INFO,
                     queue.c_str(), kLogHint);
        return kExitFailure;
    }
    record.szModelName[std::size(record.szModelName) - 1] = 0;
    const std::u16string name(record.szModelName);
    if (asJson) {
        vanto_cli::PrintJson(InfoJson(queue, record, name));
        return 0;
    }
    std::printf("printer information of '%s' (record of %u bytes, version %u)\n", queue.c_str(), record.dwSize,
                record.dwVersion);
    std::printf("  model name        : %s\n", name.empty() ? "(none)" : vanto_cli::Narrow(name).c_str());
    auto bits = [](DWORD value, std::span<const BitName> names) {
        return vanto_cli::Bits(value, names.data(), names.size());
    };
    std::printf("  ModelInfoBits     : 0x%x (%s)\n", record.dwModelInfoBits,
                bits(record.dwModelInfoBits, vanto_cli::kModelInfoBits).c_str());
    std::printf("  SupportPDLBits    : 0x%x (%s)\n", record.dwSupportPDLBits,
                bits(record.dwSupportPDLBits, vanto_cli::kPDLBits).c_str());
    std::printf("  DefaultPDLBits    : 0x%x (%s)\n", record.dwDefaultPDLBits,
                bits(record.dwDefaultPDLBits, vanto_cli::kPDLBits).c_str());
    std::printf("  BinaryResourceID  : %u\n", record.dwBinaryResourceID);
    std::printf("  CFGX resource ID  : %u\n", record.dwCFGXResourceID);
    std::printf("  OptionUnitBits    : 0x%x (%s)\n", record.dwOptionUnitBits,
                bits(record.dwOptionUnitBits, vanto_cli::kOptionUnitBits).c_str());
    std::printf("  InstalledMemory   : %u MB\n", record.dwInstalledMemory);
    std::printf("  cassettes         : %d\n", record.nCassetteNum);
    for (int i = 0; i < record.nCassetteNum && i < VANTO_PRINTER_INFO_CASSETTES; ++i) PrintCassette(i, record.stCassette[i]);
    const VANTO_USERDEF_MAXMIN& u = record.stUserDefMaxMin;
    std::printf("  user-defined paper: height %d to %d, width %d to %d (0.1 mm); height %d to %d, width %d to %d "
                "(0.01 inch)\n",
                u.lHeiMIN, u.lHeiMAX, u.lWidMIN, u.lWidMAX, u.lHeiMIN_Inch, u.lHeiMAX_Inch, u.lWidMIN_Inch,
                u.lWidMAX_Inch);
    return 0;
}

void AddFlags(CLI::App* verb, std::shared_ptr<uint32_t> flags) {
    verb->add_option("--flags", *flags, "Flag word of Initialize (bit 1 is always added)")->capture_default_str();
}

vanto_cli::VerbGroup valueVerbs([](CLI::App& app) {
    auto* get = app.add_subcommand("get", "Read a 32-bit value of a queue's printer information (GetDWORDValue)");
    auto* set = app.add_subcommand("set", "Write a 32-bit value of a queue's printer information (SetDWORDValue)");
    auto* info = app.add_subcommand("info", "Show a queue's printer information record (GetStructValue ID 11)");
    auto queue = std::make_shared<std::string>();
    auto id = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();
    auto flags = std::make_shared<uint32_t>(VANTO_FLAG_PRINTERINFO);
    auto asJson = std::make_shared<bool>(false);
    for (CLI::App* verb : {get, set, info}) {
        verb->add_option("QUEUE", *queue, "Print queue name")->required();
        AddFlags(verb, flags);
    }
    vanto_cli::AddJsonFlag(get, *asJson);
    vanto_cli::AddJsonFlag(info, *asJson);
    get->footer("Examples:\n  vanto get Office ModelInfoBits\n  vanto get Office 15 --json");
    set->footer("Example:\n  vanto set Office InstalledMemory 512");
    info->footer("Examples:\n  vanto info Office\n  vanto info Office --json");
    get->add_option("ID", *id, "Value ID (10-18) or its name, e.g. ModelInfoBits")->required();
    set->add_option("ID", *id, "Value ID (10-18) or its name")->required();
    set->add_option("VALUE", *value, "32-bit value, decimal or 0x hexadecimal")->required();
    get->callback([queue, id, flags, asJson] {
        int rc = RunGet(*queue, *id, *flags | VANTO_FLAG_PRINTERINFO, *asJson);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
    set->callback([queue, id, value, flags] {
        int rc = RunSet(*queue, *id, *value, *flags | VANTO_FLAG_PRINTERINFO);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
    info->callback([queue, flags, asJson] {
        int rc = RunInfo(*queue, *flags | VANTO_FLAG_PRINTERINFO, *asJson);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
