// Conversions between UTF-16 and the prefix's ANSI code page (1252) and UTF-8.
#include "support/TempPrefix.h"

#include <gtest/gtest.h>

#include <string>

namespace {
using vanto_test::TempPrefix;

std::string ToAnsi(UINT cp, std::u16string_view text) {
    const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr), n);
    return out;
}

std::u16string FromAnsi(UINT cp, std::string_view bytes) {
    const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    if (n) {
        EXPECT_EQ(MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n), n);
    }
    return out;
}

TEST(CodePage, DefaultIs1252WithWindowsMappingAndDefaultCharacterAndResultsThatDoNotFitFail) {
    TempPrefix prefix;
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(FromAnsi(CP_ACP, "\x80\x81 Caf\xe9"), u"\u20ac\u0081 Caf\u00e9");
    EXPECT_EQ(ToAnsi(CP_ACP, u"\u20ac caf\u00e9"), "\x80 caf\xe9");
    EXPECT_EQ(ToAnsi(CP_ACP, u"\u65e5 \U0001F600"), "? ?") << "a surrogate pair is one character";

    // A result that does not fit fails after writing what fits.
    const char16_t text[] = u"abcdef";
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), 7) << "terminator counted";
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(out, 4), "abcd");

    char16_t wide[3];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    char16_t exact[4];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, exact, 4), 4);
    EXPECT_EQ(std::u16string(exact), u"abc");
}

TEST(CodePage, Utf8InvalidInputIsReplacedOrRefusedOnRequest) {
    EXPECT_EQ(FromAnsi(CP_UTF8, "a\xff" "b\xe6\x97\xa5"), u"a\ufffdb\u65e5");

    const char16_t lone[] = {u'a', 0xD800, u'b'};
    EXPECT_EQ(ToAnsi(CP_UTF8, std::u16string_view(lone, 3)), "a\xef\xbf\xbd" "b");
    char bytes[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, bytes, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

}  // namespace
