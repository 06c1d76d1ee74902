// Hexadecimal conversions for reply files and MDR packets.
#include "Bytes.h"

namespace vprinter {

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

std::string ToHex(const uint8_t* data, size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[data[i] >> 4]);
        text.push_back(kDigits[data[i] & 0x0F]);
    }
    return text;
}

int HexPair(char high, char low) {
    const int h = HexDigit(high), l = HexDigit(low);
    if (h < 0 || l < 0) return -1;
    return h * 16 + l;
}

std::optional<Bytes> FromHexText(std::string_view text) {
    Bytes out;
    int pending = -1;  // high nibble waiting for its partner
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (pending >= 0) return std::nullopt;  // a digit pair split by whitespace
            continue;
        }
        const int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        if (pending < 0) {
            pending = d;
        } else {
            out.push_back(static_cast<uint8_t>(pending * 16 + d));
            pending = -1;
        }
    }
    if (pending >= 0) return std::nullopt;
    return out;
}

}  // namespace vprinter
