// Media information formats 14/16 and 17 (see SupportMediaAnalysis.h).
#include "bidi/SupportMediaAnalysis.h"

#include <algorithm>

namespace {

// Paper source bits of the replies and the bits they stand for in the capability set.
constexpr DWORD kSourceRear = 0x80, kSourceRearBit = 0x1000;
constexpr DWORD kSourceFront = 0x20, kSourceFrontBit = 0x100;
constexpr DWORD kSourceManual = 0x40, kSourceManualBit = 0x200;

constexpr BYTE kQualityBits = 0x07;       // attribute bits 0-2
constexpr BYTE kF14LayoutBit = 0x80;      // format-14 attribute bit 7
constexpr BYTE kF17LayoutBit = 0x02;      // format-17 L attribute bit

// Format 14/16.
constexpr BYTE kSizeBlock = 'S';
constexpr BYTE kTypeEntry = 'T';
constexpr BYTE kResolutionMark = 'R';
constexpr size_t kTypeEntryBytes = 4;     // "T", type, attribute, one more byte
constexpr size_t kTypeAttributeOffset = 2;
constexpr WORD kResolution360 = 360;
constexpr WORD kResolution720 = 720;

// Format 17.
constexpr BYTE kSectionS = 'S';
constexpr BYTE kSectionT = 'T';
constexpr BYTE kSectionL = 'L';
constexpr BYTE kSectionP = 'P';
constexpr size_t kTypeDataBytes = 6;      // type, attribute, value A, value B
constexpr size_t kLDataBytes = 4;         // type, attribute, 16-bit paper source
constexpr size_t kPHeaderBytes = 4;       // "P", 2 bytes, record length
constexpr DWORD kResolutionUnit = 360;
// Offsets of the 16-bit P words kept.
constexpr size_t kPWord5 = 5, kPWord7 = 7, kPWord21 = 21;

// A read position in a reply; every step checks the bytes are there.
class Reader {
public:
    explicit Reader(std::span<const BYTE> bytes) : m_bytes(bytes) {}
    size_t Pos() const { return m_pos; }
    bool Has(size_t count) const { return count <= m_bytes.size() - m_pos; }
    BYTE At(size_t offset) const { return m_bytes[m_pos + offset]; }
    std::span<const BYTE> Span(size_t offset, size_t count) const { return m_bytes.subspan(m_pos + offset, count); }
    void Skip(size_t count) { m_pos += count; }

private:
    std::span<const BYTE> m_bytes;
    size_t m_pos = 0;
};

// Entries (length byte, data) of one section or group: count of them, each as long as the first.
struct EntryRun {
    size_t start = 0;   // offset of the first entry
    size_t count = 0;
    size_t stride = 0;  // length byte + the first entry's data length
};

// Reads a run of nCount entries at the reader and moves past it. False when it runs past the end.
bool ReadRun(Reader& r, size_t nCount, EntryRun* pRun) {
    pRun->start = r.Pos();
    pRun->count = nCount;
    pRun->stride = 0;
    if (nCount == 0) return true;
    if (!r.Has(1)) return false;
    pRun->stride = size_t{1} + r.At(0);
    if (!r.Has(nCount * pRun->stride)) return false;
    r.Skip(nCount * pRun->stride);
    return true;
}

// The data of entry k of a run, at most nMax bytes, never more than its own length byte says.
std::span<const BYTE> EntryData(std::span<const BYTE> reply, const EntryRun& run, size_t k, size_t nMax) {
    const size_t at = run.start + k * run.stride;
    const size_t length = std::min({static_cast<size_t>(reply[at]), run.stride - 1, nMax});
    return reply.subspan(at + 1, length);
}

// A section's letter and count; false when the letter is not there.
bool ReadSectionHead(Reader& r, BYTE byLetter, size_t* pCount) {
    if (!r.Has(2) || r.At(0) != byLetter) return false;
    *pCount = r.At(1);
    r.Skip(2);
    return true;
}

struct LGroup {
    BYTE bySizeID;
    EntryRun run;
};

// The four sections' positions.
struct Format17Layout {
    EntryRun typeRun;
    std::vector<LGroup> groups;
    std::span<const BYTE> pRecord;
};

bool ReadLayout(std::span<const BYTE> reply, Format17Layout* pLayout) {
    Reader r(reply);
    size_t count = 0;
    EntryRun skipped;
    if (!ReadSectionHead(r, kSectionS, &count) || !ReadRun(r, count, &skipped)) return false;
    if (!ReadSectionHead(r, kSectionT, &count) || !ReadRun(r, count, &pLayout->typeRun)) return false;
    if (!ReadSectionHead(r, kSectionL, &count)) return false;
    for (size_t g = 0; g < count; ++g) {
        if (!r.Has(2)) return false;
        LGroup group{r.At(0), {}};
        const size_t entries = r.At(1);
        r.Skip(2);
        if (!ReadRun(r, entries, &group.run)) return false;
        pLayout->groups.push_back(group);
    }
    if (!r.Has(kPHeaderBytes) || r.At(0) != kSectionP) return false;
    const size_t length = r.At(kPHeaderBytes - 1);
    if (!r.Has(kPHeaderBytes + length)) return false;
    pLayout->pRecord = r.Span(kPHeaderBytes, std::min(length, kMediaPRecordBytes));
    return true;
}

WORD BigEndianWord(const std::array<BYTE, kMediaPRecordBytes>& record, size_t offset) {
    return static_cast<WORD>((record[offset] << 8) | record[offset + 1]);
}

}  // namespace

