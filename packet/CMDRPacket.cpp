// CMDRPacket: MDR request command lines and their answers.
#include "packet/CMDRPacket.h"

#include <cstring>
#include <new>
#include <vector>

#include "common/BILogging.h"
#include "packet/COID.h"

namespace {

constexpr char kCommandPrefix[] = "@OPK MDR CM=";   // job-language command of an MDR request
constexpr size_t kCommandPrefixLength = sizeof(kCommandPrefix) - 1;  // 12
constexpr char kQuote = '"';
constexpr BYTE kCR = 0x0D;
constexpr BYTE kLF = 0x0A;
// Fixed part of a request: prefix, quote, two command digits, quote, CR LF.
constexpr size_t kRequestOverhead = kCommandPrefixLength + 1 + 2 + 1 + 2;  // 18
constexpr uint32_t kMaxElementBytes = 110;  // no further identifier once the elements exceed this
constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr BYTE kMdrCommandGet = 0;          // the command the system sends
constexpr BYTE kMdrCommandNext = 1;
constexpr BYTE kMdrAnswerGet = 0x80;        // first data byte answering command 0
constexpr BYTE kMdrAnswerNext = 0x81;       // first data byte answering command 1
constexpr BYTE kMdrStatusContinue = 0x00;
constexpr BYTE kMdrStatusEnd = 0x82;        // reported as PACKET_ERR_AGENT_ERROR
constexpr BYTE kMdrStatusError = 0x81;      // reported as PACKET_ERR_MDR_STATUS

bool AcceptMdrTag(BYTE byTag) {
    return byTag == MDR_TAG_OID || byTag == 0x04 || byTag == MDR_TAG_INTEGER || byTag == MDR_TAG_STRING ||
           byTag == 0x18 || byTag == 0x1C;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One pair of characters as a hexadecimal number: blanks skipped, an optional sign, digits up
// to the first other character; the low 8 bits.
BYTE HexPair(const char* p) {
    const char* pEnd = p + 2;
    while (p < pEnd && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r')) ++p;
    bool bNegative = false;
    if (p < pEnd && (*p == '+' || *p == '-')) bNegative = *p++ == '-';
    int nValue = 0;
    for (; p < pEnd && HexDigit(*p) >= 0; ++p) nValue = nValue * 16 + HexDigit(*p);
    return static_cast<BYTE>(bNegative ? -nValue : nValue);
}

}  // namespace

// CMDRPacket::BuildRequest: identifier elements for consecutive rows while they fit.
int CMDRPacket::BuildRequest(const std::string& strText, int& nCount) {
    Reset();
    CMDROID oid;
    if (!oid.SetText(strText)) return PACKET_ERR_BUILD;
    int nPlaced = 0;
    uint32_t dwElements = 0;
    while (nPlaced < nCount && 2 * dwElements <= 2 * kMaxElementBytes) {
        uint32_t dwSize = 0;
        if (!AppendPiece(MDR_TAG_OID, static_cast<uint32_t>(oid.GetEncodedLength()), oid.GetEncoded(), &dwSize))
            return PACKET_ERR_BUILD;
        dwElements += dwSize;
        oid.IncrementLastArc();  // past row 127 the same identifier is asked again
        ++nPlaced;
    }
    nCount = nPlaced;
    return Serialise(dwElements);
}

// CMDRPacket::Serialise: "@OPK MDR CM=" quote, command, elements in hexadecimal, quote, CR LF.
int CMDRPacket::Serialise(uint32_t dwElements) {
    try {
        m_request.assign(kRequestOverhead + 2 * static_cast<size_t>(dwElements), 0);
    } catch (const std::bad_alloc&) {
        return PACKET_ERR_BUILD;
    }
    BYTE* p = m_request.data();
    std::memcpy(p, kCommandPrefix, kCommandPrefixLength);
    p += kCommandPrefixLength;
    *p++ = kQuote;
    *p++ = kHexDigits[m_byRequestType >> 4];
    *p++ = kHexDigits[m_byRequestType & 0x0F];
    size_t nWritten = 0;
    for (const CPacketTLV& piece : m_pieces) {
        if (nWritten + piece.GetSize() > dwElements) {
            m_request.clear();
            return PACKET_ERR_BUILD;
        }
        for (uint32_t i = 0; i < piece.GetSize(); ++i) {
            *p++ = kHexDigits[piece.GetBytes()[i] >> 4];
            *p++ = kHexDigits[piece.GetBytes()[i] & 0x0F];
        }
        nWritten += piece.GetSize();
    }
    *p++ = kQuote;
    *p++ = kCR;
    *p++ = kLF;
    return PACKET_OK;
}

// CMDRPacket::Parse: checks the echo and the quotes, decodes the hexadecimal data, checks the
// answer code and status, and interprets the elements into named values.
int CMDRPacket::Parse(const BYTE* pReply, int nLength) {
    if (pReply == nullptr || nLength < 0) {
        BI_LOG("#CMDRPacket::Parse no reply. nLength=%d\n", nLength);
        return PACKET_ERR_NO_REPLY;
    }
    const size_t nReply = static_cast<size_t>(nLength);
    const size_t nEcho = m_request.size();
    if (nEcho == 0 || nReply < nEcho || std::memcmp(pReply, m_request.data(), nEcho) != 0) {
        BI_LOG("#CMDRPacket::Parse answer does not echo the request. nLength=%d\n", nLength);
        return PACKET_ERR_NOT_ECHOED;
    }
    if (nReply == nEcho || pReply[nEcho] != kQuote) {
        BI_LOG("#CMDRPacket::Parse no opening quote after the echo.\n");
        return PACKET_ERR_NOT_ECHOED;
    }
    const BYTE* pText = pReply + nEcho + 1;
    const void* pClose = std::memchr(pText, kQuote, nReply - nEcho - 1);
    if (pClose == nullptr) {
        BI_LOG("#CMDRPacket::Parse no closing quote.\n");
        return PACKET_ERR_NOT_ECHOED;
    }
    const size_t nData = (static_cast<const BYTE*>(pClose) - pText) / 2;
    std::vector<BYTE> data;
    try {
        data.resize(nData);
    } catch (const std::bad_alloc&) {
        return PACKET_ERR_BUILD;
    }
    for (size_t i = 0; i < nData; ++i) data[i] = HexPair(reinterpret_cast<const char*>(pText) + 2 * i);

    BYTE byAnswer = 0;
    if (m_byRequestType == kMdrCommandGet)
        byAnswer = kMdrAnswerGet;
    else if (m_byRequestType == kMdrCommandNext)
        byAnswer = kMdrAnswerNext;
    if (byAnswer == 0 || nData < 2 || data[0] != byAnswer) {
        BI_LOG("#CMDRPacket::Parse answer code does not match the command. command=%u nData=%u\n", m_byRequestType,
               static_cast<unsigned>(nData));
        return PACKET_ERR_MALFORMED;
    }
    if (data[1] == kMdrStatusEnd) {
        BI_LOG("#CMDRPacket::Parse status=0x%02x\n", data[1]);
        return PACKET_ERR_AGENT_ERROR;
    }
    if (data[1] == kMdrStatusError) {
        BI_LOG("#CMDRPacket::Parse status=0x%02x\n", data[1]);
        return PACKET_ERR_MDR_STATUS;
    }
    if (data[1] != kMdrStatusContinue) {
        BI_LOG("#CMDRPacket::Parse unknown status=0x%02x\n", data[1]);
        return PACKET_ERR_MALFORMED;
    }

    std::vector<SPacketPiece> pieces;
    const int nTokenised = Tokenise(data.data() + 2, nData - 2, false, AcceptMdrTag, pieces);
    if (nTokenised != PACKET_OK) {
        BI_LOG("#CMDRPacket::Parse element with an unknown tag or running past the end. nRet=%d\n", nTokenised);
        return nTokenised;
    }
    try {
        std::string strKey;
        CMDROID oid;
        for (const SPacketPiece& piece : pieces) {
            if (piece.byTag == MDR_TAG_OID) {
                oid.SetEncoded(piece.pContents, static_cast<int>(piece.dwContentsLength));
                strKey = oid.GetText();
            } else if (piece.byTag == MDR_TAG_INTEGER || piece.byTag == MDR_TAG_STRING) {
                if (piece.dwContentsLength == 0) continue;
                if (!AddValue(strKey, piece.byTag, piece.pContents, static_cast<int>(piece.dwContentsLength))) {
                    BI_LOG("#CMDRPacket::Parse value could not be stored. key=%s\n", strKey.c_str());
                    return PACKET_ERR_MALFORMED;
                }
            } else {
                BI_LOG("#CMDRPacket::Parse element the answer may not hold. tag=0x%02x\n", piece.byTag);
                return PACKET_ERR_MALFORMED;
            }
        }
    } catch (const std::bad_alloc&) {
        return PACKET_ERR_BUILD;
    }
    return PACKET_OK;
}

// CMDRPacket::AddValue: an integer (tag 0x08) or string (tag 0x14) named value.
int CMDRPacket::AddValue(const std::string& strKey, BYTE byTag, const BYTE* pBytes, int nLength) {
    if (byTag == MDR_TAG_INTEGER) return CPacket::AddValue(strKey, PACKETDATA_TYPE_INTEGER, pBytes, nLength);
    if (byTag == MDR_TAG_STRING) return CPacket::AddValue(strKey, PACKETDATA_TYPE_STRING, pBytes, nLength);
    return 0;
}

// CMDRPacket::GetValue: the raw bytes of the first named value, when the buffer holds them. An
// integer gives its contents bytes as the SNMP packet does, so that an object reads the same
// over either channel.
int CMDRPacket::GetValue(std::string& strKey, BYTE* pBuffer, DWORD* pdwSize) {
    if (m_namedValues.empty() || pdwSize == nullptr) return 0;
    const auto& [strValueKey, pValue] = m_namedValues.front();
    const DWORD dwSize = static_cast<DWORD>(pValue->GetSize());
    if (pBuffer != nullptr && *pdwSize >= dwSize) {
        strKey = strValueKey;
        if (dwSize != 0) std::memcpy(pBuffer, pValue->GetRaw(), dwSize);
        return 1;
    }
    *pdwSize = dwSize;
    return 0;
}

int CMDRPacket::GetValueType(size_t nIndex) const {
    return nIndex < m_namedValues.size() ? m_namedValues[nIndex].second->GetType() : 0;
}

int CMDRPacket::GetIntValue(size_t nIndex, std::string& strKey, int32_t& nValue) const {
    if (nIndex >= m_namedValues.size() || m_namedValues[nIndex].second->GetType() != PACKETDATA_TYPE_INTEGER) return 0;
    strKey = m_namedValues[nIndex].first;
    nValue = static_cast<const CPacketDataint&>(*m_namedValues[nIndex].second).GetValue();
    return 1;
}

int CMDRPacket::GetStringValue(size_t nIndex, std::string& strKey, std::string& strValue) const {
    if (nIndex >= m_namedValues.size() || m_namedValues[nIndex].second->GetType() != PACKETDATA_TYPE_STRING) return 0;
    strKey = m_namedValues[nIndex].first;
    strValue = static_cast<const CPacketDataString&>(*m_namedValues[nIndex].second).ToString();
    return 1;
}
