// GUID creation (random, version 4) and the 38-character braced text form.
#include "platform/HandleTable.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {
constexpr HRESULT kFailHresult = static_cast<HRESULT>(0x80004005);  // E_FAIL
constexpr int kGuidTextChars = 38;                                   // without the terminator
constexpr uint16_t kVersion4 = 0x4000;                               // in Data3's high nibble
constexpr uint8_t kVariantRfc = 0x80;                                // top bits 10 of Data4[0]
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";
}  // namespace

HRESULT CoCreateGuid(GUID* pguid) {
    if (!pguid) return static_cast<HRESULT>(0x80070057);  // E_INVALIDARG
    uint8_t bytes[sizeof(GUID)];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return kFailHresult;
        got += static_cast<size_t>(n);
    }
    std::memcpy(pguid, bytes, sizeof bytes);
    pguid->Data3 = static_cast<uint16_t>((pguid->Data3 & 0x0FFF) | kVersion4);
    pguid->Data4[0] = static_cast<uint8_t>((pguid->Data4[0] & 0x3F) | kVariantRfc);
    return S_OK;
}

int StringFromGUID2(const GUID& rguid, LPWSTR lpsz, int cchMax) {
    if (!lpsz || cchMax < kGuidTextChars + 1) return 0;
    std::u16string text = u"{";
    auto hex = [&](uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i) text.push_back(kHexDigits[(value >> (4 * i)) & 0xF]);
    };
    hex(rguid.Data1, 8);
    text.push_back(u'-');
    hex(rguid.Data2, 4);
    text.push_back(u'-');
    hex(rguid.Data3, 4);
    text.push_back(u'-');
    hex(rguid.Data4[0], 2);
    hex(rguid.Data4[1], 2);
    text.push_back(u'-');
    for (int i = 2; i < 8; ++i) hex(rguid.Data4[i], 2);
    text.push_back(u'}');
    std::memcpy(lpsz, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return kGuidTextChars + 1;
}
