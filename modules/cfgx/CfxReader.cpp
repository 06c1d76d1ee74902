// ReadCfx: the JSON form of a CFX file into the model, checked member by member.
//
// Order of the checks: the text's size, then its nesting depth (counted over the raw bytes, so
// the JSON parser never sees a file nested deeper than the format can be), then the JSON syntax,
// then the members: each has one type and range, unknown members are refused (a misspelt member
// must not be ignored silently), IDs are unique, and defaults and prohibit items name elements
// that exist. Every failure names the member at fault, for example
// "functions[4].elements[2].id: duplicate element 9".
#include "modules/cfgx/CfxFile.h"

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <limits>
#include <new>
#include <stdexcept>
#include <unordered_set>

namespace cfx {

namespace {

using json = nlohmann::json;

struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) { throw FormatError(where + ": " + what); }

// Deepest nesting of arrays and objects, counted outside strings; stops early past the cap.
bool DepthWithinCap(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// A piece of file text fit for an error line: printable ASCII only, at most `max` bytes.
std::string Printable(std::string_view text, size_t max) {
    std::string out;
    for (char c : text.substr(0, max)) out += c >= 0x20 && c < 0x7F ? c : '?';
    return out;
}

// Refuses members other than the named ones (and "comment", allowed everywhere).
void OnlyMembers(const json& object, const std::string& where, std::initializer_list<const char*> names) {
    for (const auto& [key, value] : object.items()) {
        if (key == "comment") continue;
        bool known = false;
        for (const char* n : names) known = known || key == n;
        if (!known) Fail(where, "unknown member \"" + Printable(key, 40) + "\"");
    }
}

const json& Member(const json& object, const std::string& where, const char* name) {
    auto it = object.find(name);
    if (it == object.end()) Fail(where, std::string("missing member \"") + name + "\"");
    return *it;
}

const json& Object(const json& value, const std::string& where) {
    if (!value.is_object()) Fail(where, "not an object");
    return value;
}

const json& Array(const json& value, const std::string& where, size_t cap) {
    if (!value.is_array()) Fail(where, "not an array");
    if (value.size() > cap) Fail(where, "more than " + std::to_string(cap) + " entries");
    return value;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A 32-bit unsigned number: a JSON integer, or a text "0x" with one to eight hex digits.
uint32_t U32(const json& value, const std::string& where) {
    if (value.is_number_unsigned()) {
        const auto v = value.get<uint64_t>();
        if (v > std::numeric_limits<uint32_t>::max()) Fail(where, "number above 0xFFFFFFFF");
        return static_cast<uint32_t>(v);
    }
    if (value.is_number_integer()) Fail(where, "negative number");
    if (value.is_string()) {
        const auto& s = value.get_ref<const std::string&>();
        if (s.size() < 3 || s.size() > 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
            Fail(where, "text is not a hexadecimal number 0x0 to 0xFFFFFFFF");
        uint32_t v = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            const int d = HexDigit(s[i]);
            if (d < 0) Fail(where, "text is not a hexadecimal number 0x0 to 0xFFFFFFFF");
            v = (v << 4) | static_cast<uint32_t>(d);
        }
        return v;
    }
    Fail(where, "not an unsigned integer");
}

int32_t I32(const json& value, const std::string& where) {
    if (value.is_number_unsigned()) {
        const auto v = value.get<uint64_t>();
        if (v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) Fail(where, "number out of 32-bit range");
        return static_cast<int32_t>(v);
    }
    if (value.is_number_integer()) {
        const auto v = value.get<int64_t>();
        if (v < std::numeric_limits<int32_t>::min()) Fail(where, "number out of 32-bit range");
        return static_cast<int32_t>(v);
    }
    Fail(where, "not an integer");
}

// A text of at most kMaxNameBytes without control characters (names end up on terminals).
std::string Text(const json& value, const std::string& where, size_t maxBytes = kMaxNameBytes) {
    if (!value.is_string()) Fail(where, "not a text");
    const auto& s = value.get_ref<const std::string&>();
    if (s.size() > maxBytes) Fail(where, "longer than " + std::to_string(maxBytes) + " bytes");
    if (HasControlCharacter(s)) Fail(where, "control character in text");
    return s;
}

std::string OptionalComment(const json& object, const std::string& where) {
    auto it = object.find("comment");
    return it == object.end() ? std::string() : Text(*it, where + ".comment");
}

uint32_t Status(const json& object, const std::string& where) {
    auto it = object.find("status");
    if (it == object.end()) return kStatusShown;
    if (!it->is_string()) Fail(where + ".status", "not one of \"shown\", \"disabled\", \"hidden\"");
    const auto& s = it->get_ref<const std::string&>();
    for (uint32_t status : {kStatusShown, kStatusDisabled, kStatusHidden})
        if (s == StatusName(status)) return status;
    Fail(where + ".status", "not one of \"shown\", \"disabled\", \"hidden\"");
}

// The attribute numbers must be written in decimal without leading zeros, so that one number
// has one spelling and a file cannot hold the same attribute twice.
uint32_t AttributeNumber(const std::string& key, const std::string& where) {
    const std::string bad = "attribute \"" + Printable(key, 12) + "\" is not a decimal number 0 to 65535";
    if (key.empty() || key.size() > 5 || (key.size() > 1 && key[0] == '0')) Fail(where, bad);
    uint32_t n = 0;
    for (char c : key) {
        if (c < '0' || c > '9') Fail(where, bad);
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    if (n > kMaxAttributeNumber) Fail(where, "attribute " + key + " above 65535");
    return n;
}

// Attribute values with a fixed range.
void CheckAttributeValue(uint32_t number, uint32_t value, const std::string& where) {
    if ((number == kAttrAvailable || number == kAttrQualitySupported || number == kAttrNotReported) && value > 1)
        Fail(where, "attribute " + std::to_string(number) + " is 0 or 1");
}

Attributes ReadAttributes(const json& object, const std::string& where, bool isElement) {
    Attributes attributes;
    auto it = object.find("attributes");
    if (it == object.end()) return attributes;
    const std::string at = where + ".attributes";
    Object(*it, at);
    if (it->size() > kMaxAttributes) Fail(at, "more than " + std::to_string(kMaxAttributes) + " attributes");
    for (const auto& [key, value] : it->items()) {
        const uint32_t number = AttributeNumber(key, at);
        const uint32_t v = U32(value, at + "." + key);
        if (isElement) CheckAttributeValue(number, v, at + "." + key);
        attributes.emplace(number, v);
    }
    return attributes;
}

Element ReadElement(const json& value, const std::string& where) {
    Object(value, where);
    OnlyMembers(value, where, {"id", "name", "status", "attributes"});
    Element e;
    e.id = U32(Member(value, where, "id"), where + ".id");
    e.name = Text(Member(value, where, "name"), where + ".name");
    e.comment = OptionalComment(value, where);
    e.status = Status(value, where);
    e.attributes = ReadAttributes(value, where, true);
    return e;
}

Function ReadFunction(const json& value, const std::string& where, size_t& elementTotal) {
    Object(value, where);
    Function f;
    f.id = U32(Member(value, where, "id"), where + ".id");
    f.name = Text(Member(value, where, "name"), where + ".name");
    f.comment = OptionalComment(value, where);
    f.status = Status(value, where);
    if (auto it = value.find("locked"); it != value.end()) {
        if (!it->is_boolean()) Fail(where + ".locked", "not true or false");
        f.locked = it->get<bool>();
    }
    f.attributes = ReadAttributes(value, where, false);

    std::string kind = "list";
    if (auto it = value.find("kind"); it != value.end()) kind = Text(*it, where + ".kind");
    if (kind == "value") {
        OnlyMembers(value, where, {"id", "name", "status", "locked", "attributes", "kind", "minimum", "maximum", "default"});
        f.isValue = true;
        f.minimum = I32(Member(value, where, "minimum"), where + ".minimum");
        f.maximum = I32(Member(value, where, "maximum"), where + ".maximum");
        f.defaultValue = I32(Member(value, where, "default"), where + ".default");
        if (f.minimum > f.maximum) Fail(where, "minimum above maximum");
        if (f.defaultValue < f.minimum || f.defaultValue > f.maximum) Fail(where + ".default", "outside minimum and maximum");
        return f;
    }
    if (kind != "list") Fail(where + ".kind", "not \"list\" or \"value\"");
    OnlyMembers(value, where, {"id", "name", "status", "locked", "attributes", "kind", "elements", "default"});
    const std::string at = where + ".elements";
    const json& elements = Array(Member(value, where, "elements"), at, kMaxElementsPerFunction);
    elementTotal += elements.size();
    if (elementTotal > kMaxElements) Fail(at, "more than " + std::to_string(kMaxElements) + " elements in the file");
    f.elements.reserve(elements.size());
    std::unordered_set<uint32_t> ids;
    for (size_t i = 0; i < elements.size(); ++i) {
        const std::string ew = at + "[" + std::to_string(i) + "]";
        Element e = ReadElement(elements[i], ew);
        if (!ids.insert(e.id).second) Fail(ew + ".id", "duplicate element " + std::to_string(e.id));
        f.elements.push_back(std::move(e));
    }
    if (auto it = value.find("default"); it != value.end()) {
        const uint32_t d = U32(*it, where + ".default");
        if (!ids.contains(d)) Fail(where + ".default", "element " + std::to_string(d) + " does not exist");
        f.defaultElement = d;
    }
    return f;
}

Tag ReadTag(const json& value, const std::string& where) {
    Object(value, where);
    OnlyMembers(value, where, {"id", "name", "value"});
    Tag t;
    t.id = U32(Member(value, where, "id"), where + ".id");
    if (auto it = value.find("name"); it != value.end()) t.name = Text(*it, where + ".name");
    t.value = U32(Member(value, where, "value"), where + ".value");
    return t;
}

ProhibitItem ReadItem(const json& value, const std::string& where, const CfxFile& file) {
    Object(value, where);
    OnlyMembers(value, where, {"function", "element", "inversion", "subElement"});
    ProhibitItem item;
    item.functionID = U32(Member(value, where, "function"), where + ".function");
    item.elementID = U32(Member(value, where, "element"), where + ".element");
    if (auto it = value.find("inversion"); it != value.end()) {
        item.inversion = U32(*it, where + ".inversion");
        if (item.inversion > 1) Fail(where + ".inversion", "not 0 or 1");
    }
    if (auto it = value.find("subElement"); it != value.end()) item.subelementID = U32(*it, where + ".subElement");

    const Function* f = file.FindFunction(item.functionID);
    if (!f) Fail(where + ".function", "function " + std::to_string(item.functionID) + " does not exist");
    if (f->isValue) Fail(where + ".function", "function " + std::to_string(item.functionID) + " has no elements");
    if (!f->FindElement(item.elementID))
        Fail(where + ".element", "function " + std::to_string(item.functionID) + " has no element " +
                                     std::to_string(item.elementID));
    if (item.subelementID != 0 && !f->FindElement(item.subelementID))
        Fail(where + ".subElement", "function " + std::to_string(item.functionID) + " has no element " +
                                        std::to_string(item.subelementID));
    return item;
}

CfxFile ReadRoot(const json& root) {
    const std::string where = "file";
    Object(root, where);
    OnlyMembers(root, where,
                {"format", "formatVersion", "category", "description", "version", "customVersion", "tags", "functions",
                 "prohibits"});
    if (Text(Member(root, where, "format"), "format") != kFormatName)
        Fail("format", "not \"" + std::string(kFormatName) + "\"");
    if (U32(Member(root, where, "formatVersion"), "formatVersion") != kFormatVersion)
        Fail("formatVersion", "not " + std::to_string(kFormatVersion));

    CfxFile file;
    file.comment = OptionalComment(root, where);
    file.category = U32(Member(root, where, "category"), "category");
    if (file.category > kCategoryPage) Fail("category", "not 0 (ERD), 1 (ink-jet) or 2 (page)");
    if (auto it = root.find("description"); it != root.end()) file.description = Text(*it, "description");
    file.version = Text(Member(root, where, "version"), "version");
    if (Utf16Length(file.version) > kMaxVersionUnits)
        Fail("version", "longer than " + std::to_string(kMaxVersionUnits) + " characters");
    if (auto it = root.find("customVersion"); it != root.end()) file.customVersion = U32(*it, "customVersion");

    if (auto it = root.find("tags"); it != root.end()) {
        const json& tags = Array(*it, "tags", kMaxTags);
        std::unordered_set<uint32_t> ids;
        for (size_t i = 0; i < tags.size(); ++i) {
            const std::string tw = "tags[" + std::to_string(i) + "]";
            Tag t = ReadTag(tags[i], tw);
            if (!ids.insert(t.id).second) Fail(tw + ".id", "duplicate tag " + std::to_string(t.id));
            file.tags.push_back(std::move(t));
        }
    }

    const json& functions = Array(Member(root, where, "functions"), "functions", kMaxFunctions);
    std::unordered_set<uint32_t> ids;
    size_t elementTotal = 0;
    file.functions.reserve(functions.size());
    for (size_t i = 0; i < functions.size(); ++i) {
        const std::string fw = "functions[" + std::to_string(i) + "]";
        Function f = ReadFunction(functions[i], fw, elementTotal);
        if (!ids.insert(f.id).second) Fail(fw + ".id", "duplicate function " + std::to_string(f.id));
        file.functions.push_back(std::move(f));
    }
    file.Index();

    if (auto it = root.find("prohibits"); it != root.end()) {
        const json& groups = Array(*it, "prohibits", kMaxGroups);
        file.prohibits.reserve(groups.size());
        for (size_t i = 0; i < groups.size(); ++i) {
            const std::string gw = "prohibits[" + std::to_string(i) + "]";
            Object(groups[i], gw);
            OnlyMembers(groups[i], gw, {"items"});
            const json& items = Array(Member(groups[i], gw, "items"), gw + ".items", kMaxGroupItems);
            if (items.empty()) Fail(gw + ".items", "empty group");
            ProhibitGroup group;
            group.comment = OptionalComment(groups[i], gw);
            for (size_t k = 0; k < items.size(); ++k)
                group.items.push_back(ReadItem(items[k], gw + ".items[" + std::to_string(k) + "]", file));
            file.prohibits.push_back(std::move(group));
        }
    }
    return file;
}

}  // namespace

ReadResult ReadCfx(std::string_view text) {
    ReadResult result;
    if (text.size() > kMaxFileSize) {
        result.tooLarge = true;
        result.error = "file: larger than " + std::to_string(kMaxFileSize) + " bytes";
        return result;
    }
    if (!DepthWithinCap(text)) {
        result.error = "file: nested deeper than " + std::to_string(kMaxDepth) + " levels";
        return result;
    }
    try {
        const json root = json::parse(text.begin(), text.end());
        result.file = ReadRoot(root);
    } catch (const json::parse_error& e) {
        result.error = std::string("file: not JSON (") + e.what() + ")";
    } catch (const FormatError& e) {
        result.error = e.what();
    } catch (const json::exception& e) {
        result.error = std::string("file: ") + e.what();
    } catch (const std::bad_alloc&) {
        result.error = "file: out of memory";
    }
    if (!result.error.empty()) result.file.reset();
    return result;
}

}  // namespace cfx
