// The base of the printer-access interface (see CBIDI.h).
#include "bidi/CBIDI.h"

#include "common/BILogging.h"

#include <algorithm>

namespace {

constexpr DWORD kQualityMaskBits = 0x1 | 0x2 | 0x4;  // quality bits the quality mask collects
constexpr DWORD kLayoutMaskBit = 0x1;                // layout bit the layout mask collects
constexpr int kCassetteSourceBits = 16;              // sources that get a VANTO_CASETTE_INFO

void AppendUniqueText(BIStringList& list, DWORD id) {
    std::string text = std::to_string(id);
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(std::move(text));
}

}  // namespace

CBIDI::CBIDI() = default;

CBIDI::~CBIDI() = default;

const BYTE* CBIDI::GetPrnCapInfo() { return nullptr; }

DWORD CBIDI::GetCompressionBandHeight() { return 0; }

// AddCapability: paper lists, paper sources, masks, then the capability set.
int CBIDI::AddCapability(const DWORD* pPaperSizeID, const DWORD* pEntry) {
    if (pPaperSizeID == nullptr || pEntry == nullptr) {
        BI_LOG("#Parameter is invalid.\n");
        return 0;
    }
    const DWORD paperSizeID = pPaperSizeID[0];
    const DWORD paperTypeID = pEntry[0];
    const DWORD paperSource = pEntry[1];
    const DWORD quality = pEntry[2];
    const DWORD layout = pEntry[3];
    BI_LOG("AddCapability PaperSizeID=%03d PaperTypeID=%03d PaperSource=%08x Quality=%08x Layout=%08x.\n",
           paperSizeID, paperTypeID, paperSource, quality, layout);

    // The capability set goes first: it alone can refuse (too many capabilities), and a refused
    // capability leaves the lists untouched.
    if (!m_CapabilitySet.Add(paperSizeID, paperTypeID, paperSource, quality, layout)) return 0;

    AppendUniqueText(m_vecSupportPaperSize, paperSizeID);
    AppendUniqueText(m_vecSupportPaperType, paperTypeID);

    for (int bit = 0; bit < kCassetteSourceBits; ++bit) {
        const WORD sourceBit = static_cast<WORD>(1u << bit);
        if (!(paperSource & sourceBit)) continue;
        const bool known = std::any_of(m_vecPaperSource.begin(), m_vecPaperSource.end(),
                                       [sourceBit](const VANTO_CASETTE_INFO& c) { return c.wPaperSourceBit == sourceBit; });
        if (known) continue;
        VANTO_CASETTE_INFO cassette{};
        cassette.wPaperSizeID = VANTO_CASETTE_UNKNOWN_ID;
        cassette.wPaperTypeID = VANTO_CASETTE_UNKNOWN_ID;
        cassette.wPaperSourceBit = sourceBit;
        cassette.wMaxCapacity = VANTO_CASETTE_UNKNOWN_LEVEL;
        cassette.wCurrentLevel = VANTO_CASETTE_UNKNOWN_LEVEL;
        m_vecPaperSource.push_back(cassette);
    }

    m_dwQualityMask |= quality & kQualityMaskBits;
    if (layout & kLayoutMaskBit) m_dwLayoutMask |= kLayoutMaskBit;
    return 1;
}

int CBIDI::ComputeForbiddenPairs() {
    const int result = m_CapabilitySet.ComputeCombinations();
    m_vecForbiddenPairs = m_CapabilitySet.DisableCombinations();
    return result;
}

void CBIDI::ResetCapability() {
    m_vecSupportPaperSize.clear();
    m_vecSupportPaperType.clear();
    m_vecPaperSource.clear();
    m_dwQualityMask = 0;
    m_dwLayoutMask = 0;
    m_vecForbiddenPairs.clear();
    m_CapabilitySet.Reset();
}