DWORD TranslateMediaPaperSource(DWORD dwSourceBits) {
    DWORD result = dwSourceBits & ~(kSourceRear | kSourceFront | kSourceManual);
    if (dwSourceBits & kSourceRear) result |= kSourceRearBit;
    if (dwSourceBits & kSourceFront) result |= kSourceFrontBit;
    if (dwSourceBits & kSourceManual) result |= kSourceManualBit;
    return result;
}

bool AnalyzeFormat1416(std::span<const BYTE> media, std::span<const BYTE> inputPath, Format1416Result* pResult) {
    pResult->capabilities.clear();
    pResult->dwResolutionFlag = 0;
    // A reply without any size block ("NA", or a page of something else) describes no paper.
    const auto first = std::find(media.begin(), media.end(), kSizeBlock);
    if (first == media.end()) return false;
    Reader r(media);
    r.Skip(static_cast<size_t>(first - media.begin()));

    while (r.Has(1) && r.At(0) == kSizeBlock) {
        if (!r.Has(2)) return false;
        const BYTE bySize = r.At(1);
        r.Skip(2);
        while (r.Has(1) && r.At(0) == kTypeEntry) {
            if (!r.Has(kTypeEntryBytes)) return false;
            const size_t attributeAt = r.Pos() + kTypeAttributeOffset;
            if (attributeAt >= inputPath.size()) return false;
            const BYTE attribute = r.At(kTypeAttributeOffset);
            MediaCapability cap;
            cap.dwPaperSizeID = bySize;
            cap.dwPaperTypeID = r.At(1);
            cap.dwPaperSource = TranslateMediaPaperSource(inputPath[attributeAt]);
            cap.dwQuality = attribute & kQualityBits;
            cap.dwLayout = (attribute & kF14LayoutBit) ? 1 : 0;
            pResult->capabilities.push_back(cap);
            r.Skip(kTypeEntryBytes);
        }
        if (r.Has(1)) r.Skip(1);  // the byte that ended the block
    }

    const auto rest = media.subspan(r.Pos());
    const auto mark = std::find(rest.begin(), rest.end(), kResolutionMark);
    const size_t at = static_cast<size_t>(mark - rest.begin());
    if (at + 2 < rest.size()) {
        const WORD resolution = static_cast<WORD>((rest[at + 1] << 8) | rest[at + 2]);
        if (resolution == kResolution360 || resolution == kResolution720) pResult->dwResolutionFlag = kMediaResolutionFlag;
    }
    return true;
}

bool AnalyzeFormat17(std::span<const BYTE> reply, Format17Result* pResult) {
    *pResult = Format17Result{};
    Format17Layout layout;
    if (!ReadLayout(reply, &layout)) return false;

    for (size_t k = 0; k < layout.typeRun.count; ++k) {
        const auto data = EntryData(reply, layout.typeRun, k, kTypeDataBytes);
        std::array<BYTE, kTypeDataBytes> bytes;
        bytes.fill(0xFF);
        std::copy(data.begin(), data.end(), bytes.begin());
        pResult->types.push_back({bytes[0], bytes[1], static_cast<WORD>((bytes[2] << 8) | bytes[3]),
                                  static_cast<WORD>((bytes[4] << 8) | bytes[5])});
    }

    std::array<BYTE, kMediaPRecordBytes> record;
    record.fill(0xFF);
    std::copy(layout.pRecord.begin(), layout.pRecord.end(), record.begin());
    pResult->wPWord5 = BigEndianWord(record, kPWord5);
    pResult->wPWord7 = BigEndianWord(record, kPWord7);
    pResult->wPWord21 = BigEndianWord(record, kPWord21);

    for (const auto& group : layout.groups) {
        for (size_t k = 0; k < group.run.count; ++k) {
            // Without any type record an entry has no quality to take.
            if (pResult->types.empty()) return false;
            const auto data = EntryData(reply, group.run, k, kLDataBytes);
            std::array<BYTE, kLDataBytes> bytes;
            bytes.fill(0xFF);
            std::copy(data.begin(), data.end(), bytes.begin());
            const BYTE byType = bytes[0];
            const auto match = std::find_if(pResult->types.begin(), pResult->types.end(),
                                            [byType](const MediaTypeRecord& t) { return t.byTypeID == byType; });
            const MediaTypeRecord& type = match != pResult->types.end() ? *match : pResult->types.back();
            MediaCapability cap;
            cap.dwPaperSizeID = group.bySizeID;
            cap.dwPaperTypeID = byType;
            cap.dwPaperSource = TranslateMediaPaperSource(static_cast<DWORD>((bytes[2] << 8) | bytes[3]));
            cap.dwQuality = type.byAttribute & kQualityBits;
            cap.dwLayout = (bytes[1] & kF17LayoutBit) ? 1 : 0;
            pResult->capabilities.push_back(cap);
        }
    }
    pResult->bResolution360 = !pResult->types.empty() && pResult->types.front().wValueA % kResolutionUnit == 0;
    return true;
}
