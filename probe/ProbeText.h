// Text conversion of the discovery code: 8-bit text from the transport module or a printer into
// UTF-16, and a caller's UTF-16 text into the thread's ANSI code page for the module.
#pragma once

#include "platform/win32.h"

#include <string>
#include <string_view>

// `text` in code page `codePage` as UTF-16 (empty text gives an empty result); false when it
// cannot be converted.
inline bool ProbeTextToWide(UINT codePage, std::string_view text, std::u16string& out) {
    out.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    const int chars = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (chars <= 0) return false;
    out.resize(static_cast<size_t>(chars));
    return MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), chars) == chars;
}

// Zero-terminated `text` in the thread's ANSI code page; false when it cannot be converted.
inline bool ProbeTextToAnsi(LPCWSTR text, std::string& out) {
    out.clear();
    const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    out.assign(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, out.data(), bytes, nullptr, nullptr) != bytes) return false;
    out.resize(static_cast<size_t>(bytes) - 1);
    return true;
}
