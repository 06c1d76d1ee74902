// The ink-jet side of the virtual printer: the two-letter information commands, the paged PI
// request in both forms, and the status reply, built from a profile's payloads.
//
// Requests (bytes as the host sends them) and the replies this printer gives:
//   "pc" 01 00 00   confidential-job information: "pc:", 16-bit length n (LSB first), n data
//                   bytes, ";" — the data starts 5 bytes after the "p".
//   "sr" 01 00 00   tray details: "sr:00:", 16-bit length n, ":", n bytes of the tray block,
//                   ";" — "00" is the status at bytes 3-4, the block starts 9 bytes after "s".
//   "st" 01 00 01   status: the status reply (below).
//   "pm" 01 00 01   supported media, format 14: "pm:", the payload, ";".
//   "pm" 01 00 02   input paths, format 16: "pm:", the payload, ";" (same offsets as format 14).
//   "pm" 05 00 03 page chunk
//                   PI request, second form (format 17 only), page and chunk 16-bit LSB first.
//                   Per page: "pm:", page and chunk echoed (4 bytes), ":", two 16-bit values,
//                   ";"; page 0 gives the page count N and the chunk size C to use, later pages
//                   give (page, N) and then "sz:", 16-bit length, ";", "dt:", data, ";".
//   "PI" 06 00 01 code page chunk
//                   PI request, first form; codes 0x40 (pc data), 0xA0 (tray block), 0x80
//                   (format 14), 0x81 (format 16), 0x82 (format 17). Per page: "@BDC PI\r\n",
//                   16-bit count of the bytes that follow it (LSB first), "PI:", code, ":",
//                   the request's page and chunk bytes, ":", two 16-bit values as above, ";",
//                   for pages 1 and up "SZ:", 16-bit length, ";", "DT:", data, ";". The reply
//                   ends there (the transport module recognises that layout).
//   A profile's raw reply to "pc", "sr", "pm" 01 or "pm" 02 replaces the reply built above,
//   byte for byte.
//   Anything the printer cannot answer: "NA" where the host looks for it ("pc:" 02 00 "NA;",
//   "sr:00:NA;", else the two letters and ":NA;"; first form: the PI frame with "PI:", code,
//   ":NA;").
// Paging: every full page carries C minus the per-page overhead the host assumes (37 bytes for
// the first form, 24 for the second; the replies themselves are a byte shorter), and the printer
// picks C so that the last page is short, as the host requires.
//
// The status reply is "@BDC ST2\r\n", a 16-bit length L (LSB first), then L bytes: the status
// fields (header byte, length byte n, n data bytes) and an empty field 00 00. The empty field is
// there because hosts read the fields from 7 bytes after the "S" up to 5 + L bytes after it.
#pragma once

#include "Bytes.h"
#include "Profile.h"

#include <optional>
#include <span>

namespace vprinter {

class InkjetResponder {
public:
    explicit InkjetResponder(const Profile& profile) : m_profile(profile) {}

    // The reply to one request; nothing when the bytes are no ink-jet request at all.
    // maxChunk caps the PI page size the printer agrees to (the SNMP form needs smaller pages).
    std::optional<Bytes> Answer(std::span<const uint8_t> request, size_t maxChunk) const;

    // The status reply, or nothing when the profile has no status.
    std::optional<Bytes> StatusReply() const;

    // The payload a PI code byte stands for (empty when the profile has none).
    const Bytes& PayloadForCode(uint8_t code) const;

private:
    // The profile's whole reply to the two-letter command, or null when it has none.
    const Bytes* RawReply(char a, char b, uint8_t param) const;

    const Profile& m_profile;
};

// Per-page overheads the host subtracts from the chunk size.
inline constexpr size_t kPiFirstFormOverhead = 37;
inline constexpr size_t kPiSecondFormOverhead = 24;

}  // namespace vprinter
