// Packet values: raw-byte storage and the integer, string, length-field and arc encodings.
#include "packet/CPacketData.h"

#include <cstring>
#include <new>

namespace {

constexpr BYTE kHighBit = 0x80;        // length field: long form; arc byte: more bytes follow
constexpr BYTE kLowSevenBits = 0x7F;   // payload bits of an arc byte / count of a long length

// Number of significant bytes of a value (0 for 0, at most 4).
int SignificantBytes(uint32_t dwValue) {
    int n = 0;
    while (dwValue != 0) {
        ++n;
        dwValue >>= 8;
    }
    return n;
}

}  // namespace

// CPacketData::Set: replaces the contents by a copy of the given bytes.
int CPacketData::Set(BYTE byType, const BYTE* pBytes, int nSize) {
    if (pBytes == nullptr || nSize < 0) return 0;
    m_byType = byType;
    m_nSize = 0;
    if (nSize <= kInlineBytes) {
        m_pRaw = m_inline;
    } else {
        if (nSize > m_nHeapCapacity) {
            m_heap.reset();
            m_nHeapCapacity = 0;
            try {
                m_heap = std::make_unique<BYTE[]>(static_cast<size_t>(nSize));
            } catch (const std::bad_alloc&) {
                m_pRaw = nullptr;
                return 0;
            }
            m_nHeapCapacity = nSize;
        }
        m_pRaw = m_heap.get();
    }
    if (nSize > 0) std::memcpy(m_pRaw, pBytes, static_cast<size_t>(nSize));
    m_nSize = nSize;
    return 1;
}

// CPacketData::Clear: drops the contents.
void CPacketData::Clear() {
    m_heap.reset();
    m_nHeapCapacity = 0;
    m_pRaw = nullptr;
    m_nSize = 0;
}

// CPacketDataint::SetFromBytes: the whole span given is the integer's contents.
int CPacketDataint::SetFromBytes(const BYTE* pBytes, int& nCount) {
    return Set(PACKETDATA_TYPE_INTEGER, pBytes, nCount);
}

// CPacketDataint::SetValue: minimal unsigned big-endian contents.
int CPacketDataint::SetValue(uint32_t dwValue) {
    Clear();
    BYTE bytes[4];
    const int n = SignificantBytes(dwValue);
    for (int i = 0; i < n; ++i) bytes[i] = static_cast<BYTE>(dwValue >> (8 * (n - 1 - i)));
    return Set(PACKETDATA_TYPE_INTEGER, bytes, n);
}

// CPacketDataint::GetValue: reads the contents as described in the header.
int32_t CPacketDataint::GetValue() const {
    if (m_nSize <= 0) return 0;
    if (m_nSize == 1) return static_cast<int8_t>(m_pRaw[0]);
    uint32_t dwValue = 0;
    for (int i = 0; i < m_nSize; ++i) dwValue = (dwValue << 8) | m_pRaw[i];
    return static_cast<int32_t>(dwValue);
}

// CPacketDataString::ToText: the contents as text, cut at the first zero byte.
std::string_view CPacketDataString::ToText() const {
    if (m_nSize <= 0) return {};
    const void* pZero = std::memchr(m_pRaw, 0, static_cast<size_t>(m_nSize));
    const size_t n = pZero ? static_cast<const BYTE*>(pZero) - m_pRaw : static_cast<size_t>(m_nSize);
    return {reinterpret_cast<const char*>(m_pRaw), n};
}

// CPacketDataString::ToString: ToText as an owned string.
std::string CPacketDataString::ToString() const {
    try {
        return std::string(ToText());
    } catch (const std::bad_alloc&) {
        return std::string();
    }
}

// CPacketDataMSBLUINT::SetFromBytes: a length field spans (b & 0x7F) + 1 bytes when its first
// byte b has bit 7 set, else one byte.
int CPacketDataMSBLUINT::SetFromBytes(const BYTE* pBytes, int& nCount) {
    uint32_t dwValue = 0;
    int nSpan = nCount;
    if (!Decode(pBytes, nSpan, dwValue)) return 0;
    nCount = nSpan;
    return Set(PACKETDATA_TYPE_INTEGER, pBytes, nSpan);
}

// CPacketDataMSBLUINT::SetValue: the BER definite length form.
int CPacketDataMSBLUINT::SetValue(uint32_t dwValue) {
    Clear();
    BYTE bytes[5];
    if (dwValue < kHighBit) {
        bytes[0] = static_cast<BYTE>(dwValue);
        return Set(PACKETDATA_TYPE_INTEGER, bytes, 1);
    }
    const int n = SignificantBytes(dwValue);
    bytes[0] = static_cast<BYTE>(kHighBit | n);
    for (int i = 0; i < n; ++i) bytes[1 + i] = static_cast<BYTE>(dwValue >> (8 * (n - 1 - i)));
    return Set(PACKETDATA_TYPE_INTEGER, bytes, n + 1);
}

// CPacketDataMSBLUINT::GetValue: the bytes after the first (low 32 bits), or the only byte.
uint32_t CPacketDataMSBLUINT::GetValue() const {
    if (m_nSize <= 0) return 0;
    if (m_nSize == 1) return m_pRaw[0];
    uint32_t dwValue = 0;
    for (int i = 1; i < m_nSize; ++i) dwValue = (dwValue << 8) | m_pRaw[i];
    return dwValue;
}

// CPacketDataOID::DecodeArc: one base-128 arc, ended by a byte with bit 7 clear or cut after
// five bytes. An arc still open at the end of the available bytes fails.
bool CPacketDataOID::DecodeArc(const BYTE* pBytes, int& nCount, uint32_t& dwArc) {
    if (pBytes == nullptr || nCount < 1) return false;
    uint32_t dwValue = 0;
    int n = 0;
    bool bEnded = false;
    while (n < kMaxArcBytes && n < nCount) {
        const BYTE b = pBytes[n++];
        dwValue = (dwValue << 7) | (b & kLowSevenBits);
        if (!(b & kHighBit)) {
            bEnded = true;
            break;
        }
    }
    if (!bEnded && n < kMaxArcBytes) return false;
    nCount = n;
    dwArc = dwValue;
    return true;
}

// CPacketDataOID::SetFromBytes: decodes one arc and keeps its bytes.
int CPacketDataOID::SetFromBytes(const BYTE* pBytes, int& nCount) {
    uint32_t dwArc = 0;
    if (!DecodeArc(pBytes, nCount, dwArc)) return 0;
    if (!Set(PACKETDATA_TYPE_OIDARC, pBytes, nCount)) return 0;
    m_dwArc = dwArc;
    return 1;
}

// CPacketDataOID::SetValue: base-128 groups, most significant first, bit 7 on all but the last.
int CPacketDataOID::SetValue(uint32_t dwValue) {
    Clear();
    int nBits = 0;
    for (uint32_t v = dwValue; v != 0; v >>= 1) ++nBits;
    const int k = nBits == 0 ? 1 : (nBits + 6) / 7;
    BYTE bytes[kMaxArcBytes];
    for (int i = 0; i < k; ++i) {
        bytes[i] = static_cast<BYTE>((dwValue >> (7 * (k - 1 - i))) & kLowSevenBits);
        if (i != k - 1) bytes[i] |= kHighBit;
    }
    m_dwArc = dwValue;
    return Set(PACKETDATA_TYPE_OIDARC, bytes, k);
}
