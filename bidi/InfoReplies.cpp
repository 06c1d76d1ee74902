// Tray-details and confidential-job replies of ink-jet printers.
#include "bidi/InfoReplies.h"

#include "common/BILogging.h"

#include <algorithm>
#include <cstring>

namespace {

// Tray codes and the paper source bit each stands for.
struct TrayCode {
    WORD wPPParam;
    WORD wSourceBit;
};
constexpr TrayCode kTrayCodes[] = {
    {0x0100, 0x1}, {0x0101, 0x2}, {0x0102, 0x4}, {0x0103, 0x100}, {0x0104, 0x200}, {0x0200, 0x10}, {0x0300, 0x400},
};

// "sr" reply: offsets from its "s".
constexpr size_t kCommandMinBytes = 25;     // the shortest "sr" reply read at all
constexpr size_t kReplyMinBytes = 16;       // the shortest reply of either form
constexpr const char* kCommandHead = "sr:";
constexpr size_t kStatusOffset = 3;         // two status characters, "00" when a block follows
constexpr size_t kNoBlockOffset = 6;        // "NA" or "BUSY" instead of the length
constexpr size_t kCommandBlockOffset = 9;   // the tray block

// Tray block and its records.
constexpr size_t kBlockRecordLengthAt = 1;
constexpr BYTE kMinRecordLength = 14;
constexpr size_t kRecordsAt = 2;
constexpr size_t kRecordBytes = 22;
constexpr size_t kRecordReadBytes = 16;     // the bytes of a record this library reads
constexpr size_t kRecCapacity = 2;          // 16-bit, least significant byte first
constexpr size_t kRecValid = 8;             // 1: type, size and direction are valid
constexpr size_t kRecPaperType = 9;
constexpr size_t kRecPaperSize = 14;
constexpr size_t kRecDirection = 15;
constexpr WORD kCapacityUnknownByPrinter = 0xFFFF;
constexpr BYTE kEnd = ';';

// Confidential-job elements.
constexpr size_t kConfidentialMinBytes = 6;
constexpr size_t kMaxElementValueBytes = 8;
constexpr BYTE kKindPrint = 0;   // confidential print
constexpr BYTE kKindStore = 1;   // confidential storage

bool Holds(std::span<const BYTE> bytes, size_t at, const char* text) {
    const size_t n = std::strlen(text);
    return at <= bytes.size() && bytes.size() - at >= n && std::memcmp(bytes.data() + at, text, n) == 0;
}

}  // namespace

WORD CassetteSourceBit(WORD wPPParam) {
    for (const TrayCode& code : kTrayCodes)
        if (code.wPPParam == wPPParam) return code.wSourceBit;
    return 0;
}

