// fuzz-libs: vanto_platform
// Feeds arbitrary bytes to the platform's text readers: the INI parser (as UTF-8 and as UTF-16
// text) and the UTF-8 and code page 1252 conversions in both directions. The first byte picks
// the conversion flags.
#include "platform/IniFile.h"
#include "platform/TextUtil.h"
#include "platform/win32.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool strict = data[0] & 1;
    ++data, --size;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::u16string units(size / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);

    for (const auto& text : {vplat::detail::FromUtf8(bytes), units}) {
        vplat::detail::IniFile ini(text);
        for (const auto& section : ini.SectionNames()) {
            auto keys = ini.KeyNames(section);
            if (keys && !keys->empty()) ini.Get(section, keys->front());
        }
    }
    if (size == 0 || size > 1 << 20) return 0;
    constexpr UINT kWindows1252 = 1252;
    for (UINT cp : {static_cast<UINT>(CP_UTF8), kWindows1252}) {
        const int n = static_cast<int>(size);
        const int wide = MultiByteToWideChar(cp, strict ? MB_ERR_INVALID_CHARS : 0, bytes.data(), n, nullptr, 0);
        if (wide > 0) {
            std::vector<char16_t> out(static_cast<size_t>(wide));
            MultiByteToWideChar(cp, strict ? MB_ERR_INVALID_CHARS : 0, bytes.data(), n, out.data(), wide);
        }
    }
    if (!units.empty()) {
        const int n = static_cast<int>(units.size());
        const DWORD flags = strict ? WC_ERR_INVALID_CHARS : 0;
        const int narrow = WideCharToMultiByte(CP_UTF8, flags, units.data(), n, nullptr, 0, nullptr, nullptr);
        if (narrow > 1) {
            std::vector<char> out(static_cast<size_t>(narrow) - 1);  // one short: must fail, not overflow
            WideCharToMultiByte(CP_UTF8, flags, units.data(), n, out.data(), narrow - 1, nullptr, nullptr);
        }
        BOOL used = FALSE;
        WideCharToMultiByte(kWindows1252, 0, units.data(), n, nullptr, 0, nullptr, &used);
    }
    return 0;
}
