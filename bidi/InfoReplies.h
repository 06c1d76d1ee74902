// Reading two ink-jet information replies: the tray details ("sr", or the PI request with code 2)
// and the confidential-job support ("pc", or the PI request with code 1). Pure functions over the
// reply bytes; CBIDI_BP fetches the replies.
//
// Tray details, reply to the "sr" command: "sr:", two status characters ("00" when the block
// follows), ":", 16-bit length, ":", then the tray block; "NA" or "BUSY" in place of the length
// means no block. The PI request's data is the tray block itself. Tray block: one byte of any
// value, the record length (at least 14), then records every 22 bytes up to the end or a ";"; a
// record with fewer bytes left than its length (at least 16, the bytes read) is cut short:
//   0-1   tray code wPPParam, most significant byte first
//   2-3   maximum capacity, least significant byte first (0xFFFF: unknown)
//   8     1 when bytes 9, 14 and 15 are valid
//   9     paper type
//   14    paper size
//   15    paper direction
//
// Confidential-job support: elements of a kind byte, one byte skipped, a length n (at most 8) and
// n value bytes, most significant first, up to the end or a ";". "NA" at the start: no answer.
#pragma once

#include "platform/win32.h"
#include "vanto.h"

#include <span>
#include <vector>

// Reply forms of AnalyzeCassetteReply.
inline constexpr int kCassetteReplyCommand = 0;  // the whole "sr" reply
inline constexpr int kCassetteReplyPI = 1;       // the data of the PI request

// Paper source bit of a tray code, 0 for a code this library does not know.
WORD CassetteSourceBit(WORD wPPParam);

enum class CassetteReply {
    Merged,     // the records were merged
    NoDetails,  // the printer answered that it has none to give: "NA", "BUSY", a status other than "00"
    Damaged,    // no reply of this form: short, another command's, a record length below 14, a record cut short
};

// Merges the tray records of a reply into pCassettes: a record whose tray is in the list
// overwrites its paper size, type, direction and capacity (current level 0); a known tray not in
// the list is appended; unknown tray codes are skipped. pCassettes changes only when the whole
// reply reads.
CassetteReply AnalyzeCassetteReply(std::span<const BYTE> reply, int nForm, std::vector<VANTO_CASETTE_INFO>* pCassettes);

enum class ConfidentialReply {
    Read,          // *pdwKinds holds the kinds
    NotAvailable,  // the printer answered "NA": it has no confidential jobs to tell of
    Damaged,       // shorter than 6 bytes, nStart outside it, an element over 8 bytes or past the end
};

// Confidential-job kinds of a reply whose elements begin at nStart: bit 0x1 when kind 0 has the
// value 1, bit 0x2 when kind 1 has it.
ConfidentialReply ReadConfidentialJobKinds(std::span<const BYTE> reply, size_t nStart, DWORD* pdwKinds);
