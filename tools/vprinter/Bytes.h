// Small byte helpers shared by the virtual printer's responders: hexadecimal text in both
// directions and little-endian 16-bit fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vprinter {

using Bytes = std::vector<uint8_t>;

// Upper-case hexadecimal text of the bytes, two digits per byte, no separators.
std::string ToHex(const uint8_t* data, size_t size);

// Decodes pairs of hexadecimal digits. Whitespace between pairs is skipped, and "#" starts a
// comment that runs to the end of the line (so reply files can be annotated). Anything else, or
// an odd digit count, gives nothing.
std::optional<Bytes> FromHexText(std::string_view text);

// Decodes exactly two hexadecimal digits; -1 when either is not one.
int HexPair(char high, char low);

inline void PutLE16(Bytes& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

inline void PutText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

inline unsigned GetLE16(const uint8_t* p) { return p[0] | (static_cast<unsigned>(p[1]) << 8); }

}  // namespace vprinter
