// Object identifiers: text parsing, the SNMP and MDR encodings, and the arc-level operations the
// column walk relies on.
#include "packet/COID.h"

#include <charconv>
#include <new>

#include "common/BILogging.h"

namespace {

// BER form of the internet subtree 1.3.6.1: 1 * 40 + 3 = 43, then 6, then 1.
constexpr BYTE kInternetPrefix[] = {0x2B, 0x06, 0x01};
constexpr int kInternetPrefixLength = 3;
constexpr uint32_t kLastOneByteArc = 127;  // largest arc whose encoding is one byte in both forms

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// One dotted-text token as an arc: leading blanks skipped, an optional sign, decimal digits up
// to the first other character, all modulo 2^32.
uint32_t TokenToArc(const char* p, const char* pEnd) {
    while (p < pEnd && IsBlank(*p)) ++p;
    bool bNegative = false;
    if (p < pEnd && (*p == '+' || *p == '-')) {
        bNegative = *p == '-';
        ++p;
    }
    uint32_t dwValue = 0;
    for (; p < pEnd && *p >= '0' && *p <= '9'; ++p) dwValue = dwValue * 10u + static_cast<uint32_t>(*p - '0');
    return bNegative ? 0u - dwValue : dwValue;
}

}  // namespace

// COID::ClearAll: back to the freshly constructed state.
void COID::ClearAll() {
    m_arcs.clear();
    m_strText.clear();
    m_encoded.clear();
    m_nEncodedLength = 0;
}

