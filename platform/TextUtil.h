// UTF-8/UTF-16 helpers and case folding used throughout the stand-in platform.
#pragma once

#include "platform/win32.h"

#include <optional>
#include <string>
#include <string_view>

namespace vplat::detail {

// Longest zero-terminated UTF-16 text the platform accepts from a caller (the Windows limit of
// an extended path); a longer or unterminated text is treated as invalid.
inline constexpr size_t kMaxCallerText = 32767;

// Length of a caller's zero-terminated text, nullopt if it is null or longer than the limit.
std::optional<std::u16string_view> CallerText(const char16_t* text, size_t limit = kMaxCallerText);
std::optional<std::string_view> CallerText(const char* text, size_t limit = kMaxCallerText);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; each invalid sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view text);

// Simple case folding (ASCII and Latin-1, Greek and Cyrillic basic letters): enough for names
// of keys, values, sections and files, which compare without regard to case as on Windows.
char16_t FoldChar(char16_t c);
std::u16string Fold(std::u16string_view text);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
// The same for UTF-8 file names.
bool EqualNoCaseUtf8(std::string_view a, std::string_view b);

// Copies text plus terminator into a buffer the caller has checked to be large enough.
void CopyWithTerminator(std::u16string_view text, char16_t* buffer);

}  // namespace vplat::detail
