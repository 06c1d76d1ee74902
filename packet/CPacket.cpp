// CPacket: request elements, reply values and the reset between exchanges.
#include "packet/CPacket.h"

#include <new>

// CPacket::Reset: forgets the last exchange.
void CPacket::Reset() {
    m_request.clear();
    m_bDone = false;
    m_pieces.clear();
    m_namedValues.clear();
    m_valueResults.clear();
    m_dwErrorIndex = 0;
    m_bRefill = true;
}

// CPacket::AddValue: an integer (type 2) or string (type 4) named value.
int CPacket::AddValue(const std::string& strKey, BYTE byType, const BYTE* pBytes, int nLength) {
    try {
        std::unique_ptr<CPacketData> pValue;
        if (byType == PACKETDATA_TYPE_INTEGER)
            pValue = std::make_unique<CPacketDataint>();
        else if (byType == PACKETDATA_TYPE_STRING)
            pValue = std::make_unique<CPacketDataString>();
        else
            return 0;
        if (!pValue->Set(byType, pBytes, nLength)) return 0;
        m_namedValues.emplace_back(strKey, std::move(pValue));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

// CPacket::AppendPiece: builds an element at the end of the request's element list.
int CPacket::AppendPiece(BYTE byTag, uint32_t dwLength, const BYTE* pContents, uint32_t* pdwSize) {
    try {
        m_pieces.emplace_back();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!m_pieces.back().Build(byTag, dwLength, pContents)) {
        m_pieces.pop_back();
        return 0;
    }
    if (pdwSize) *pdwSize = m_pieces.back().GetSize();
    return 1;
}

// CPacket::PrependPiece: builds an element at the front of the request's element list.
int CPacket::PrependPiece(BYTE byTag, uint32_t dwLength, const BYTE* pContents, uint32_t* pdwSize) {
    try {
        m_pieces.emplace_front();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!m_pieces.front().Build(byTag, dwLength, pContents)) {
        m_pieces.pop_front();
        return 0;
    }
    if (pdwSize) *pdwSize = m_pieces.front().GetSize();
    return 1;
}
