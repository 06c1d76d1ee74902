// Recognition of whole replies on the job-language byte stream.
#include "modules/transport/CJobLanguageFraming.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zk {
namespace {

constexpr std::string_view kMdrHead = "@OPK MDR";
constexpr std::string_view kPiHead = "@BDC PI\r\n";
constexpr std::string_view kStatusHead = "@BDC ST2\r\n";
constexpr size_t kPiCountOffset = 9;     // after "@BDC PI\r\n": the 16-bit count of the bytes after it
constexpr size_t kPiFrameHeadSize = 11;  // "@BDC PI\r\n" and the count
constexpr size_t kStatusHeaderSize = 12;  // head + 16-bit length

bool StartsWith(std::span<const uint8_t> bytes, std::string_view head)
{
    return bytes.size() >= head.size() && std::memcmp(bytes.data(), head.data(), head.size()) == 0;
}

// True when the bytes so far are the beginning of `head`.
bool IsPrefixOf(std::span<const uint8_t> bytes, std::string_view head)
{
    return bytes.size() < head.size() && std::memcmp(bytes.data(), head.data(), bytes.size()) == 0;
}

bool At(std::span<const uint8_t> bytes, size_t pos, std::string_view text)
{
    return pos + text.size() <= bytes.size() && std::memcmp(bytes.data() + pos, text.data(), text.size()) == 0;
}

ReplyAssessment Done(size_t length) { return {ReplyState::Complete, length}; }
constexpr ReplyAssessment kMore{ReplyState::Incomplete, 0};
constexpr ReplyAssessment kUnknown{ReplyState::Unknown, 0};

ReplyAssessment AssessMdr(std::span<const uint8_t> b)
{
    const auto* begin = b.data();
    const auto* end = b.data() + b.size();
    const uint8_t crlf[] = {'\r', '\n'};
    const auto* lineEnd = std::search(begin, end, crlf, crlf + 2);
    if (lineEnd == end) return kMore;
    const size_t open = static_cast<size_t>(lineEnd - begin) + 2;
    if (open >= b.size()) return kMore;
    if (b[open] != '"') return kUnknown;
    const auto* close = std::find(begin + open + 1, end, '"');
    if (close == end) return kMore;
    size_t length = static_cast<size_t>(close - begin) + 1;
    if (At(b, length, "\r\n")) length += 2;
    return Done(length);
}

ReplyAssessment AssessPi(std::span<const uint8_t> b)
{
    if (b.size() < kPiFrameHeadSize) return kMore;
    const size_t length = kPiFrameHeadSize + (b[kPiCountOffset] | (b[kPiCountOffset + 1] << 8));
    if (b.size() < length) return kMore;
    return Done(length);
}

ReplyAssessment AssessStatus(std::span<const uint8_t> b)
{
    if (b.size() < kStatusHeaderSize) return kMore;
    const size_t length = kStatusHeaderSize + (b[10] | (b[11] << 8));
    if (b.size() < length) return kMore;
    return Done(length);
}

}  // namespace

ReplyAssessment AssessJobLanguageReply(std::span<const uint8_t> bytes)
{
    if (bytes.empty()) return kMore;
    if (StartsWith(bytes, kMdrHead)) return AssessMdr(bytes);
    if (StartsWith(bytes, kPiHead)) return AssessPi(bytes);
    if (StartsWith(bytes, kStatusHead)) return AssessStatus(bytes);
    if (IsPrefixOf(bytes, kMdrHead) || IsPrefixOf(bytes, kPiHead) || IsPrefixOf(bytes, kStatusHead)) return kMore;
    return kUnknown;
}

ReplyAssessment AssessLineReply(std::span<const uint8_t> bytes)
{
    const uint8_t crlf[] = {'\r', '\n'};
    const auto* end = bytes.data() + bytes.size();
    const auto* lineEnd = std::search(bytes.data(), end, crlf, crlf + 2);
    if (lineEnd == end) return kMore;
    return Done(static_cast<size_t>(lineEnd - bytes.data()));
}

}  // namespace zk
