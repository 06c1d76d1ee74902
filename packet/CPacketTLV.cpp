// CPacketTLV: serialises one request element.
#include "packet/CPacketTLV.h"

#include <new>

// CPacketTLV::Build: tag + length field (+ contents for a primitive tag).
int CPacketTLV::Build(BYTE byTag, uint32_t dwLength, const BYTE* pContents) {
    const bool bConstructed = IsConstructed(byTag);
    if (!bConstructed && dwLength != 0 && pContents == nullptr) return 0;
    if (!m_length.SetValue(dwLength)) return 0;
    const uint32_t dwHeader = 1 + static_cast<uint32_t>(m_length.GetSize());
    const uint32_t dwSize = dwHeader + (bConstructed ? 0 : dwLength);
    try {
        m_bytes.resize(dwSize);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    m_byTag = byTag;
    m_bytes[0] = byTag;
    for (int i = 0; i < m_length.GetSize(); ++i) m_bytes[1 + i] = m_length.GetRaw()[i];
    if (!bConstructed)
        for (uint32_t i = 0; i < dwLength; ++i) m_bytes[dwHeader + i] = pContents[i];
    m_dwSize = dwSize;
    return 1;
}
