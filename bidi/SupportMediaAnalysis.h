// Reading an ink-jet printer's media information: which (paper size, paper type, paper source,
// quality, layout) combinations it supports, its resolution flag and, for format 17, the words
// of its P record. Pure functions over the reply bytes; CBIDI_BP feeds the results into the
// print-capability set.
//
// Format 14 (supported media): size blocks "S" size {"T" type attribute xx}... and one byte that
// ends the block, then "R" and the base resolution (16-bit, most significant first). Format 16
// (input paths) has the same layout with a type entry's paper source bits at the place of its
// attribute byte. Attribute: bits 0-2 quality, bit 7 layout.
//
// Format 17: sections "S" (skipped), "T" (type records), "L" (groups of size, type, attribute,
// paper source) and "P" (one record of printer words), each a letter, a count and entries of a
// length byte and data. Every entry of a section (or of an L group) is taken to be as long as
// its first entry.
#pragma once

#include "platform/win32.h"

#include <array>
#include <cstddef>
#include <span>
#include <vector>

// One combination to add to the capability set.
struct MediaCapability {
    DWORD dwPaperSizeID = 0;
    DWORD dwPaperTypeID = 0;
    DWORD dwPaperSource = 0;  // translated source bits
    DWORD dwQuality = 0;
    DWORD dwLayout = 0;
    bool operator==(const MediaCapability&) const = default;
};

inline constexpr DWORD kMediaResolutionFlag = 16;     // base resolution a multiple of 360
inline constexpr DWORD kMediaFormat17Mark = 0x10000000;
inline constexpr WORD kMediaWordUnset = 0xFFFF;       // a P word the printer did not send

// Paper source bits as the capability set counts them: 0x80 -> 0x1000, 0x20 -> 0x100,
// 0x40 -> 0x200; other bits stay.
DWORD TranslateMediaPaperSource(DWORD dwSourceBits);

struct Format1416Result {
    std::vector<MediaCapability> capabilities;  // in reply order, as far as the replies were read
    DWORD dwResolutionFlag = 0;
};

// Analyses a format-14 and a format-16 reply. False when the media reply has no size block (as
// its "NA" form has none), or a size block or type entry runs past the end of either reply; the
// combinations read before stay in the result.
bool AnalyzeFormat1416(std::span<const BYTE> media, std::span<const BYTE> inputPath, Format1416Result* pResult);

// A format-17 type record (bytes not sent stay 0xFF).
struct MediaTypeRecord {
    BYTE byTypeID = 0xFF;
    BYTE byAttribute = 0xFF;
    WORD wValueA = 0xFFFF;  // base resolution
    WORD wValueB = 0xFFFF;
};

inline constexpr size_t kMediaPRecordBytes = 23;

struct Format17Result {
    std::vector<MediaTypeRecord> types;
    std::vector<MediaCapability> capabilities;  // one per L record
    bool bResolution360 = false;                // first type record's value A a multiple of 360
    WORD wPWord5 = kMediaWordUnset;             // 16-bit words of the P record at offsets 5, 7, 21
    WORD wPWord7 = kMediaWordUnset;
    WORD wPWord21 = kMediaWordUnset;
};

// Analyses a format-17 reply. False when a section is missing, out of order or runs past the
// reply's end, or when an L record has no type record to take its quality from.
bool AnalyzeFormat17(std::span<const BYTE> reply, Format17Result* pResult);
