// GetPrivateProfileStringW over IniFile, with the Windows rules for defaults, lists and
// truncation.
#include "platform/HandleTable.h"
#include "platform/IniFile.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <algorithm>

using namespace vplat::detail;

namespace {
constexpr const char16_t* kWindowsFolder = u"C:\\Windows\\";

// Copies one text, cut to nSize - 1 characters; returns the characters written.
DWORD CopyCut(std::u16string_view text, LPWSTR out, DWORD nSize) {
    const size_t n = std::min<size_t>(text.size(), nSize - 1);
    std::copy_n(text.data(), n, out);
    out[n] = 0;
    return static_cast<DWORD>(n);
}

// Copies a list of names, each terminated, plus a final terminator; on overflow the last name
// is cut and the result is nSize - 2.
DWORD CopyList(const std::vector<std::u16string>& names, LPWSTR out, DWORD nSize) {
    std::u16string joined;
    for (const auto& name : names) {
        joined += name;
        joined.push_back(0);
    }
    if (joined.size() + 1 <= nSize) {
        std::copy(joined.begin(), joined.end(), out);
        out[joined.size()] = 0;
        return static_cast<DWORD>(joined.size());
    }
    if (nSize < 2) {
        out[0] = 0;
        return 0;
    }
    std::copy_n(joined.data(), nSize - 2, out);
    out[nSize - 2] = 0;
    out[nSize - 1] = 0;
    return nSize - 2;
}
}  // namespace

DWORD GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault, LPWSTR lpReturnedString,
                               DWORD nSize, LPCWSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    auto fileName = CallerText(lpFileName);
    std::optional<IniFile> ini;
    if (fileName && !fileName->empty()) {
        // A name without a drive is looked for in the Windows folder.
        std::u16string windowsPath(*fileName);
        if (windowsPath.size() < 2 || windowsPath[1] != u':') windowsPath = kWindowsFolder + windowsPath;
        if (auto path = vplat::ToLinuxPath(windowsPath)) ini = IniFile::Load(*path);
    }
    SetLastError(ini ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);

    auto app = lpAppName ? CallerText(lpAppName) : std::nullopt;
    auto key = lpKeyName ? CallerText(lpKeyName) : std::nullopt;
    if (ini && !lpAppName) return CopyList(ini->SectionNames(), lpReturnedString, nSize);
    if (ini && app && !lpKeyName) {
        if (auto names = ini->KeyNames(*app)) return CopyList(*names, lpReturnedString, nSize);
    }
    if (ini && app && key) {
        if (auto value = ini->Get(*app, *key)) return CopyCut(*value, lpReturnedString, nSize);
    }
    // The default, without its trailing spaces.
    std::u16string_view fallback = lpDefault ? CallerText(lpDefault).value_or(u"") : u"";
    while (!fallback.empty() && fallback.back() == u' ') fallback.remove_suffix(1);
    if (!lpAppName || !lpKeyName) {
        lpReturnedString[0] = 0;
        if (nSize > 1) lpReturnedString[1] = 0;
        return 0;
    }
    return CopyCut(fallback, lpReturnedString, nSize);
}
