// Conversions between UTF-16 and 8-bit code pages: the prefix's ANSI code page (registry
// "SYSTEM\CurrentControlSet\Control\Nls\CodePage" value "ACP"), UTF-8, and any code page that
// iconv knows as "CP<n>".
//
// Code page 1252 uses its own table, which maps the five bytes the code page leaves unassigned
// to the control characters of the same value, as Windows does. Characters a code page cannot
// represent become the default character ('?'); there are no "best fit" look-alikes (as with
// WC_NO_BEST_FIT_CHARS). A result that does not fit the caller's buffer fails with
// ERROR_INSUFFICIENT_BUFFER after writing what fits.
#include "platform/HandleTable.h"
#include "platform/RegistryAccess.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <mutex>

using namespace vplat::detail;

namespace {
constexpr UINT kDefaultAcp = 1252;
constexpr UINT kJapaneseAcp = 932;
constexpr UINT kUsOemCp = 437;
constexpr UINT kWindows1252 = 1252;
constexpr char16_t kReplacementChar = 0xFFFD;
constexpr char kDefaultChar = '?';
constexpr size_t kMaxInputBytes = 64 * 1024 * 1024;  // longest zero-terminated input scanned

// Flags each direction accepts for code pages other than UTF-8.
constexpr DWORD kMbFlagsAllowed = 0x1 /*PRECOMPOSED*/ | 0x2 /*COMPOSITE*/ | 0x4 /*USEGLYPHCHARS*/ | MB_ERR_INVALID_CHARS;
constexpr DWORD kWcFlagsAllowed = 0x10 /*DISCARDNS*/ | 0x20 /*SEPCHARS*/ | 0x40 /*DEFAULTCHAR*/ |
                                  0x200 /*COMPOSITECHECK*/ | WC_NO_BEST_FIT_CHARS;

// Bytes 0x80..0x9F of code page 1252; the rest of the page is Latin-1.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t From1252(unsigned char b) { return (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : b; }

// The 1252 byte of a character, or -1.
int To1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] == c) return 0x80 + i;
    return -1;
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (Ok()) iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

std::string IconvName(UINT cp) { return cp == kJapaneseAcp ? "CP932" : "CP" + std::to_string(cp); }

bool CodePageKnown(UINT cp) {
    if (cp == CP_UTF8 || cp == kWindows1252) return true;
    Iconv probe("UTF-16LE", IconvName(cp).c_str());
    return probe.Ok();
}

struct AcpCache {
    std::mutex lock;
    std::string database;
    uint64_t stamp = 0;
    UINT acp = kDefaultAcp;
    bool valid = false;
};

// 0 for an unsupported code page identifier.
UINT ResolveCodePage(UINT cp) {
    if (cp == CP_ACP || cp == CP_THREAD_ACP) return GetACP();
    if (cp == CP_OEMCP) return GetACP() == kJapaneseAcp ? kJapaneseAcp : kUsOemCp;
    if (cp == 2 /*CP_MACCP*/ || cp == 42 /*CP_SYMBOL*/ || cp == 65000 /*CP_UTF7*/) return 0;
    return CodePageKnown(cp) ? cp : 0;
}

enum class Outcome { Ok, Invalid, Unsupported };

Outcome DecodeUtf8(std::string_view in, bool strict, std::u16string& out) {
    out = FromUtf8(in);
    if (strict && out.find(kReplacementChar) != std::u16string::npos && ToUtf8(out) != in) return Outcome::Invalid;
    return Outcome::Ok;
}

Outcome DecodeIconv(UINT cp, std::string_view in, bool strict, std::u16string& out) {
    Iconv cd("UTF-16LE", IconvName(cp).c_str());
    if (!cd.Ok()) return Outcome::Unsupported;
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    std::u16string chunk(256, u'\0');
    while (left > 0) {
        char* dst = reinterpret_cast<char*>(chunk.data());
        size_t room = chunk.size() * sizeof(char16_t);
        const size_t rc = iconv(cd.Get(), &src, &left, &dst, &room);
        out.append(chunk.data(), (chunk.size() * sizeof(char16_t) - room) / sizeof(char16_t));
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // An invalid or incomplete sequence: one replacement, then go on after its first byte.
        if (strict) return Outcome::Invalid;
        out.push_back(kReplacementChar);
        ++src;
        --left;
        iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return Outcome::Ok;
}

Outcome EncodeIconv(UINT cp, std::u16string_view in, std::string_view defaultChar, std::string& out, bool& usedDefault) {
    Iconv cd(IconvName(cp).c_str(), "UTF-16LE");
    if (!cd.Ok()) return Outcome::Unsupported;
    out.clear();
    char* src = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
    size_t left = in.size() * sizeof(char16_t);
    std::string chunk(512, '\0');
    while (left > 0) {
        char* dst = chunk.data();
        size_t room = chunk.size();
        const size_t rc = iconv(cd.Get(), &src, &left, &dst, &room);
        out.append(chunk.data(), chunk.size() - room);
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // A character without a representation (or a lone surrogate): the default character.
        out.append(defaultChar);
        usedDefault = true;
        size_t skip = sizeof(char16_t);
        char16_t unit = 0;
        std::memcpy(&unit, src, sizeof unit);
        if (unit >= 0xD800 && unit <= 0xDBFF && left >= 2 * sizeof(char16_t)) {
            char16_t next = 0;
            std::memcpy(&next, src + sizeof(char16_t), sizeof next);
            if (next >= 0xDC00 && next <= 0xDFFF) skip *= 2;
        }
        src += std::min(skip, left);
        left -= std::min(skip, left);
        iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
    }
    return Outcome::Ok;
}
}  // namespace

