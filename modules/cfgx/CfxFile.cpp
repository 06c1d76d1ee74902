// CfxFile: lookups by ID, prohibit group comparison and the UTF-16 conversions of the model.
#include "modules/cfgx/CfxFile.h"

#include <algorithm>

namespace cfx {

const Element* Function::FindElement(uint32_t elementID) const {
    auto it = m_elementIndex.find(elementID);
    return it == m_elementIndex.end() ? nullptr : &elements[it->second];
}

Element* Function::FindElement(uint32_t elementID) {
    auto it = m_elementIndex.find(elementID);
    return it == m_elementIndex.end() ? nullptr : &elements[it->second];
}

void Function::IndexElements() {
    m_elementIndex.clear();
    m_elementIndex.reserve(elements.size());
    for (size_t i = 0; i < elements.size(); ++i) m_elementIndex.emplace(elements[i].id, i);
}

const Function* CfxFile::FindFunction(uint32_t functionID) const {
    auto it = m_functionIndex.find(functionID);
    return it == m_functionIndex.end() ? nullptr : &functions[it->second];
}

Function* CfxFile::FindFunction(uint32_t functionID) {
    auto it = m_functionIndex.find(functionID);
    return it == m_functionIndex.end() ? nullptr : &functions[it->second];
}

const Tag* CfxFile::FindTag(uint32_t tagID) const {
    auto it = std::find_if(tags.begin(), tags.end(), [&](const Tag& t) { return t.id == tagID; });
    return it == tags.end() ? nullptr : &*it;
}

Tag* CfxFile::FindTag(uint32_t tagID) {
    auto it = std::find_if(tags.begin(), tags.end(), [&](const Tag& t) { return t.id == tagID; });
    return it == tags.end() ? nullptr : &*it;
}

size_t CfxFile::ElementCount() const {
    size_t n = 0;
    for (const Function& f : functions) n += f.elements.size();
    return n;
}

void CfxFile::Index() {
    m_functionIndex.clear();
    m_functionIndex.reserve(functions.size());
    for (size_t i = 0; i < functions.size(); ++i) {
        m_functionIndex.emplace(functions[i].id, i);
        functions[i].IndexElements();
    }
}

bool SameItems(const std::vector<ProhibitItem>& a, const std::vector<ProhibitItem>& b) {
    if (a.size() != b.size()) return false;
    // Groups are at most kMaxGroupItems long: compare as multisets by matching each item once.
    std::vector<bool> used(b.size(), false);
    for (const ProhibitItem& x : a) {
        bool found = false;
        for (size_t j = 0; j < b.size() && !found; ++j) {
            if (used[j]) continue;
            if (x.functionID == b[j].functionID && x.elementID == b[j].elementID && x.inversion == b[j].inversion) {
                used[j] = true;
                found = true;
            }
        }
        if (!found) return false;
    }
    return true;
}

const char* StatusName(uint32_t status) {
    switch (status) {
        case kStatusShown: return "shown";
        case kStatusDisabled: return "disabled";
        case kStatusHidden: return "hidden";
        default: return nullptr;
    }
}

std::optional<std::string> FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {
// Decodes one UTF-8 sequence at `i` (the text is known to be valid UTF-8); advances `i`.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    size_t n = b0 < 0x80 ? 1 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
    if (i + n > s.size()) n = s.size() - i;  // cannot happen for checked text; stay in bounds anyway
    uint32_t c = n == 1 ? b0 : n == 2 ? (b0 & 0x1Fu) : n == 3 ? (b0 & 0x0Fu) : (b0 & 0x07u);
    for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    i += n;
    return c;
}
}  // namespace

std::u16string ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = NextCodePoint(utf8, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

bool HasControlCharacter(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size();) {
        const uint32_t c = NextCodePoint(utf8, i);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    }
    return false;
}

size_t Utf16Length(std::string_view utf8) {
    size_t n = 0;
    for (size_t i = 0; i < utf8.size();) n += NextCodePoint(utf8, i) >= 0x10000 ? 2 : 1;
    return n;
}

}  // namespace cfx