// COID::NewArc: arc value object of this identifier's encoding.
std::unique_ptr<CPacketDataUINT> COID::NewArc() const {
    try {
        if (m_byKind == OID_KIND_SNMP) return std::make_unique<CPacketDataOID>();
        if (m_byKind == OID_KIND_MDR) return std::make_unique<CPacketDataMSBLUINT>();
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}

// COID::ParseText: splits the dotted text into arcs; empty tokens give no arc.
bool COID::ParseText(const std::string& strText) {
    ClearAll();
    try {
        m_strText = strText;
        const char* p = strText.data();
        const char* pEnd = p + strText.size();
        int nTotal = 0;
        while (p < pEnd) {
            const char* pDot = p;
            while (pDot < pEnd && *pDot != '.') ++pDot;
            if (pDot > p) {
                auto pArc = NewArc();
                if (!pArc || !pArc->SetValue(TokenToArc(p, pDot))) return false;
                nTotal += pArc->GetSize();
                m_arcs.push_back(std::move(pArc));
            }
            p = pDot + 1;
        }
        m_nEncodedLength = nTotal;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// COID::AppendDecodedArc: adds a decoded arc and its text.
void COID::AppendDecodedArc(std::unique_ptr<CPacketDataUINT> pArc) {
    char digits[12];
    const auto result = std::to_chars(digits, digits + sizeof(digits), pArc->GetValue());
    m_strText.append(digits, result.ptr);
    m_strText += '.';
    m_arcs.push_back(std::move(pArc));
}

// COID::Encode: the arcs' bytes in order, bounded by the capacity.
int COID::Encode(BYTE* pBuffer, int nCapacity) const {
    int nUsed = 0;
    for (const auto& pArc : m_arcs) {
        const int n = pArc->GetSize();
        if (pBuffer == nullptr || n > nCapacity - nUsed) return 0;
        for (int i = 0; i < n; ++i) pBuffer[nUsed + i] = pArc->GetRaw()[i];
        nUsed += n;
    }
    return 1;
}

// COID::GetParentText: the text of all arcs but the last.
bool COID::GetParentText(std::string& strParent) const {
    if (m_arcs.size() < 2) return false;
    std::string strText;
    for (size_t i = 0; i + 1 < m_arcs.size(); ++i) {
        if (i != 0) strText += '.';
        strText += std::to_string(m_arcs[i]->GetValue());
    }
    strParent = std::move(strText);
    return true;
}

// COID::IncrementLastArc: advances the row arc in place while it stays a one-byte arc.
int COID::IncrementLastArc() {
    if (m_arcs.empty() || m_encoded.empty()) return 0;
    auto& pLast = m_arcs.back();
    const uint32_t dwValue = pLast->GetValue();
    if (dwValue >= kLastOneByteArc) return 0;
    if (!pLast->SetValue(dwValue + 1)) return 0;
    m_encoded.back() = static_cast<BYTE>(dwValue + 1);
    return 1;
}

// COID::SetLastArcInPlace: the inverse of IncrementLastArc, for rewinding a walk's cursor.
int COID::SetLastArcInPlace(uint32_t dwValue) {
    if (m_arcs.empty() || m_encoded.empty()) return 0;
    auto& pLast = m_arcs.back();
    if (pLast->GetValue() > kLastOneByteArc || dwValue > kLastOneByteArc) return 0;
    if (!pLast->SetValue(dwValue)) return 0;
    m_encoded.back() = static_cast<BYTE>(dwValue);
    return 1;
}

// COID::IsOtherColumn: compares the arcs before the row arc, aligned at the ends.
int COID::IsOtherColumn(const COID& base) const {
    const std::vector<uint32_t> reply = GetArcs();
    const std::vector<uint32_t> column = base.GetArcs();
    return IsOtherColumn(reply.data(), reply.size(), column.data(), column.size());
}

int COID::IsOtherColumn(const uint32_t* pReply, size_t n, const uint32_t* pBase, size_t m) {
    if (n < 2 || m < 2) return 0;
    // Indices of r(n-1) and b(m-1), zero-based; index 0 (the first arc) is never compared.
    for (size_t i = n - 2, j = m - 2; i >= 1 && j >= 1; --i, --j) {
        if (pReply[i] != pBase[j]) return 1;
    }
    return 0;
}

// COID::GetArcs: the arc values in order.
std::vector<uint32_t> COID::GetArcs() const {
    std::vector<uint32_t> arcs;
    arcs.reserve(m_arcs.size());
    for (const auto& pArc : m_arcs) arcs.push_back(pArc->GetValue());
    return arcs;
}

// COID::MaxSnmpArcs: every arc takes at least one byte after the prefix.
size_t COID::MaxSnmpArcs(int nLength) {
    return nLength > kInternetPrefixLength ? static_cast<size_t>(nLength - kInternetPrefixLength) : 0;
}

// COID::DecodeSnmpArcs: the arcs after the prefix, as CSNMPOID::SetEncoded reads them (each arc
// as CPacketDataOID::DecodeArc reads it), in one pass over the bytes: a walk reply decodes an
// identifier per binding.
int COID::DecodeSnmpArcs(const BYTE* pBytes, int nLength, uint32_t* pArcs, size_t nCapacity) {
    if (pBytes == nullptr || nLength <= kInternetPrefixLength || pArcs == nullptr) return -1;
    size_t nArcs = 0;
    uint32_t dwArc = 0;
    int nArcBytes = 0;
    for (int nOffset = kInternetPrefixLength; nOffset < nLength; ++nOffset) {
        const BYTE b = pBytes[nOffset];
        dwArc = (dwArc << 7) | (b & 0x7F);
        // Bit 7 set: more bytes follow, unless the arc already has its five.
        if ((b & 0x80) && ++nArcBytes < CPacketDataOID::kMaxArcBytes) continue;
        if (nArcs >= nCapacity) return -1;
        pArcs[nArcs++] = dwArc;
        dwArc = 0;
        nArcBytes = 0;
    }
    return nArcBytes == 0 ? static_cast<int>(nArcs) : -1;  // an arc still open at the end fails
}

bool COID::DecodeSnmpArcs(const BYTE* pBytes, int nLength, std::vector<uint32_t>& arcs) {
    arcs.assign(MaxSnmpArcs(nLength), 0);
    const int nArcs = DecodeSnmpArcs(pBytes, nLength, arcs.data(), arcs.size());
    if (nArcs < 0) {
        arcs.clear();
        return false;
    }
    arcs.resize(static_cast<size_t>(nArcs));
    return true;
}

// COID::ArcsToText: the text decoding builds, from plain arcs.
std::string COID::ArcsToText(const uint32_t* pArcs, size_t nArcs) {
    std::string strText;
    AppendArcsText(pArcs, nArcs, strText);
    return strText;
}

std::string COID::ArcsToText(const std::vector<uint32_t>& arcs) { return ArcsToText(arcs.data(), arcs.size()); }

// CSNMPOID::SetText: parses the text and encodes 1.3.6.1 followed by its arcs.
int CSNMPOID::SetText(const std::string& strText) {
    if (!ParseText(strText)) {
        ClearAll();
        return 0;
    }
    try {
        m_encoded.assign(m_nEncodedLength + kInternetPrefixLength, 0);
    } catch (const std::bad_alloc&) {
        ClearAll();
        return 0;
    }
    for (int i = 0; i < kInternetPrefixLength; ++i) m_encoded[i] = kInternetPrefix[i];
    Encode(m_encoded.data() + kInternetPrefixLength, m_nEncodedLength);
    m_nEncodedLength += kInternetPrefixLength;
    return 1;
}

// CSNMPOID::SetEncoded: skips the three prefix bytes (not inspected) and decodes the arcs after
// them. No arc, or an arc running past the end, fails and clears the identifier.
int CSNMPOID::SetEncoded(const BYTE* pBytes, int nLength) {
    // The arc objects of the previous identifier are reused: a walk decodes one per binding.
    std::vector<std::unique_ptr<CPacketDataUINT>> spare;
    spare.swap(m_arcs);
    size_t nSpare = 0;
    ClearAll();
    if (pBytes == nullptr || nLength <= kInternetPrefixLength) {
        BI_LOG("#CSNMPOID::SetEncoded no arc after the prefix. nLength=%d\n", nLength);
        return 0;
    }
    try {
        int nOffset = kInternetPrefixLength;
        while (nOffset < nLength) {
            std::unique_ptr<CPacketDataUINT> pArc =
                nSpare < spare.size() ? std::move(spare[nSpare++]) : std::make_unique<CPacketDataOID>();
            int nCount = nLength - nOffset;
            if (!pArc->SetFromBytes(pBytes + nOffset, nCount)) {
                BI_LOG("#CSNMPOID::SetEncoded arc runs past the end. nOffset=%d\n", nOffset);
                ClearAll();
                return 0;
            }
            nOffset += nCount;
            AppendDecodedArc(std::move(pArc));
        }
        m_strText.pop_back();  // the trailing "."
        m_encoded.assign(pBytes + kInternetPrefixLength, pBytes + nLength);
        m_nEncodedLength = nLength - kInternetPrefixLength;
    } catch (const std::bad_alloc&) {
        ClearAll();
        return 0;
    }
    return 1;
}

// CMDROID::SetText: parses the text and encodes its arcs as they stand.
int CMDROID::SetText(const std::string& strText) {
    if (!ParseText(strText)) {
        ClearAll();
        return 0;
    }
    try {
        m_encoded.assign(m_nEncodedLength, 0);
    } catch (const std::bad_alloc&) {
        ClearAll();
        return 0;
    }
    Encode(m_encoded.data(), m_nEncodedLength);
    return 1;
}

// CMDROID::SetEncoded: decodes count-prefixed arcs. Always 1; bytes without arcs give an empty
// identifier, and so does an arc whose count runs past the end (a cut identifier would name a
// different object).
int CMDROID::SetEncoded(const BYTE* pBytes, int nLength) {
    std::vector<std::unique_ptr<CPacketDataUINT>> spare;
    spare.swap(m_arcs);
    size_t nSpare = 0;
    ClearAll();
    if (pBytes == nullptr || nLength <= 0) return 1;
    try {
        int nOffset = 0;
        while (nOffset < nLength) {
            std::unique_ptr<CPacketDataUINT> pArc =
                nSpare < spare.size() ? std::move(spare[nSpare++]) : std::make_unique<CPacketDataMSBLUINT>();
            int nCount = nLength - nOffset;
            if (!pArc->SetFromBytes(pBytes + nOffset, nCount)) {
                BI_LOG("#CMDROID::SetEncoded arc runs past the end. nOffset=%d\n", nOffset);
                ClearAll();
                return 1;
            }
            nOffset += nCount;
            AppendDecodedArc(std::move(pArc));
        }
        m_strText.pop_back();
        m_encoded.assign(pBytes, pBytes + nLength);
        m_nEncodedLength = nLength;
    } catch (const std::bad_alloc&) {
        ClearAll();
    }
    return 1;
}
