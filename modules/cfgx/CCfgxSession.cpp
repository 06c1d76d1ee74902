// CCfgxSession: the checked edits of one open CFX file.
#include "modules/cfgx/CCfgxSession.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// ---- DEVMODEW: the public part's fields that name a default, as the spooler lays them out ------
constexpr size_t kDevmodePublicSize = 220;  // sizeof(DEVMODEW) without driver extra bytes
constexpr size_t kDmSize = 68;              // u16: size of the public part
constexpr size_t kDmDriverExtra = 70;       // u16: driver bytes after the public part
constexpr size_t kDmFields = 72;            // u32: which fields below are set
constexpr size_t kDmOrientation = 76;       // i16: 1 portrait, 2 landscape
constexpr size_t kDmPaperSize = 78;         // i16: the paper size ID
constexpr size_t kDmCopies = 86;            // i16
constexpr size_t kDmDefaultSource = 88;     // i16: the input bin element
constexpr size_t kDmColor = 92;             // i16: 1 monochrome, 2 colour
constexpr size_t kDmDuplex = 94;            // i16: 1 simplex, 2 long edge, 3 short edge
constexpr size_t kDmCollate = 100;          // i16: 0 or 1
constexpr size_t kDmMediaType = 196;        // u32: the paper type ID

constexpr uint32_t DM_ORIENTATION = 0x1;
constexpr uint32_t DM_PAPERSIZE = 0x2;
constexpr uint32_t DM_COPIES = 0x100;
constexpr uint32_t DM_DEFAULTSOURCE = 0x200;
constexpr uint32_t DM_COLOR = 0x800;
constexpr uint32_t DM_DUPLEX = 0x1000;
constexpr uint32_t DM_COLLATE = 0x8000;
constexpr uint32_t DM_MEDIATYPE = 0x2000000;

// The driver's functions that a DEVMODEW field sets.
constexpr uint32_t kFunctionPaperType = 1;
constexpr uint32_t kFunctionColorMode = 6;
constexpr uint32_t kFunctionInputBin = 7;
constexpr uint32_t kFunctionPaperSize = 9;
constexpr uint32_t kFunctionCopies = 14;
constexpr uint32_t kFunctionCollate = 15;
constexpr uint32_t kFunctionOrientation = 16;
constexpr uint32_t kFunctionDuplex = 26;
constexpr uint32_t kFunctionOutputPaperSize = 35;

