// The IEEE 1284 device ID parser (see DeviceIDParser.h).
#include "probe/DeviceIDParser.h"

#include <algorithm>
#include <string_view>

namespace {

struct NamedBit {
    std::string_view name;
    DWORD bit;
};

// Command languages in table order: a token selects the first name that begins with it, so
// "D4" selects "D4L3" and an empty token selects "PJL".
constexpr NamedBit kCommandSets[] = {
    {"PJL", CMDSET_PJL},
    {"OPK", CMDSET_OPK},
    {"PCL", CMDSET_PCL},
    {"PCLXL", CMDSET_PCLXL},
    {"POSTSCRIPT", CMDSET_POSTSCRIPT},
    {"D4L3", CMDSET_D4L3},
    {"QLMPAGE-04", CMDSET_QLMPAGE_04},
    {"QLMPAGEJ-04", CMDSET_QLMPAGEJ_04},
    {"QLMPAGECOLOR-01", CMDSET_QLMPAGECOLOR_01},
    {"QLMPAGECOLORJ-01", CMDSET_QLMPAGECOLORJ_01},
    {"QLMPAGES-04", CMDSET_QLMPAGES_04},
    {"QLMPL2", CMDSET_QLMPL2},
    {"BDC", CMDSET_BDC},
    {"D4", CMDSET_D4},
    {"D4PX", CMDSET_D4PX},
    {"TVD4", CMDSET_TVD4},
};

constexpr NamedBit kFunctionIDs[] = {
    {"DPA", FID_DPA},
};

// The raster language token: "QLMPR" followed by a decimal level whose low bits are flags.
constexpr std::string_view kQLMPRPrefix = "QLMPR";
constexpr DWORD kQLMPRLevelBits = 0x3;      // level bits 0 and 1 announce the raster language
constexpr DWORD kQLMPRLevelBit2 = 0x4;      // level bit 2: recorded as 0x20 and dropped again
constexpr DWORD kQLMPRLevelBit2Flag = 0x20;

// System OEM models, recognised by model name alone. A pattern ending in "*" matches every name
// that begins with the text before it; other patterns match exactly (case-sensitive).
struct ModelTableRow {
    std::string_view pattern;
    DWORD modelClass;
};
constexpr ModelTableRow kSystemOEMModels[] = {
    {"Model-A", MODELCLASS_COLOR},
    {"Model-B", MODELCLASS_COLOR | MODELCLASS_DUPLEX_STANDARD},
    {"Model-C", MODELCLASS_COLOR},
    {"Model-D", MODELCLASS_COLOR},
    {"Model-E*", MODELCLASS_DUPLEX_STANDARD},
    {"Model-F*", MODELCLASS_DUPLEX_STANDARD},
    {"Model-G", MODELCLASS_COLOR | MODELCLASS_DOMESTIC | MODELCLASS_DUPLEX_STANDARD},
};

// Calls visit(token) for each ","-separated token of value; an empty value has no token, but
// empty tokens between or after commas are visited.
template <typename Visit>
void ForEachToken(std::string_view value, Visit visit) {
    if (value.empty()) return;
    for (;;) {
        const size_t comma = value.find(',');
        visit(value.substr(0, comma));
        if (comma == std::string_view::npos) return;
        value.remove_prefix(comma + 1);
    }
}

// The bit of the first name in table that begins with token, or 0.
template <size_t N>
DWORD SelectByPrefix(const NamedBit (&table)[N], std::string_view token) {
    for (const auto& entry : table)
        if (entry.name.starts_with(token)) return entry.bit;
    return 0;
}

// The QLMPR bits of one "QLMPR<n>" token. Digits beyond the range of a 32-bit number wrap,
// which keeps the low bits of n exact.
DWORD QLMPRBitsOf(std::string_view token) {
    DWORD level = 0;
    for (size_t i = kQLMPRPrefix.size(); i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i)
        level = level * 10 + static_cast<DWORD>(token[i] - '0');
    DWORD bits = 0;
    if (level & kQLMPRLevelBits) bits |= QLMPR_LEVEL_BIT;
    if (level & kQLMPRLevelBit2) bits |= kQLMPRLevelBit2Flag;
    return bits & ~kQLMPRLevelBit2Flag;
}

bool MatchesModelPattern(std::string_view pattern, std::string_view model) {
    if (pattern.ends_with('*')) return model.starts_with(pattern.substr(0, pattern.size() - 1));
    return model == pattern;
}

}  // namespace

// GetDeviceIDValue: copies the value of key out of a device ID.
int GetDeviceIDValue(const char* deviceID, const char* key, char* dest, size_t capacity) {
    if (deviceID == nullptr || key == nullptr || dest == nullptr || capacity == 0) return 0;
    const std::string_view id(deviceID);
    const std::string_view name(key);
    if (name.empty()) return 0;
    const size_t hit = id.find(name);
    // The value starts one character after the key; a key at the very end has no value.
    if (hit == std::string_view::npos || hit + name.size() >= id.size()) return 0;
    const size_t start = hit + name.size() + 1;
    const size_t end = id.find(';', start);
    if (end == std::string_view::npos) return 0;
    const size_t count = std::min(end - start, capacity - 1);
    id.copy(dest, count, start);
    dest[count] = '\0';
    return 1;
}

// ConvertDeviceID: fills info from deviceID: model name, model-table match, command set, FID.
int ConvertDeviceID(DeviceIDInfo* info, const char* deviceID) {
    if (info == nullptr || deviceID == nullptr) return 0;

    info->dwModelClass = 0;
    if (!GetDeviceIDValue(deviceID, "MDL", info->szModelName, sizeof(info->szModelName)) &&
        !GetDeviceIDValue(deviceID, "MODEL", info->szModelName, sizeof(info->szModelName)))
        return 0;
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, info->szModelName, -1, info->wszModelName,
                            static_cast<int>(DEVICEID_MODELNAME_CHARS)) == 0)
        info->wszModelName[0] = u'\0';
    info->wszModelName[DEVICEID_MODELNAME_CHARS - 1] = u'\0';

    // Models of the System OEM table are known by name; their command set is not read.
    const std::string_view model(info->szModelName);
    for (const auto& row : kSystemOEMModels) {
        if (!MatchesModelPattern(row.pattern, model)) continue;
        info->dwCommandSetBits = CMDSET_PCLXL;
        info->dwQLMPRBits = 0;
        info->dwModelClass = row.modelClass;
        info->dwInModelTable = 1;
        return 1;
    }

    char value[DEVICEID_VALUE_CAPACITY] = {};
    if (!GetDeviceIDValue(deviceID, "CMD", value, sizeof(value))) return 0;
    info->dwCommandSetBits = 0;
    info->dwQLMPRBits = 0;
    ForEachToken(value, [info](std::string_view token) {
        const DWORD bit = SelectByPrefix(kCommandSets, token);
        if (bit != 0)
            info->dwCommandSetBits |= bit;
        else if (token.starts_with(kQLMPRPrefix))
            info->dwQLMPRBits |= QLMPRBitsOf(token);
    });

    info->dwFIDBits = 0;
    if (GetDeviceIDValue(deviceID, "FID", value, sizeof(value)))
        ForEachToken(value, [info](std::string_view token) { info->dwFIDBits |= SelectByPrefix(kFunctionIDs, token); });
    return 1;
}
