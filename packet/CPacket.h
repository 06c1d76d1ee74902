// CPacket: the base of the SNMP and MDR packets. It owns the serialised request, the elements
// of the request being built, the reply values and the state of a column walk, and tokenises
// replies into elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <memory_resource>
#include <string>
#include <utility>
#include <vector>

#include "packet/CPacketData.h"
#include "packet/CPacketTLV.h"
#include "packet/PacketResults.h"
#include "packet/WalkEntry.h"

// Result codes of the packets.
constexpr int PACKET_OK = 0;
constexpr int PACKET_ERR_MALFORMED = -104;      // reply bytes cannot be tokenised / MDR data malformed
constexpr int PACKET_ERR_NO_REPLY = -109;       // no reply buffer or a negative length (MDR)
constexpr int PACKET_ERR_STRUCTURE = -119;      // SNMP response not of the expected structure
constexpr int PACKET_ERR_AGENT_ERROR = -126;    // SNMP error-index set (save a walk's end of MIB) / MDR 0x82
constexpr int PACKET_ERR_MDR_STATUS = -127;     // MDR status 0x81
constexpr int PACKET_ERR_NOT_ECHOED = -129;     // MDR answer does not echo the request
constexpr int PACKET_ERR_BUILD = -201;          // request cannot be built, or memory exhausted

// PDU tags sent in the request type.
constexpr BYTE PDU_GET_REQUEST = 0xA0;
constexpr BYTE PDU_GET_NEXT_REQUEST = 0xA1;

using WalkColumn = std::pair<std::string, int>;  // (column identifier text, rows per request)

class CPacket {
public:
    CPacket() = default;
    virtual ~CPacket() = default;
    CPacket(const CPacket&) = delete;
    CPacket& operator=(const CPacket&) = delete;

    // Interprets a complete reply. 0 or a negative code.
    virtual int Parse(const BYTE* pReply, int nLength) = 0;
    // Frees the request, the elements and the reply values of the last exchange; the string and
    // integer results, the input list and the walk are kept.
    virtual void Reset();
    // Reads one reply value: the SNMP packet looks strKey up, the MDR packet reads its first
    // value and sets strKey. 1 when copied; otherwise 0, and *pdwSize is set to the value's size
    // when the value exists but no buffer or too small a buffer was given.
    virtual int GetValue(std::string& strKey, BYTE* pBuffer, DWORD* pdwSize) = 0;
    // Appends (key, value) to the named values: type 2 integer, type 4 string. 1 or 0.
    virtual int AddValue(const std::string& strKey, BYTE byType, const BYTE* pBytes, int nLength);

    void SetRequestType(BYTE byType) { m_byRequestType = byType; }
    BYTE GetRequestType() const { return m_byRequestType; }
    const BYTE* GetRequest() const { return m_request.empty() ? nullptr : m_request.data(); }
    int GetRequestLength() const { return static_cast<int>(m_request.size()); }
    bool IsDone() const { return m_bDone; }
    DWORD GetErrorIndex() const { return m_dwErrorIndex; }

    const PacketResults<PacketText>& GetStringResults() const { return m_stringResults; }
    const PacketResults<int32_t>& GetIntegerResults() const { return m_integerResults; }
    // A list element holds no object for a NULL value.
    const PacketResults<PacketValue>& GetValueResults() const { return m_valueResults; }
    size_t GetNamedValueCount() const { return m_namedValues.size(); }

protected:
    // Appends one element to the request being built; its size goes to *pdwSize. 1 or 0.
    int AppendPiece(BYTE byTag, uint32_t dwLength, const BYTE* pContents, uint32_t* pdwSize);
    // Puts one element ahead of all others. 1 or 0.
    int PrependPiece(BYTE byTag, uint32_t dwLength, const BYTE* pContents, uint32_t* pdwSize);
    // Splits a reply into elements. A constructed element (when allowed) yields a header-only
    // piece and its contents become the next pieces; a primitive one must carry an accepted tag
    // and end within the reply. The pieces go to pieces.push_back (a std::vector or any list
    // with that member). 0, PACKET_ERR_MALFORMED or PACKET_ERR_BUILD.
    template <typename AcceptTag, typename PieceList>
    static int Tokenise(const BYTE* pData, size_t nLength, bool bAllowConstructed, AcceptTag acceptTag,
                        PieceList& pieces);

    // A value object of type T in the arena. May throw std::bad_alloc.
    template <typename T>
    PacketValue NewValue() {
        return PacketValue(std::pmr::polymorphic_allocator<>(&m_arena).new_object<T>());
    }

    // The arena's first block is part of the packet: the reply to a single Get, or the first
    // reply of a walk of 24 short rows, needs no heap at all (the heap is what made parsing a
    // reply slow). Later blocks come from the heap. Memory of values dropped by Reset is not
    // reused before the packet goes; a walk is bounded in exchanges, so this stays small.
    // Declared ahead of every member that allocates from it.
    static constexpr size_t kArenaFirstBlock = 4096;
    alignas(std::max_align_t) std::byte m_arenaFirstBlock[kArenaFirstBlock];
    std::pmr::monotonic_buffer_resource m_arena{m_arenaFirstBlock, kArenaFirstBlock};

    bool m_bDone = false;
    bool m_bRefill = true;
    BYTE m_byRequestType = PDU_GET_REQUEST;
    std::vector<BYTE> m_request;
    DWORD m_dwErrorIndex = 0;
    std::deque<WalkColumn> m_inputList;
    std::vector<std::unique_ptr<WalkEntry>> m_walk;
    std::deque<CPacketTLV> m_pieces;
    std::vector<std::pair<std::string, std::unique_ptr<CPacketData>>> m_namedValues;
    PacketResults<PacketText> m_stringResults{&m_arena};
    PacketResults<int32_t> m_integerResults{&m_arena};
    PacketResults<PacketValue> m_valueResults{&m_arena};
};

template <typename AcceptTag, typename PieceList>
int CPacket::Tokenise(const BYTE* pData, size_t nLength, bool bAllowConstructed, AcceptTag acceptTag,
                      PieceList& pieces) {
    size_t nOffset = 0;
    while (nOffset < nLength) {
        SPacketPiece piece;
        piece.byTag = pData[nOffset];
        const size_t nAvailable = nLength - nOffset - 1;
        int nCount = nAvailable > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(nAvailable);
        uint32_t dwLength = 0;
        if (nCount < 1 || !CPacketDataMSBLUINT::Decode(pData + nOffset + 1, nCount, dwLength))
            return PACKET_ERR_MALFORMED;
        piece.nLengthFieldSize = nCount;
        piece.dwContentsLength = dwLength;
        const size_t nContents = nOffset + 1 + static_cast<size_t>(nCount);
        if (bAllowConstructed && CPacketTLV::IsConstructed(piece.byTag)) {
            nOffset = nContents;
        } else {
            if (!acceptTag(piece.byTag)) return PACKET_ERR_MALFORMED;
            if (piece.dwContentsLength > nLength - nContents) return PACKET_ERR_MALFORMED;
            piece.pContents = pData + nContents;
            nOffset = nContents + piece.dwContentsLength;
        }
        try {
            pieces.push_back(piece);
        } catch (const std::bad_alloc&) {
            return PACKET_ERR_BUILD;
        }
    }
    return PACKET_OK;
}