uint16_t U16(std::span<const uint8_t> b, size_t off) { return static_cast<uint16_t>(b[off] | (b[off + 1] << 8)); }
int16_t I16(std::span<const uint8_t> b, size_t off) { return static_cast<int16_t>(U16(b, off)); }
uint32_t U32(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
           (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

bool ValidStatus(uint32_t status) {
    return status == cfx::kStatusShown || status == cfx::kStatusDisabled || status == cfx::kStatusHidden;
}

// Attributes whose values are switches.
bool ValidAttributeValue(uint32_t attribute, uint32_t value) {
    if (attribute == cfx::kAttrAvailable || attribute == cfx::kAttrQualitySupported ||
        attribute == cfx::kAttrNotReported)
        return value <= 1;
    return true;
}

int32_t SetAttribute(cfx::Attributes& attributes, uint32_t attribute, uint32_t value) {
    if (attribute > cfx::kMaxAttributeNumber) return KD_CFGX_ERR_NO_ATTRIBUTE;
    auto it = attributes.find(attribute);
    if (it != attributes.end()) {
        it->second = value;
        return KD_CFGX_OK;
    }
    if (attributes.size() >= cfx::kMaxAttributes) return KD_CFGX_ERR_LIMIT;
    attributes.emplace(attribute, value);
    return KD_CFGX_OK;
}

int32_t GetAttribute(const cfx::Attributes& attributes, uint32_t attribute, uint32_t* pValue) {
    if (pValue == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    auto it = attributes.find(attribute);
    if (it == attributes.end()) return KD_CFGX_ERR_NO_ATTRIBUTE;
    *pValue = it->second;
    return KD_CFGX_OK;
}

}  // namespace

CCfgxSession::CCfgxSession(cfx::CfxFile file, std::string sourceName, std::u16string queue)
    : m_file(std::move(file)), m_sourceName(std::move(sourceName)), m_queue(std::move(queue)) {
    m_file.Index();
    ResetSettings();
}

void CCfgxSession::ResetSettings() {
    m_settings.clear();
    for (const cfx::Function& f : m_file.functions) {
        if (f.isValue) m_settings[f.id] = static_cast<uint32_t>(f.defaultValue);
        else if (f.defaultElement) m_settings[f.id] = *f.defaultElement;
    }
}

const cfx::Function* CCfgxSession::ListFunction(uint32_t functionID, int32_t& result) const {
    const cfx::Function* f = m_file.FindFunction(functionID);
    result = f == nullptr ? KD_CFGX_ERR_NO_FUNCTION : f->isValue ? KD_CFGX_ERR_WRONG_KIND : KD_CFGX_OK;
    return result == KD_CFGX_OK ? f : nullptr;
}

// ---- Prohibit groups ----------------------------------------------------------------------------

// An element is available unless its attribute 16 is 0 or a group of that one item forbids it.
bool CCfgxSession::Available(const cfx::Function& f, uint32_t elementID) const {
    const cfx::Element* e = f.FindElement(elementID);
    if (e == nullptr) return false;
    if (auto it = e->attributes.find(cfx::kAttrAvailable); it != e->attributes.end() && it->second == 0) return false;
    for (const cfx::ProhibitGroup& g : m_file.prohibits) {
        if (g.items.size() == 1 && g.items[0].functionID == f.id && g.items[0].elementID == elementID &&
            g.items[0].inversion == 0)
            return false;
    }
    return true;
}

bool CCfgxSession::ItemHolds(const cfx::ProhibitItem& item) const {
    auto it = m_settings.find(item.functionID);
    if (it == m_settings.end()) return false;
    const bool match = it->second == item.elementID || (item.subelementID != 0 && it->second == item.subelementID);
    return item.inversion != 0 ? !match : match;
}

// True when a group naming the function has every item holding under the current settings.
bool CCfgxSession::CompletesGroup(uint32_t functionID) const {
    for (const cfx::ProhibitGroup& g : m_file.prohibits) {
        const bool names = std::any_of(g.items.begin(), g.items.end(),
                                       [&](const cfx::ProhibitItem& i) { return i.functionID == functionID; });
        if (names && std::all_of(g.items.begin(), g.items.end(), [&](const cfx::ProhibitItem& i) { return ItemHolds(i); }))
            return true;
    }
    return false;
}

int32_t CCfgxSession::CheckItems(std::span<const KD_CFGX_PROHIBIT_ITEM> items,
                                 std::vector<cfx::ProhibitItem>& out) const {
    if (items.empty()) return KD_CFGX_ERR_BAD_ARGUMENT;
    if (items.size() > cfx::kMaxGroupItems) return KD_CFGX_ERR_LIMIT;
    out.clear();
    for (const KD_CFGX_PROHIBIT_ITEM& raw : items) {
        int32_t result = KD_CFGX_OK;
        const cfx::Function* f = ListFunction(raw.functionID, result);
        if (f == nullptr) return result;
        if (f->FindElement(raw.elementID) == nullptr) return KD_CFGX_ERR_NO_ELEMENT;
        if (raw.bInversion > 1) return KD_CFGX_ERR_BAD_ARGUMENT;
        if (raw.subelementID != 0 && f->FindElement(raw.subelementID) == nullptr) return KD_CFGX_ERR_NO_ELEMENT;
        out.push_back({raw.functionID, raw.elementID, raw.bInversion, raw.subelementID});
    }
    return KD_CFGX_OK;
}

int32_t CCfgxSession::AddProhibit(std::span<const KD_CFGX_PROHIBIT_ITEM> items) {
    std::vector<cfx::ProhibitItem> group;
    if (int32_t result = CheckItems(items, group); result != KD_CFGX_OK) return result;
    for (const cfx::ProhibitGroup& g : m_file.prohibits)
        if (cfx::SameItems(g.items, group)) return KD_CFGX_OK;
    if (m_file.prohibits.size() >= cfx::kMaxGroups) return KD_CFGX_ERR_LIMIT;
    m_file.prohibits.push_back({std::move(group), {}});
    return KD_CFGX_OK;
}

int32_t CCfgxSession::DeleteProhibit(std::span<const KD_CFGX_PROHIBIT_ITEM> items) {
    std::vector<cfx::ProhibitItem> group;
    if (int32_t result = CheckItems(items, group); result != KD_CFGX_OK) return result;
    std::erase_if(m_file.prohibits, [&](const cfx::ProhibitGroup& g) { return cfx::SameItems(g.items, group); });
    return KD_CFGX_OK;
}

// ---- Defaults and current settings ---------------------------------------------------------------

int32_t CCfgxSession::CheckSetting(const cfx::Function& f, uint32_t setting) const {
    if (f.isValue) {
        const auto value = static_cast<int32_t>(setting);
        return value < f.minimum || value > f.maximum ? KD_CFGX_ERR_OUT_OF_RANGE : KD_CFGX_OK;
    }
    return f.FindElement(setting) == nullptr ? KD_CFGX_ERR_NO_ELEMENT : KD_CFGX_OK;
}

int32_t CCfgxSession::SetDefault(uint32_t functionID, uint32_t elementID, uint32_t setDefault, uint32_t lock,
                                 uint32_t select, uint32_t checkAvailable) {
    if (setDefault > 1 || lock > 1 || select > 1 || checkAvailable > 1) return KD_CFGX_ERR_BAD_ARGUMENT;
    cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    if (int32_t result = CheckSetting(*f, elementID); result != KD_CFGX_OK) return result;
    if (checkAvailable && !f->isValue && !Available(*f, elementID)) return KD_CFGX_ERR_PROHIBITED;
    if (setDefault) {
        if (f->isValue) f->defaultValue = static_cast<int32_t>(elementID);
        else f->defaultElement = elementID;
    }
    if (lock) f->locked = true;
    if (select) m_settings[functionID] = elementID;
    return KD_CFGX_OK;
}

// All fields are checked before any default changes, so a record naming one unknown element
// changes nothing.
int32_t CCfgxSession::SetDefaultByDevmode(std::span<const uint8_t> devmode) {
    if (devmode.size() < kDevmodePublicSize) return KD_CFGX_ERR_BAD_ARGUMENT;
    const size_t publicSize = U16(devmode, kDmSize);
    const size_t extra = U16(devmode, kDmDriverExtra);
    if (publicSize < kDevmodePublicSize || publicSize + extra > devmode.size()) return KD_CFGX_ERR_BAD_ARGUMENT;
    const uint32_t fields = U32(devmode, kDmFields);

    struct Change {
        uint32_t functionID;
        uint32_t setting;
    };
    std::vector<Change> changes;
    auto add = [&](uint32_t functionID, int64_t setting) -> int32_t {
        const cfx::Function* f = m_file.FindFunction(functionID);
        if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
        if (!f->isValue && (setting < 0 || setting > UINT32_MAX)) return KD_CFGX_ERR_NO_ELEMENT;
        const auto s = static_cast<uint32_t>(setting);
        if (int32_t result = CheckSetting(*f, s); result != KD_CFGX_OK) return result;
        changes.push_back({functionID, s});
        return KD_CFGX_OK;
    };
    int32_t result = KD_CFGX_OK;
    if (result == KD_CFGX_OK && (fields & DM_ORIENTATION)) result = add(kFunctionOrientation, I16(devmode, kDmOrientation));
    if (result == KD_CFGX_OK && (fields & DM_PAPERSIZE)) {
        const int16_t size = I16(devmode, kDmPaperSize);
        result = add(kFunctionPaperSize, size);
        // The output paper size follows when the file offers the same size there.
        const cfx::Function* out = m_file.FindFunction(kFunctionOutputPaperSize);
        if (result == KD_CFGX_OK && out && !out->isValue && size > 0 && out->FindElement(static_cast<uint32_t>(size)))
            result = add(kFunctionOutputPaperSize, size);
    }
    if (result == KD_CFGX_OK && (fields & DM_COPIES)) result = add(kFunctionCopies, I16(devmode, kDmCopies));
    if (result == KD_CFGX_OK && (fields & DM_DEFAULTSOURCE)) result = add(kFunctionInputBin, I16(devmode, kDmDefaultSource));
    if (result == KD_CFGX_OK && (fields & DM_COLOR)) result = add(kFunctionColorMode, I16(devmode, kDmColor));
    if (result == KD_CFGX_OK && (fields & DM_DUPLEX)) {
        // Simplex, long edge and short edge are elements 0, 1 and 2 of the duplex function.
        const int16_t duplex = I16(devmode, kDmDuplex);
        result = duplex >= 1 && duplex <= 3 ? add(kFunctionDuplex, duplex - 1) : KD_CFGX_ERR_NO_ELEMENT;
    }
    if (result == KD_CFGX_OK && (fields & DM_COLLATE)) result = add(kFunctionCollate, I16(devmode, kDmCollate));
    if (result == KD_CFGX_OK && (fields & DM_MEDIATYPE)) result = add(kFunctionPaperType, U32(devmode, kDmMediaType));
    if (result != KD_CFGX_OK) return result;

    for (const Change& c : changes) {
        cfx::Function* f = m_file.FindFunction(c.functionID);
        if (f->isValue) f->defaultValue = static_cast<int32_t>(c.setting);
        else f->defaultElement = c.setting;
        m_settings[c.functionID] = c.setting;
    }
    return KD_CFGX_OK;
}

int32_t CCfgxSession::GetControlState(uint32_t functionID, uint32_t* pSetting) const {
    if (pSetting == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    if (m_file.FindFunction(functionID) == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    auto it = m_settings.find(functionID);
    if (it == m_settings.end()) return KD_CFGX_ERR_NO_ELEMENT;  // a list function without a default
    *pSetting = it->second;
    return KD_CFGX_OK;
}

int32_t CCfgxSession::SetControlState(uint32_t functionID, uint32_t setting, bool checked) {
    const cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    if (int32_t result = CheckSetting(*f, setting); result != KD_CFGX_OK) return result;
    if (!checked || f->isValue) {
        m_settings[functionID] = setting;
        return KD_CFGX_OK;
    }
    const cfx::Element* e = f->FindElement(setting);
    if (e->status != cfx::kStatusShown || !Available(*f, setting)) return KD_CFGX_ERR_PROHIBITED;
    auto previous = m_settings.find(functionID);
    const std::optional<uint32_t> old =
        previous == m_settings.end() ? std::nullopt : std::optional<uint32_t>(previous->second);
    m_settings[functionID] = setting;
    if (CompletesGroup(functionID)) {
        if (old) m_settings[functionID] = *old;
        else m_settings.erase(functionID);
        return KD_CFGX_ERR_PROHIBITED;
    }
    return KD_CFGX_OK;
}

int32_t CCfgxSession::SetFunctionState(uint32_t functionID, uint32_t state) {
    if (state != KD_CFGX_STATE_FREE && state != KD_CFGX_STATE_LOCKED) return KD_CFGX_ERR_BAD_ARGUMENT;
    cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    f->locked = state == KD_CFGX_STATE_LOCKED;
    return KD_CFGX_OK;
}

// ---- Version -------------------------------------------------------------------------------------

int32_t CCfgxSession::GetVersionString(char16_t* buffer, uint32_t* pcch) const {
    if (pcch == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    const std::u16string version = cfx::ToUtf16(m_file.version);
    const auto needed = static_cast<uint32_t>(version.size() + 1);
    if (buffer == nullptr || *pcch < needed) {
        *pcch = needed;
        return KD_CFGX_ERR_MORE_DATA;
    }
    std::memcpy(buffer, version.data(), version.size() * sizeof(char16_t));
    buffer[version.size()] = 0;
    *pcch = needed;
    return KD_CFGX_OK;
}

int32_t CCfgxSession::SetVersionString(std::u16string_view version) {
    if (version.size() > cfx::kMaxVersionUnits) return KD_CFGX_ERR_BAD_ARGUMENT;
    auto utf8 = cfx::FromUtf16(version);
    if (!utf8 || cfx::HasControlCharacter(*utf8)) return KD_CFGX_ERR_BAD_ARGUMENT;
    m_file.version = std::move(*utf8);
    return KD_CFGX_OK;
}

// ---- Status and attributes -----------------------------------------------------------------------

int32_t CCfgxSession::GetFunctionStatus(uint32_t functionID) const {
    const cfx::Function* f = m_file.FindFunction(functionID);
    return f == nullptr ? KD_CFGX_ERR_NO_FUNCTION : static_cast<int32_t>(f->status);
}

int32_t CCfgxSession::SetFunctionStatus(uint32_t functionID, uint32_t status) {
    if (!ValidStatus(status)) return KD_CFGX_ERR_BAD_ARGUMENT;
    cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    f->status = status;
    return KD_CFGX_OK;
}

int32_t CCfgxSession::GetElementStatus(uint32_t functionID, uint32_t elementID) const {
    int32_t result = KD_CFGX_OK;
    const cfx::Function* f = ListFunction(functionID, result);
    if (f == nullptr) return result;
    const cfx::Element* e = f->FindElement(elementID);
    return e == nullptr ? KD_CFGX_ERR_NO_ELEMENT : static_cast<int32_t>(e->status);
}

int32_t CCfgxSession::SetElementStatus(uint32_t functionID, uint32_t elementID, uint32_t status) {
    if (!ValidStatus(status)) return KD_CFGX_ERR_BAD_ARGUMENT;
    int32_t result = KD_CFGX_OK;
    if (ListFunction(functionID, result) == nullptr) return result;
    cfx::Element* e = m_file.FindFunction(functionID)->FindElement(elementID);
    if (e == nullptr) return KD_CFGX_ERR_NO_ELEMENT;
    e->status = status;
    return KD_CFGX_OK;
}

int32_t CCfgxSession::GetFunctionAttribute(uint32_t functionID, uint32_t attribute, uint32_t* pValue) const {
    const cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    return GetAttribute(f->attributes, attribute, pValue);
}

int32_t CCfgxSession::SetFunctionAttribute(uint32_t functionID, uint32_t attribute, uint32_t value) {
    cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    return SetAttribute(f->attributes, attribute, value);
}

int32_t CCfgxSession::GetElementAttribute(uint32_t functionID, uint32_t elementID, uint32_t attribute,
                                          uint32_t* pValue) const {
    int32_t result = KD_CFGX_OK;
    const cfx::Function* f = ListFunction(functionID, result);
    if (f == nullptr) return result;
    const cfx::Element* e = f->FindElement(elementID);
    if (e == nullptr) return KD_CFGX_ERR_NO_ELEMENT;
    return GetAttribute(e->attributes, attribute, pValue);
}

int32_t CCfgxSession::SetElementAttribute(uint32_t functionID, uint32_t elementID, uint32_t attribute,
                                          uint32_t value) {
    int32_t result = KD_CFGX_OK;
    if (ListFunction(functionID, result) == nullptr) return result;
    cfx::Element* e = m_file.FindFunction(functionID)->FindElement(elementID);
    if (e == nullptr) return KD_CFGX_ERR_NO_ELEMENT;
    if (!ValidAttributeValue(attribute, value)) return KD_CFGX_ERR_BAD_ARGUMENT;
    return SetAttribute(e->attributes, attribute, value);
}

int32_t CCfgxSession::GetValueAttribute(uint32_t functionID, uint32_t attribute, int32_t* pValue) const {
    if (pValue == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    const cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    if (!f->isValue) return KD_CFGX_ERR_WRONG_KIND;
    if (attribute == KD_CFGX_VALUE_MINIMUM) *pValue = f->minimum;
    else if (attribute == KD_CFGX_VALUE_MAXIMUM) *pValue = f->maximum;
    else return KD_CFGX_ERR_NO_ATTRIBUTE;
    return KD_CFGX_OK;
}

// The limits stay ordered; the default and the current setting move inside new limits.
int32_t CCfgxSession::SetValueAttribute(uint32_t functionID, uint32_t attribute, int32_t value) {
    cfx::Function* f = m_file.FindFunction(functionID);
    if (f == nullptr) return KD_CFGX_ERR_NO_FUNCTION;
    if (!f->isValue) return KD_CFGX_ERR_WRONG_KIND;
    if (attribute == KD_CFGX_VALUE_MINIMUM) {
        if (value > f->maximum) return KD_CFGX_ERR_OUT_OF_RANGE;
        f->minimum = value;
    } else if (attribute == KD_CFGX_VALUE_MAXIMUM) {
        if (value < f->minimum) return KD_CFGX_ERR_OUT_OF_RANGE;
        f->maximum = value;
    } else {
        return KD_CFGX_ERR_NO_ATTRIBUTE;
    }
    f->defaultValue = std::clamp(f->defaultValue, f->minimum, f->maximum);
    auto& setting = m_settings[functionID];
    setting = static_cast<uint32_t>(std::clamp(static_cast<int32_t>(setting), f->minimum, f->maximum));
    return KD_CFGX_OK;
}

// ---- Tags ----------------------------------------------------------------------------------------

int32_t CCfgxSession::GetTag(uint32_t tagID, int32_t* pValue) const {
    if (pValue == nullptr) return KD_CFGX_ERR_BAD_ARGUMENT;
    const cfx::Tag* t = m_file.FindTag(tagID);
    if (t == nullptr) return KD_CFGX_ERR_NO_ATTRIBUTE;
    *pValue = static_cast<int32_t>(t->value);
    return KD_CFGX_OK;
}

int32_t CCfgxSession::SetTag(uint32_t tagID, int32_t value) {
    if (cfx::Tag* t = m_file.FindTag(tagID)) {
        t->value = static_cast<uint32_t>(value);
        return KD_CFGX_OK;
    }
    if (m_file.tags.size() >= cfx::kMaxTags) return KD_CFGX_ERR_LIMIT;
    m_file.tags.push_back({tagID, {}, static_cast<uint32_t>(value)});
    return KD_CFGX_OK;
}
