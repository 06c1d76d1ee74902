// Where a reply on the job-language channel ends. The channel is a plain TCP byte stream, so the
// module recognises the end of a reply by the reply's own layout:
//   MDR reply   "@OPK MDR ..." echo line up to CR LF, then a double-quoted data part; it ends at
//               the closing double quote (a CR LF right behind it is taken along).
//   PI reply    "@BDC PI\r\n", a 16-bit count n (least significant byte first), n bytes: the
//               "PI:" header and, for pages 1 and up, "SZ:" + 16-bit length + ';' and "DT:" +
//               data + ';'; or "PI:", the code and ":NA;" when the printer has nothing to give.
//               The count alone says where the reply ends, whatever its bytes hold.
//   status      "@BDC ST2\r\n", a 16-bit length L (least significant byte first), L bytes.
// A reply that follows none of these layouts ends when the printer has been quiet for a short
// gap (kQuietGapMs); a reply that follows one but stops short is incomplete until the time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zk {

inline constexpr uint32_t kQuietGapMs = 200;  // silence that ends a reply of unknown layout

enum class ReplyState {
    Incomplete,  // a known layout, not yet whole (or too few bytes to tell)
    Complete,    // whole; `length` bytes form the reply
    Unknown,     // no known layout: ends after a quiet gap
};

struct ReplyAssessment {
    ReplyState state = ReplyState::Incomplete;
    size_t length = 0;
};

ReplyAssessment AssessJobLanguageReply(std::span<const uint8_t> bytes);

// The module's device-ID answer: the text up to CR LF. Complete with `length` = text length.
ReplyAssessment AssessLineReply(std::span<const uint8_t> bytes);

}  // namespace zk
