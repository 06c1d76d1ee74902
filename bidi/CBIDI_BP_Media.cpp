// CBIDI_BP: the supported-media analysis of ink-jet printers. The media information is asked
// in format 17 first and in the older pair of formats 14 and 16 when that fails; every supported
// combination goes into the print-capability set, whose forbidden pairs are then computed.
#include "bidi/CBIDI_BP.h"

#include "bidi/SupportMediaAnalysis.h"
#include "common/BILogging.h"

namespace {

constexpr size_t kCapabilityEntryWords = 4;  // paper type, source bits, quality, layout

// Adds the combinations in order; the first one the set refuses ends the run (those before stay).
bool AddAll(CBIDI& bidi, const std::vector<MediaCapability>& capabilities) {
    for (const auto& cap : capabilities) {
        const DWORD dwSize = cap.dwPaperSizeID;
        const DWORD entry[kCapabilityEntryWords] = {cap.dwPaperTypeID, cap.dwPaperSource, cap.dwQuality,
                                                    cap.dwLayout};
        if (!bidi.AddCapability(&dwSize, entry)) return false;
    }
    return true;
}

}  // namespace

DWORD CBIDI_BP::TranslatePaperSource(DWORD dwSourceBits) { return TranslateMediaPaperSource(dwSourceBits); }

// GetSupportMediaInfo: fetch by the channel's road, then analyse the format that answered.
int CBIDI_BP::GetSupportMediaInfo() {
    BI_LOG("CBIDI_BP::GetSupportMediaInfo\n");
    if (m_stAutoConfigInfo.dwPrinterCategory == PRINTER_CATEGORY_PAGE) return 0;
    if (!m_pChannel || m_pChannel->nHandle < 0) return 0;

    std::vector<BYTE> media;
    std::vector<BYTE> inputPath;
    if (IsChannel(kZkChannelOPK) || IsChannel(kZkChannelTVD4)) {
        if (GetInfoTVD4(BP_PI_FORM_FIRST, BP_INFO_MEDIA_F17, &media) >= 0) return AnalyzeSupportMediaInfo17(media);
        if (GetInfoTVD4(BP_PI_FORM_FIRST, BP_INFO_MEDIA, &media) < 0) return 0;
        if (GetInfoTVD4(BP_PI_FORM_FIRST, BP_INFO_INPUT_PATH, &inputPath) < 0) return 0;
    } else if (IsChannel(kZkChannelSNMP) || IsChannel(kZkChannelD4)) {
        if (SupportMediaInfo(BP_INFO_MEDIA_F17, &media) >= 0) return AnalyzeSupportMediaInfo17(media);
        if (SupportMediaInfo(BP_INFO_MEDIA, &media) < 0) return 0;
        if (SupportMediaInfo(BP_INFO_INPUT_PATH, &inputPath) < 0) return 0;
    } else {
        return 0;
    }
    if (media.empty() || inputPath.empty()) return 0;
    BI_LOG("SupportMediaInfo: \n");
    BI_DUMP(media.data(), media.size());
    BI_LOG("InputPathInfo: \n");
    BI_DUMP(inputPath.data(), inputPath.size());
    return AnalyzeSupportMediaInfo(media, inputPath);
}

// AnalyzeSupportMediaInfo: formats 14 (media) and 16 (input paths).
int CBIDI_BP::AnalyzeSupportMediaInfo(const std::vector<BYTE>& media, const std::vector<BYTE>& inputPath) {
    if (media.empty() || inputPath.empty()) return 0;
    Format1416Result result;
    const bool bRead = AnalyzeFormat1416(media, inputPath, &result);
    if (!AddAll(*this, result.capabilities) || !bRead) return 0;
    if (result.capabilities.empty()) {
        BI_LOG("#The media information names no paper.\n");
        return 0;
    }
    m_stAutoConfigInfo.dwResolutionFlag = result.dwResolutionFlag;
    m_stAutoConfigInfo.dwFormat17Mark = 0;
    return ComputeForbiddenPairs() ? 1 : 0;
}

// AnalyzeSupportMediaInfo17: the single format-17 reply.
int CBIDI_BP::AnalyzeSupportMediaInfo17(const std::vector<BYTE>& reply) {
    if (reply.empty()) return 0;
    Format17Result result;
    if (!AnalyzeFormat17(reply, &result)) return 0;
    if (!AddAll(*this, result.capabilities)) return 0;
    if (result.capabilities.empty()) {
        BI_LOG("#The media information names no paper.\n");
        return 0;
    }
    if (result.bResolution360) m_stAutoConfigInfo.dwResolutionFlag = kMediaResolutionFlag;
    if (result.wPWord5 != kMediaWordUnset) m_stAutoConfigInfo.dwPSectionWord5 = result.wPWord5;
    if (result.wPWord7 != kMediaWordUnset) m_stAutoConfigInfo.dwPSectionWord7 = result.wPWord7;
    if (result.wPWord21 != kMediaWordUnset) m_stAutoConfigInfo.dwPSectionWord21 = result.wPWord21;
    m_stAutoConfigInfo.dwFormat17Mark = kMediaFormat17Mark;
    return ComputeForbiddenPairs() ? 1 : 0;
}