CassetteReply AnalyzeCassetteReply(std::span<const BYTE> reply, int nForm,
                                   std::vector<VANTO_CASETTE_INFO>* pCassettes) {
    if (pCassettes == nullptr || reply.size() < kReplyMinBytes) {
        BI_LOG("#The cassette detail reply is missing or shorter than %zu bytes.\n", kReplyMinBytes);
        return CassetteReply::Damaged;
    }
    size_t nBlock = 0;
    if (nForm == kCassetteReplyCommand) {
        if (reply.size() < kCommandMinBytes) {
            BI_LOG("#The cassette detail reply is shorter than %zu bytes.\n", kCommandMinBytes);
            return CassetteReply::Damaged;
        }
        const auto s = std::find(reply.begin(), reply.end(), static_cast<BYTE>('s'));
        const size_t nS = static_cast<size_t>(s - reply.begin());
        if (!Holds(reply, nS, kCommandHead)) {
            BI_LOG("#The cassette detail reply is no reply to the tray-details command.\n");
            return CassetteReply::Damaged;
        }
        if (!Holds(reply, nS + kStatusOffset, "00")) {
            BI_LOG("#The cassette detail reply has no status 00.\n");
            return CassetteReply::NoDetails;
        }
        if (Holds(reply, nS + kNoBlockOffset, "NA") || Holds(reply, nS + kNoBlockOffset, "BUSY")) {
            BI_LOG("#The printer has no cassette details to give (NA or BUSY).\n");
            return CassetteReply::NoDetails;
        }
        nBlock = nS + kCommandBlockOffset;
    }
    if (nBlock + kRecordsAt > reply.size() || reply[nBlock + kBlockRecordLengthAt] < kMinRecordLength) {
        BI_LOG("#The cassette detail block is missing or its record length is below %u.\n", kMinRecordLength);
        return CassetteReply::Damaged;
    }

    // A record is whole with the bytes its length announces (at least those read, at most the step).
    const size_t nRecordNeeds = std::clamp<size_t>(reply[nBlock + kBlockRecordLengthAt], kRecordReadBytes, kRecordBytes);
    std::vector<VANTO_CASETTE_INFO> merged = *pCassettes;
    for (size_t nAt = nBlock + kRecordsAt; nAt < reply.size() && reply[nAt] != kEnd; nAt += kRecordBytes) {
        const std::span<const BYTE> rec = reply.subspan(nAt);
        if (rec.size() < nRecordNeeds) {
            BI_LOG("#The cassette record at byte %zu is cut short (%zu bytes).\n", nAt, rec.size());
            return CassetteReply::Damaged;
        }
        const WORD wPPParam = static_cast<WORD>(rec[0] << 8 | rec[1]);
        WORD wCapacity = static_cast<WORD>(rec[kRecCapacity] | rec[kRecCapacity + 1] << 8);
        if (wCapacity == kCapacityUnknownByPrinter) wCapacity = VANTO_CASETTE_UNKNOWN_LEVEL;
        const bool bValid = rec[kRecValid] == 1;
        const BYTE byType = bValid ? rec[kRecPaperType] : 0;
        const BYTE bySize = bValid ? rec[kRecPaperSize] : 0;
        const BYTE byDirection = bValid ? rec[kRecDirection] : 0;

        const WORD wBit = CassetteSourceBit(wPPParam);
        auto it = std::find_if(merged.begin(), merged.end(), [wBit](const VANTO_CASETTE_INFO& c) {
            return wBit != 0 && c.wPaperSourceBit == wBit;
        });
        if (it != merged.end()) {
            BI_LOG("Found TargetCasste wPaperSourceBit=%d, wPPParam=%d.\n", wBit, wPPParam);
            BI_LOG("Set CasstteInfo nPaperSize:%d,nPaperType:%d,nDirection:%d,wMaxCapacity:%d,nCurLevel:%d.\n", bySize,
                   byType, byDirection, wCapacity, 0);
        } else if (wBit != 0) {
            BI_LOG("Not Found TargetCasste wPPParam=%d.\n", wPPParam);
            BI_LOG("Add CasstteInfo nPaperSize:%d,nPaperType:%d,nDirection:%d,wMaxCapacity:%d,nCurLevel:%d.\n", bySize,
                   byType, byDirection, wCapacity, 0);
            VANTO_CASETTE_INFO added = {};
            added.wPaperSourceBit = wBit;
            merged.push_back(added);
            it = merged.end() - 1;
        } else {
            BI_LOG("Unkwown TargetCasste(wPPParam=%d), and Not Add CassetteInfo.\n", wPPParam);
            continue;
        }
        it->wPaperSizeID = bySize;
        it->wPaperTypeID = byType;
        it->byDirection = byDirection;
        it->wMaxCapacity = wCapacity;
        it->wCurrentLevel = 0;
    }
    *pCassettes = std::move(merged);
    return CassetteReply::Merged;
}

ConfidentialReply ReadConfidentialJobKinds(std::span<const BYTE> reply, size_t nStart, DWORD* pdwKinds) {
    if (pdwKinds == nullptr) return ConfidentialReply::Damaged;
    if (reply.size() < kConfidentialMinBytes || nStart >= reply.size()) {
        BI_LOG("#The confidential job reply is too short.\n");
        return ConfidentialReply::Damaged;
    }
    if (Holds(reply, nStart, "NA")) {
        BI_LOG("#The printer does not answer the confidential job request (NA).\n");
        return ConfidentialReply::NotAvailable;
    }
    DWORD dwKinds = 0;
    for (size_t nAt = nStart; nAt < reply.size() && reply[nAt] != kEnd;) {
        // kind, one byte skipped, length, value
        if (reply.size() - nAt < 3) {
            BI_LOG("#The confidential job element at byte %zu is cut short.\n", nAt);
            return ConfidentialReply::Damaged;
        }
        const BYTE byKind = reply[nAt];
        const size_t nLength = reply[nAt + 2];
        nAt += 3;
        if (nLength > kMaxElementValueBytes || reply.size() - nAt < nLength) {
            BI_LOG("#The confidential job element of kind %u has a bad length %zu.\n", byKind, nLength);
            return ConfidentialReply::Damaged;
        }
        uint64_t ullValue = 0;
        for (size_t i = 0; i < nLength; ++i) ullValue = ullValue << 8 | reply[nAt + i];
        nAt += nLength;
        if (ullValue != 1) continue;
        if (byKind == kKindPrint) dwKinds |= 0x1;
        if (byKind == kKindStore) dwKinds |= 0x2;
    }
    *pdwKinds = dwKinds;
    return ConfidentialReply::Read;
}