UINT GetACP() {
    static AcpCache* cache = new AcpCache;  // shared by every thread for the life of the process
    LSTATUS status = ERROR_SUCCESS;
    auto db = RegistryDb::Current(status);
    if (!db) return kDefaultAcp;
    std::lock_guard guard(cache->lock);
    const uint64_t stamp = db->ChangeStamp();
    if (cache->valid && cache->database == db->Path() && cache->stamp == stamp) return cache->acp;
    UINT acp = kDefaultAcp;
    int64_t key = 0;
    if (db->OpenKey(RegistryDb::kLocalMachine, vplat::kCodePageKey, key) == ERROR_SUCCESS) {
        if (auto text = GetString(*db, key, u"ACP")) {
            uint64_t value = 0;
            bool digits = !text->empty() && text->size() <= 5;
            for (char16_t c : *text) {
                if (c < u'0' || c > u'9') digits = false;
                value = value * 10 + (c - u'0');
            }
            if (digits && value > 0 && value < CP_UTF8 + 1 && CodePageKnown(static_cast<UINT>(value)))
                acp = static_cast<UINT>(value);
        }
    }
    cache->database = db->Path();
    cache->stamp = stamp;
    cache->acp = acp;
    cache->valid = true;
    return acp;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    const UINT cp = ResolveCodePage(CodePage);
    if (cp == 0) return Fail(ERROR_INVALID_PARAMETER, 0);
    const DWORD allowed = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : kMbFlagsAllowed;
    if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS, 0);
    std::string_view in;
    if (cbMultiByte == -1) {
        auto text = CallerText(lpMultiByteStr, kMaxInputBytes);
        if (!text) return Fail(ERROR_INVALID_PARAMETER, 0);
        in = std::string_view(text->data(), text->size() + 1);  // the terminator is converted too
    } else {
        in = std::string_view(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
    }
    const bool strict = dwFlags & MB_ERR_INVALID_CHARS;
    std::u16string out;
    Outcome outcome = Outcome::Ok;
    if (cp == CP_UTF8) {
        outcome = DecodeUtf8(in, strict, out);
    } else if (cp == kWindows1252) {
        out.reserve(in.size());
        for (char c : in) out.push_back(From1252(static_cast<unsigned char>(c)));
    } else {
        outcome = DecodeIconv(cp, in, strict, out);
    }
    if (outcome == Outcome::Unsupported) return Fail(ERROR_INVALID_PARAMETER, 0);
    if (outcome == Outcome::Invalid) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    if (out.size() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER, 0);
    const int needed = static_cast<int>(out.size());
    if (cchWideChar == 0) return needed;
    if (needed > cchWideChar) {
        std::memcpy(lpWideCharStr, out.data(), static_cast<size_t>(cchWideChar) * sizeof(char16_t));
        return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    if (needed) std::memcpy(lpWideCharStr, out.data(), out.size() * sizeof(char16_t));
    return needed;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr))
        return Fail(ERROR_INVALID_PARAMETER, 0);
    const UINT cp = ResolveCodePage(CodePage);
    if (cp == 0) return Fail(ERROR_INVALID_PARAMETER, 0);
    if (cp == CP_UTF8) {
        if (lpDefaultChar || lpUsedDefaultChar) return Fail(ERROR_INVALID_PARAMETER, 0);
        if (dwFlags & ~WC_ERR_INVALID_CHARS) return Fail(ERROR_INVALID_FLAGS, 0);
    } else if (dwFlags & ~kWcFlagsAllowed) {
        return Fail(ERROR_INVALID_FLAGS, 0);
    }
    std::u16string_view in;
    if (cchWideChar == -1) {
        auto text = CallerText(lpWideCharStr, kMaxInputBytes / 2);
        if (!text) return Fail(ERROR_INVALID_PARAMETER, 0);
        in = std::u16string_view(text->data(), text->size() + 1);
    } else {
        in = std::u16string_view(lpWideCharStr, static_cast<size_t>(cchWideChar));
    }
    std::string defaultChar(1, kDefaultChar);
    if (lpDefaultChar) {
        auto text = CallerText(lpDefaultChar, 2);  // one character of at most two bytes
        if (!text || text->empty()) return Fail(ERROR_INVALID_PARAMETER, 0);
        defaultChar = std::string(*text);
    }
    std::string out;
    bool usedDefault = false;
    if (cp == CP_UTF8) {
        out = ToUtf8(in);
        if ((dwFlags & WC_ERR_INVALID_CHARS) && FromUtf8(out) != in) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    } else if (cp == kWindows1252) {
        out.reserve(in.size());
        for (size_t i = 0; i < in.size(); ++i) {
            const int b = To1252(in[i]);
            if (b >= 0) {
                out.push_back(static_cast<char>(b));
                continue;
            }
            out.append(defaultChar);
            usedDefault = true;
            if (in[i] >= 0xD800 && in[i] <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) ++i;
        }
    } else if (EncodeIconv(cp, in, defaultChar, out, usedDefault) != Outcome::Ok) {
        return Fail(ERROR_INVALID_PARAMETER, 0);
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    if (out.size() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER, 0);
    const int needed = static_cast<int>(out.size());
    if (cbMultiByte == 0) return needed;
    if (needed > cbMultiByte) {
        std::memcpy(lpMultiByteStr, out.data(), static_cast<size_t>(cbMultiByte));
        return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    if (needed) std::memcpy(lpMultiByteStr, out.data(), out.size());
    return needed;
}
