// UTF-8/UTF-16 helpers and case folding used throughout the stand-in platform.
#include "platform/TextUtil.h"

#include <algorithm>

namespace vplat::detail {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}
}  // namespace

std::optional<std::u16string_view> CallerText(const char16_t* text, size_t limit) {
    if (!text) return std::nullopt;
    for (size_t n = 0; n <= limit; ++n)
        if (text[n] == 0) return std::u16string_view(text, n);
    return std::nullopt;
}

std::optional<std::string_view> CallerText(const char* text, size_t limit) {
    if (!text) return std::nullopt;
    for (size_t n = 0; n <= limit; ++n)
        if (text[n] == 0) return std::string_view(text, n);
    return std::nullopt;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        size_t len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, cp = b & 0x07, min = 0x10000;
        }
        size_t k = 1;
        if (len != 0) {
            for (; k < len && i + k < text.size(); ++k) {
                const auto t = static_cast<unsigned char>(text[i + k]);
                if ((t & 0xC0) != 0x80) break;
                cp = (cp << 6) | (t & 0x3F);
            }
        }
        if (len == 0 || k != len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            // One replacement per maximal bad sequence: skip the lead and its continuation bytes.
            out.push_back(static_cast<char16_t>(kReplacement));
            i += std::max<size_t>(k, 1);
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

char16_t FoldChar(char16_t c) {
    if (c >= u'A' && c <= u'Z') return c + 32;
    if (c < 0xC0) return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;     // Latin-1 capitals
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x178) {
        // Latin Extended-A pairs capital/small by parity (with a shift between 0x139 and 0x148).
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddPairs ? (c % 2 == 1) : (c % 2 == 0)) return c + 1;
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;    // Greek capitals
    if (c >= 0x410 && c <= 0x42F) return c + 32;                  // Cyrillic capitals
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;                // full-width Latin capitals
    return c;
}

std::u16string Fold(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) c = FoldChar(c);
    return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

bool EqualNoCaseUtf8(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return EqualNoCase(FromUtf8(a), FromUtf8(b));
}

void CopyWithTerminator(std::u16string_view text, char16_t* buffer) {
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
}

}  // namespace vplat::detail
