// CfxFile: a driver configuration (CFX) file in memory, and its JSON form.
//
// A CFX file lists the driver's functions (paper size, quality, input bin, ...). A list function
// has elements (A4, Fast, Tray 1, ...) and a default element; a value function (copies, custom
// width) has a minimum, a maximum and a default value. Functions and elements carry a status
// (shown, disabled, hidden) and numbered 32-bit attributes. The file also holds the tags of the
// driver's logical printer data, the prohibit groups (element combinations the driver refuses),
// a version string and a custom version number. modules/cfgx/README.md documents the JSON form.
//
// ReadCfx checks everything before it hands out a model: the size and nesting depth of the text
// first, then every member's type and range, unique IDs, and that every default and prohibit
// item names an element that exists. A model that ReadCfx returned (and that was edited only
// through the checked operations of the module) always writes out as a file ReadCfx accepts.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cfx {

// ---- Caps: a file beyond any of them is refused, and edits stop at them ----------------------
inline constexpr size_t kMaxFileSize = 4u * 1024u * 1024u;  // bytes of the JSON text
inline constexpr int kMaxDepth = 8;                  // nesting of arrays and objects; the format needs 6
inline constexpr size_t kMaxFunctions = 1024;
inline constexpr size_t kMaxElementsPerFunction = 4096;
inline constexpr size_t kMaxElements = 65536;        // in the whole file
inline constexpr size_t kMaxAttributes = 64;         // per function or element
inline constexpr uint32_t kMaxAttributeNumber = 0xFFFF;
inline constexpr size_t kMaxTags = 1024;
inline constexpr size_t kMaxGroups = 16384;
inline constexpr size_t kMaxGroupItems = 16;         // items of one prohibit group
inline constexpr size_t kMaxNameBytes = 256;         // UTF-8 bytes of a name or comment
inline constexpr size_t kMaxVersionUnits = 63;       // UTF-16 units of the version string

inline constexpr std::string_view kFormatName = "vanto-cfx";
inline constexpr uint32_t kFormatVersion = 1;

// Printer categories (the category a source file is for).
inline constexpr uint32_t kCategoryERD = 0;
inline constexpr uint32_t kCategoryInkjet = 1;
inline constexpr uint32_t kCategoryPage = 2;

// Status of a function or element.
inline constexpr uint32_t kStatusShown = 1;
inline constexpr uint32_t kStatusDisabled = 2;  // shown but cannot be chosen
inline constexpr uint32_t kStatusHidden = 3;

// Element attributes the module gives a meaning to (all others are carried as they are).
inline constexpr uint32_t kAttrAvailable = 16;         // 1 available, 0 not; absent = available
inline constexpr uint32_t kAttrQualitySupported = 20;  // 0 or 1
inline constexpr uint32_t kAttrNotReported = 24;       // 0 or 1
inline constexpr uint32_t kAttrFlags = 27;             // flag word

using Attributes = std::map<uint32_t, uint32_t>;  // number -> value, written in number order

struct Element {
    uint32_t id = 0;
    std::string name;     // UTF-8
    std::string comment;  // kept through a save; empty when absent
    uint32_t status = kStatusShown;
    Attributes attributes;
};

struct Function {
    uint32_t id = 0;
    std::string name;
    std::string comment;
    uint32_t status = kStatusShown;
    bool locked = false;  // the setting stays at its default
    Attributes attributes;
    bool isValue = false;
    // List functions.
    std::vector<Element> elements;
    std::optional<uint32_t> defaultElement;
    // Value functions: minimum <= defaultValue <= maximum.
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t defaultValue = 0;

    const Element* FindElement(uint32_t elementID) const;
    Element* FindElement(uint32_t elementID);
    // Rebuilds the element index; call after changing `elements`.
    void IndexElements();

private:
    std::unordered_map<uint32_t, size_t> m_elementIndex;
};

struct Tag {
    uint32_t id = 0;
    std::string name;  // the driver's name of the tag, empty when unknown
    uint32_t value = 0;
};

struct ProhibitItem {
    uint32_t functionID = 0;
    uint32_t elementID = 0;
    uint32_t inversion = 0;     // 0 or 1
    uint32_t subelementID = 0;  // 0 for none

    bool operator==(const ProhibitItem&) const = default;
};

struct ProhibitGroup {
    std::vector<ProhibitItem> items;  // 1 to kMaxGroupItems
    std::string comment;
};

// True when both hold the same items by function, element and inversion, in any order.
bool SameItems(const std::vector<ProhibitItem>& a, const std::vector<ProhibitItem>& b);

struct CfxFile {
    uint32_t category = kCategoryPage;
    std::string description;
    std::string version;  // UTF-8, at most kMaxVersionUnits UTF-16 units, no control characters
    uint32_t customVersion = 0;
    std::vector<Tag> tags;
    std::vector<Function> functions;
    std::vector<ProhibitGroup> prohibits;
    std::string comment;

    const Function* FindFunction(uint32_t functionID) const;
    Function* FindFunction(uint32_t functionID);
    Tag* FindTag(uint32_t tagID);
    const Tag* FindTag(uint32_t tagID) const;
    size_t ElementCount() const;
    // Rebuilds the function index (and each function's element index).
    void Index();

private:
    std::unordered_map<uint32_t, size_t> m_functionIndex;
};

// Outcome of ReadCfx: the model, or the reason it was refused.
struct ReadResult {
    std::optional<CfxFile> file;
    bool tooLarge = false;  // refused for its size alone
    std::string error;      // one line naming the member at fault
};

ReadResult ReadCfx(std::string_view text);
// The JSON form: one line per element, tag and prohibit group, members in a fixed order.
std::string WriteCfx(const CfxFile& file);

// Status names of the JSON form ("shown", "disabled", "hidden"); nullptr for other values.
const char* StatusName(uint32_t status);

// UTF-16 <-> UTF-8 for names and the version string. FromUtf16 fails on unpaired surrogates.
std::optional<std::string> FromUtf16(std::u16string_view text);
std::u16string ToUtf16(std::string_view utf8);  // input already checked as UTF-8
// True when the UTF-8 text holds a C0 or C1 control character or DEL: such texts are refused in
// names and versions, because they end up on terminals.
bool HasControlCharacter(std::string_view utf8);
// UTF-16 units the UTF-8 text takes.
size_t Utf16Length(std::string_view utf8);

}  // namespace cfx
