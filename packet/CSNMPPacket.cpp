// CSNMPPacket: SNMP version 1 message building, response parsing, single Get and column walk.
#include "packet/CSNMPPacket.h"

#include <cstring>
#include <new>

#include "common/BILogging.h"

namespace {

constexpr BYTE TAG_INTEGER = 0x02;
constexpr BYTE TAG_OCTET_STRING = 0x04;
constexpr BYTE TAG_NULL = 0x05;
constexpr BYTE TAG_OBJECT_ID = 0x06;
// The SMI's application types, [APPLICATION 0] to [APPLICATION 7]: IpAddress, Counter32,
// Gauge32, TimeTicks, Opaque, NsapAddress, Counter64 and UInteger32. Real agents keep such
// objects next to the columns read here, so a GetNext past a column's end meets them; they are
// tokenised like any primitive, and the interpretation takes no value of theirs.
constexpr BYTE TAG_FIRST_APPLICATION = 0x40;
constexpr BYTE TAG_LAST_APPLICATION = 0x47;

constexpr char kCommunity[] = "vintal";  // community of every request
constexpr int kMaxWalkRows = 24;          // sum of rows per request over the columns walked together
constexpr uint32_t kMaxBindingBytes = 540;  // no further binding once a request's bindings exceed this

constexpr BYTE kErrorStatusNoError = 0x00;
constexpr BYTE kErrorStatusNoSuchName = 0x02;

// Zero-based positions of the response elements (message, version, community, PDU, request-id,
// error-status, error-index, bindings, then three elements per binding).
constexpr size_t kPieceMessage = 0;
constexpr size_t kPieceVersion = 1;
constexpr size_t kPieceCommunity = 2;
constexpr size_t kPiecePdu = 3;
constexpr size_t kPieceRequestId = 4;
constexpr size_t kPieceErrorStatus = 5;
constexpr size_t kPieceErrorIndex = 6;
constexpr size_t kPieceBindings = 7;
constexpr size_t kPieceFirstBinding = 8;
constexpr size_t kPiecesPerBinding = 3;

bool AcceptSnmpPrimitive(BYTE byTag) {
    return byTag == TAG_INTEGER || byTag == TAG_OCTET_STRING || byTag == TAG_NULL || byTag == TAG_OBJECT_ID ||
           (byTag >= TAG_FIRST_APPLICATION && byTag <= TAG_LAST_APPLICATION);
}

// An INTEGER header element whose length field is 1 to 4 bytes long.
bool IsHeaderInteger(const SPacketPiece& piece) {
    return piece.byTag == TAG_INTEGER && piece.nLengthFieldSize >= 1 && piece.nLengthFieldSize <= 4;
}

int ContentsSize(const SPacketPiece& piece) { return static_cast<int>(piece.dwContentsLength); }

// The error-index as a binding number (1 for the first binding): a non-negative INTEGER of at
// most four contents bytes. False for anything else, which names no binding.
bool BindingNumber(const SPacketPiece& piece, uint32_t& dwNumber) {
    if (piece.dwContentsLength < 1 || piece.dwContentsLength > 4 || (piece.pContents[0] & 0x80) != 0) return false;
    dwNumber = 0;
    for (uint32_t i = 0; i < piece.dwContentsLength; ++i) dwNumber = dwNumber << 8 | piece.pContents[i];
    return true;
}

// The cursor has reached the row after which the agent holds nothing: every row of the column
// up to there has been asked.
bool AtEndRow(const WalkEntry& entry) {
    return entry.bStarted && entry.dwEndRow != WalkEntry::kNoEndRow && entry.oidCursor.GetLastArc() >= entry.dwEndRow;
}

// The elements of one reply: as many as a full walk response has are kept in place, so that
// parsing a reply allocates nothing for them; a longer reply moves them all to a heap list.
class ReplyPieces {
public:
    static constexpr size_t kInlinePieces = kPieceFirstBinding + kPiecesPerBinding * (kMaxWalkRows + 1);

    // May throw std::bad_alloc (the tokeniser turns it into PACKET_ERR_BUILD).
    void push_back(const SPacketPiece& piece) {
        if (m_nSize < kInlinePieces) {
            m_inline.pieces[m_nSize++] = piece;
            return;
        }
        if (m_heap.empty()) {
            m_heap.reserve(2 * kInlinePieces);
            m_heap.assign(m_inline.pieces, m_inline.pieces + kInlinePieces);
        }
        m_heap.push_back(piece);
        ++m_nSize;
    }
    std::span<const SPacketPiece> View() const {
        return m_nSize <= kInlinePieces ? std::span<const SPacketPiece>(m_inline.pieces, m_nSize)
                                        : std::span<const SPacketPiece>(m_heap);
    }

private:
    // Left uninitialised: only the first m_nSize pieces are ever read, and clearing all of them
    // for every reply cost more than parsing a short one.
    union InlinePieces {
        InlinePieces() {}
        SPacketPiece pieces[kInlinePieces];
    } m_inline;
    std::vector<SPacketPiece> m_heap;
    size_t m_nSize = 0;
};

// The arcs of one reply identifier, decoded in place unless the identifier is unusually long.
class ReplyArcs {
public:
    // False when the identifier cannot be decoded (no arc, or an arc running past the end).
    // May throw std::bad_alloc for a long identifier.
    bool Decode(const BYTE* pBytes, int nLength) {
        const size_t nMax = COID::MaxSnmpArcs(nLength);
        m_pArcs = m_inline;
        if (nMax > kInlineArcs) {
            m_heap.resize(nMax);
            m_pArcs = m_heap.data();
        }
        const int nArcs = COID::DecodeSnmpArcs(pBytes, nLength, m_pArcs, nMax > kInlineArcs ? nMax : kInlineArcs);
        m_nArcs = nArcs < 0 ? 0 : static_cast<size_t>(nArcs);
        return nArcs > 0;
    }
    const uint32_t* Data() const { return m_pArcs; }
    size_t Size() const { return m_nArcs; }
    uint32_t Back() const { return m_pArcs[m_nArcs - 1]; }

private:
    static constexpr size_t kInlineArcs = 128;  // the most arcs an SNMP identifier may have

    uint32_t m_inline[kInlineArcs];
    std::vector<uint32_t> m_heap;
    uint32_t* m_pArcs = m_inline;
    size_t m_nArcs = 0;
};

// Before the first value of a column's kind in a reply: room for the rows still to come.
template <typename List>
void ReserveRest(List& list, int nRest) {
    if (list.size() == list.capacity() && nRest > 0) list.reserve(list.size() + static_cast<size_t>(nRest));
}

}  // namespace

// CSNMPPacket::CSNMPPacket: a GetNext packet with the fixed community.
CSNMPPacket::CSNMPPacket() : m_strCommunity(kCommunity) { m_byRequestType = PDU_GET_NEXT_REQUEST; }

// CSNMPPacket::SetWalkList: the columns still to be started.
void CSNMPPacket::SetWalkList(const std::vector<WalkColumn>& columns) {
    m_inputList.assign(columns.begin(), columns.end());
}

// CSNMPPacket::AssembleMessage: headers ahead of the bindings, then one buffer of all elements.
int CSNMPPacket::AssembleMessage(uint32_t dwBindings) {
    uint32_t dwTotal = dwBindings;
    uint32_t dwSize = 0;
    const BYTE byCommunityLength = static_cast<BYTE>(m_strCommunity.size());
    if (!PrependPiece(TAG_SEQUENCE, dwTotal, nullptr, &dwSize)) return PACKET_ERR_BUILD;
    dwTotal += dwSize;
    for (const BYTE* pField : {&m_byErrorIndexOut, &m_byErrorStatus, &m_byRequestId}) {
        if (!PrependPiece(TAG_INTEGER, 1, pField, &dwSize)) return PACKET_ERR_BUILD;
        dwTotal += dwSize;
    }
    if (!PrependPiece(m_byRequestType, dwTotal, nullptr, &dwSize)) return PACKET_ERR_BUILD;
    dwTotal += dwSize;
    if (!PrependPiece(TAG_OCTET_STRING, byCommunityLength,
                      reinterpret_cast<const BYTE*>(m_strCommunity.data()), &dwSize))
        return PACKET_ERR_BUILD;
    dwTotal += dwSize;
    if (!PrependPiece(TAG_INTEGER, 1, &m_byVersion, &dwSize)) return PACKET_ERR_BUILD;
    dwTotal += dwSize;
    if (!PrependPiece(TAG_SEQUENCE, dwTotal, nullptr, &dwSize)) return PACKET_ERR_BUILD;
    dwTotal += dwSize;

    try {
        m_request.assign(dwTotal, 0);
    } catch (const std::bad_alloc&) {
        return PACKET_ERR_BUILD;
    }
    uint32_t dwOffset = 0;
    for (const CPacketTLV& piece : m_pieces) {
        if (piece.GetSize() > dwTotal - dwOffset) {
            m_request.clear();
            return PACKET_ERR_BUILD;
        }
        std::memcpy(m_request.data() + dwOffset, piece.GetBytes(), piece.GetSize());
        dwOffset += piece.GetSize();
    }
    return PACKET_OK;
}

// CSNMPPacket::AppendBinding: binding header, identifier and NULL; their total size to *pdwSize.
int CSNMPPacket::AppendBinding(const COID& oid, uint32_t* pdwSize) {
    const uint32_t dwIdLength = static_cast<uint32_t>(oid.GetEncodedLength());
    CPacketTLV idElement;
    if (!idElement.Build(TAG_OBJECT_ID, dwIdLength, oid.GetEncoded())) return 0;
    constexpr uint32_t dwNullSize = 2;  // 05 00
    uint32_t dwBinding = 0, dwId = 0, dwNull = 0;
    if (!AppendPiece(TAG_SEQUENCE, idElement.GetSize() + dwNullSize, nullptr, &dwBinding) ||
        !AppendPiece(TAG_OBJECT_ID, dwIdLength, oid.GetEncoded(), &dwId) || !AppendPiece(TAG_NULL, 0, nullptr, &dwNull))
        return 0;
    *pdwSize = dwBinding + dwId + dwNull;
    return 1;
}

// CSNMPPacket::BuildGet: one GetRequest binding for the identifier.
int CSNMPPacket::BuildGet(const std::string& strText) {
    Reset();
    if (m_byRequestType != PDU_GET_REQUEST) {
        BI_LOG("#CSNMPPacket::BuildGet request type is not GetRequest. type=0x%02x\n", m_byRequestType);
        return PACKET_ERR_BUILD;
    }
    CSNMPOID oid;
    if (!oid.SetText(strText)) return PACKET_ERR_BUILD;
    uint32_t dwBindings = 0;
    if (!AppendBinding(oid, &dwBindings)) return PACKET_ERR_BUILD;
    return AssembleMessage(dwBindings);
}

// CSNMPPacket::RefillWalk: starts input columns while the rows of the walk stay within 24.
int CSNMPPacket::RefillWalk() {
    int nTotal = 0;
    for (const auto& pEntry : m_walk) nTotal += pEntry->nRowsPerRequest;
    while (!m_inputList.empty() && nTotal + m_inputList.front().second <= kMaxWalkRows) {
        const auto& [strText, nRows] = m_inputList.front();
        if (nRows < 1) {
            BI_LOG("#CSNMPPacket::BuildGetNext rows per request below 1. column=%s nRows=%d\n", strText.c_str(), nRows);
            return PACKET_ERR_BUILD;
        }
        std::unique_ptr<WalkEntry> pEntry;
        try {
            pEntry = std::make_unique<WalkEntry>(&m_arena);
        } catch (const std::bad_alloc&) {
            return PACKET_ERR_BUILD;
        }
        std::string strParent;
        if (!pEntry->oidBase.SetText(strText) || !pEntry->oidCursor.SetText(strText)) return PACKET_ERR_BUILD;
        if (!pEntry->oidBase.GetParentText(strParent)) {
            BI_LOG("#CSNMPPacket::BuildGetNext column has fewer than two arcs. column=%s\n", strText.c_str());
            return PACKET_ERR_BUILD;
        }
        if (!pEntry->oidFirst.SetText(strParent)) return PACKET_ERR_BUILD;
        pEntry->nRowsPerRequest = nRows;
        try {
            pEntry->baseArcs = pEntry->oidBase.GetArcs();
            m_walk.push_back(std::move(pEntry));
        } catch (const std::bad_alloc&) {
            return PACKET_ERR_BUILD;
        }
        nTotal += nRows;
        m_inputList.pop_front();
    }
    return PACKET_OK;
}

// CSNMPPacket::BuildGetNext: the next rows of every unfinished column in one GetNextRequest.
int CSNMPPacket::BuildGetNext() {
    Reset();
    if (m_byRequestType != PDU_GET_NEXT_REQUEST) {
        BI_LOG("#CSNMPPacket::BuildGetNext request type is not GetNextRequest. type=0x%02x\n", m_byRequestType);
        return PACKET_ERR_BUILD;
    }
    if (const int nResult = RefillWalk(); nResult != PACKET_OK) return nResult;
    m_bRefill = false;
    if (m_walk.empty()) {
        BI_LOG("#CSNMPPacket::BuildGetNext nothing to walk.\n");
        return PACKET_ERR_BUILD;
    }

    uint32_t dwBindings = 0;
    for (const auto& pEntry : m_walk) {
        WalkEntry& entry = *pEntry;
        entry.nSent = 0;
        if (entry.bFinished) continue;
        entry.dwRequestRow = entry.oidCursor.GetLastArc();
        entry.bRequestStarted = entry.bStarted;
        entry.bRequestCursorAtEnd = entry.bCursorAtEnd;
        for (int nRow = 0; nRow < entry.nRowsPerRequest && dwBindings <= kMaxBindingBytes; ++nRow) {
            if (AtEndRow(entry)) break;  // GetNext of that row is known to meet the MIB's end
            if (entry.bCursorAtEnd) {
                // The cursor's row was asked already and cannot advance: more would repeat it.
                if (nRow == 0) {
                    BI_LOG("#CSNMPPacket::BuildGetNext column goes on past the last row the walk can ask. "
                           "column=%s\n", entry.oidBase.GetText().c_str());
                    return PACKET_ERR_BUILD;
                }
                break;
            }
            const COID& oid = entry.bStarted ? static_cast<const COID&>(entry.oidCursor) : entry.oidFirst;
            uint32_t dwBinding = 0;
            if (!AppendBinding(oid, &dwBinding)) return PACKET_ERR_BUILD;
            if (entry.bStarted) {
                if (!entry.oidCursor.IncrementLastArc()) entry.bCursorAtEnd = true;
            } else {
                entry.bStarted = true;
            }
            ++entry.nSent;
            dwBindings += dwBinding;
        }
    }
    return AssembleMessage(dwBindings);
}

// CSNMPPacket::Parse: tokenises the response, checks its header and interprets the bindings as
// the answer to a Get (request type GetRequest) or to the walk's GetNext.
int CSNMPPacket::Parse(const BYTE* pReply, int nLength) {
    if (pReply == nullptr || nLength < 0) {
        BI_LOG("#CSNMPPacket::Parse no reply. nLength=%d\n", nLength);
        return PACKET_ERR_MALFORMED;
    }
    ReplyPieces replyPieces;
    const int nTokenised = Tokenise(pReply, static_cast<size_t>(nLength), true, AcceptSnmpPrimitive, replyPieces);
    if (nTokenised != PACKET_OK) {
        BI_LOG("#CSNMPPacket::Parse element with an unknown tag or running past the end. nLength=%d nRet=%d\n",
               nLength, nTokenised);
        return nTokenised;
    }

    const std::span<const SPacketPiece> pieces = replyPieces.View();
    if (pieces.empty() || pieces[kPieceMessage].byTag != TAG_SEQUENCE) {
        BI_LOG("#CSNMPPacket::Parse response does not start with a SEQUENCE.\n");
        return PACKET_ERR_STRUCTURE;
    }
    if (pieces.size() <= kPieceVersion || !IsHeaderInteger(pieces[kPieceVersion]) ||
        pieces.size() <= kPieceCommunity || pieces[kPieceCommunity].byTag != TAG_OCTET_STRING ||
        pieces.size() <= kPiecePdu ||
        (pieces[kPiecePdu].byTag & TAG_CONTEXT_CONSTRUCTED) != TAG_CONTEXT_CONSTRUCTED ||
        pieces.size() <= kPieceRequestId || !IsHeaderInteger(pieces[kPieceRequestId])) {
        BI_LOG("#CSNMPPacket::Parse response header is not version, community, PDU, request-id.\n");
        return PACKET_ERR_STRUCTURE;
    }
    if (pieces.size() <= kPieceErrorStatus || !IsHeaderInteger(pieces[kPieceErrorStatus]) ||
        ContentsSize(pieces[kPieceErrorStatus]) < 1) {
        BI_LOG("#CSNMPPacket::Parse response has no error-status.\n");
        return PACKET_ERR_STRUCTURE;
    }
    const BYTE byErrorStatus = pieces[kPieceErrorStatus].pContents[0];
    if (byErrorStatus != kErrorStatusNoError && byErrorStatus != kErrorStatusNoSuchName) {
        BI_LOG("#CSNMPPacket::Parse error-status=%u\n", byErrorStatus);
        return PACKET_ERR_STRUCTURE;
    }
    if (pieces.size() <= kPieceErrorIndex || !IsHeaderInteger(pieces[kPieceErrorIndex]) ||
        ContentsSize(pieces[kPieceErrorIndex]) < 1) {
        BI_LOG("#CSNMPPacket::Parse response has no error-index.\n");
        return PACKET_ERR_STRUCTURE;
    }
    // The whole INTEGER is the index: an index above 127 has a leading zero byte.
    uint32_t dwBinding = 0;
    const bool bBinding = BindingNumber(pieces[kPieceErrorIndex], dwBinding);
    m_dwErrorIndex = bBinding ? dwBinding : pieces[kPieceErrorIndex].pContents[0];
    if (!bBinding || dwBinding != 0) {
        BI_LOG("#CSNMPPacket::Parse error-status=%u error-index=%u\n", byErrorStatus, m_dwErrorIndex);
        if (bBinding && m_byRequestType != PDU_GET_REQUEST && byErrorStatus == kErrorStatusNoSuchName)
            return EndColumnAtMibEnd(dwBinding);
        return PACKET_ERR_AGENT_ERROR;
    }
    if (pieces.size() <= kPieceFirstBinding || pieces[kPieceBindings].byTag != TAG_SEQUENCE) {
        BI_LOG("#CSNMPPacket::Parse response has no variable bindings.\n");
        return PACKET_ERR_STRUCTURE;
    }
    return m_byRequestType == PDU_GET_REQUEST ? InterpretGet(pieces) : InterpretWalk(pieces);
}

// CSNMPPacket::InterpretGet: the first binding's value under its identifier text.
int CSNMPPacket::InterpretGet(std::span<const SPacketPiece> pieces) {
    const size_t nId = kPieceFirstBinding + 1;
    const size_t nValue = kPieceFirstBinding + 2;
    if (pieces[kPieceFirstBinding].byTag != TAG_SEQUENCE || pieces.size() <= nValue ||
        pieces[nId].byTag != TAG_OBJECT_ID) {
        BI_LOG("#CSNMPPacket::Parse binding is not a SEQUENCE of identifier and value.\n");
        return PACKET_ERR_STRUCTURE;
    }
    const SPacketPiece& value = pieces[nValue];
    try {
        ReplyArcs arcs;
        if (!arcs.Decode(pieces[nId].pContents, ContentsSize(pieces[nId]))) {
            BI_LOG("#CSNMPPacket::Parse binding identifier cannot be decoded.\n");
            return PACKET_ERR_STRUCTURE;
        }
        PacketText strKey(&m_arena);
        COID::AppendArcsText(arcs.Data(), arcs.Size(), strKey);
        PacketValue pValue;
        if (value.byTag == TAG_INTEGER || value.byTag == TAG_OCTET_STRING) {
            if (value.dwContentsLength == 0) {
                BI_LOG("#CSNMPPacket::Parse empty value. key=%s tag=0x%02x\n", strKey.c_str(), value.byTag);
                return PACKET_ERR_STRUCTURE;
            }
            if (value.byTag == TAG_INTEGER) {
                pValue = NewValue<CPacketDataint>();
                if (!pValue->Set(PACKETDATA_TYPE_INTEGER, value.pContents, ContentsSize(value))) return PACKET_ERR_STRUCTURE;
                PacketList<int32_t>& integers = m_integerResults.try_emplace(strKey).first->second;
                integers.clear();
                integers.push_back(static_cast<const CPacketDataint&>(*pValue).GetValue());
            } else {
                pValue = NewValue<CPacketDataString>();
                if (!pValue->Set(PACKETDATA_TYPE_STRING, value.pContents, ContentsSize(value)))
                    return PACKET_ERR_STRUCTURE;
                PacketList<PacketText>& strings = m_stringResults.try_emplace(strKey).first->second;
                strings.clear();
                strings.emplace_back(static_cast<const CPacketDataString&>(*pValue).ToText());
            }
        } else if (value.byTag != TAG_NULL) {
            BI_LOG("#CSNMPPacket::Parse value of unexpected type. key=%s tag=0x%02x\n", strKey.c_str(), value.byTag);
            return PACKET_ERR_STRUCTURE;
        }
        PacketList<PacketValue>& values = m_valueResults.try_emplace(std::move(strKey)).first->second;
        values.clear();
        values.push_back(std::move(pValue));  // none for a NULL value
    } catch (const std::bad_alloc&) {
        return PACKET_ERR_BUILD;
    }
    return PACKET_OK;
}

// CSNMPPacket::InterpretWalk: matches the bindings to the walk's columns in walk order, as many
// to each column as were sent for it, and collects the values of the rows still in the column.
int CSNMPPacket::InterpretWalk(std::span<const SPacketPiece> pieces) {
    size_t nPiece = kPieceFirstBinding;
    ReplyArcs reply;  // arcs of the current binding's identifier
    try {
        for (const auto& pEntry : m_walk) {
            WalkEntry& entry = *pEntry;
            bool bGap = false;
            if (!entry.bFinished && entry.nSent > 0) {
                // Room for every row asked, so that the lists grow once per reply.
                const size_t nSent = static_cast<size_t>(entry.nSent);
                entry.values.reserve(entry.values.size() + nSent);
            }
            for (int nBinding = 0; nBinding < entry.nSent; ++nBinding, nPiece += kPiecesPerBinding) {
                if (nPiece >= pieces.size()) break;
                if (entry.bFinished) continue;  // the rest of this column's bindings
                if (pieces[nPiece].byTag != TAG_SEQUENCE) {
                    BI_LOG("#CSNMPPacket::Parse binding is not a SEQUENCE. tag=0x%02x\n", pieces[nPiece].byTag);
                    return PACKET_ERR_STRUCTURE;
                }
                if (nPiece + 1 >= pieces.size()) break;
                const SPacketPiece& id = pieces[nPiece + 1];
                if (id.byTag != TAG_OBJECT_ID || !reply.Decode(id.pContents, ContentsSize(id))) {
                    BI_LOG("#CSNMPPacket::Parse binding without a valid identifier. tag=0x%02x\n", id.byTag);
                    return PACKET_ERR_STRUCTURE;
                }
                if (COID::IsOtherColumn(reply.Data(), reply.Size(), entry.baseArcs.data(), entry.baseArcs.size())) {
                    entry.bFinished = true;
                    m_bRefill = true;
                    bGap = false;
                    continue;
                }
                const uint32_t dwRow = reply.Back();
                if (dwRow != 0 && dwRow != static_cast<uint32_t>(entry.nExpectedRow)) bGap = true;
                entry.nExpectedRow = static_cast<int32_t>(static_cast<uint32_t>(entry.nExpectedRow) + 1u);

                if (nPiece + 2 >= pieces.size()) break;
                const SPacketPiece& value = pieces[nPiece + 2];
                if (value.byTag == TAG_INTEGER && value.dwContentsLength != 0) {
                    PacketValue pInt = NewValue<CPacketDataint>();
                    if (!pInt->Set(PACKETDATA_TYPE_INTEGER, value.pContents, ContentsSize(value)))
                        return PACKET_ERR_STRUCTURE;
                    ReserveRest(entry.integers, entry.nSent - nBinding);
                    entry.integers.push_back(static_cast<const CPacketDataint&>(*pInt).GetValue());
                    entry.values.push_back(std::move(pInt));
                } else if (value.byTag == TAG_OCTET_STRING && value.dwContentsLength != 0) {
                    PacketValue pString = NewValue<CPacketDataString>();
                    ReserveRest(entry.strings, entry.nSent - nBinding);
                    // A row missing before this one: its place is kept by an empty string.
                    const int nKept = bGap ? 0 : ContentsSize(value);
                    bGap = false;
                    if (!pString->Set(PACKETDATA_TYPE_STRING, value.pContents, nKept)) return PACKET_ERR_STRUCTURE;
                    entry.strings.emplace_back(static_cast<const CPacketDataString&>(*pString).ToText());
                    entry.values.push_back(std::move(pString));
                } else if (value.byTag != TAG_INTEGER && value.byTag != TAG_OCTET_STRING && value.byTag != TAG_NULL &&
                           value.byTag != TAG_SEQUENCE) {
                    BI_LOG("#CSNMPPacket::Parse value of unexpected type. tag=0x%02x\n", value.byTag);
                    return PACKET_ERR_STRUCTURE;
                }
            }
            if (!entry.bFinished && AtEndRow(entry)) {
                entry.bFinished = true;
                m_bRefill = true;
            }
        }
        HarvestFinished();
    } catch (const std::bad_alloc&) {
        return PACKET_ERR_BUILD;
    }
    if (m_walk.empty() && m_inputList.empty()) m_bDone = true;
    return PACKET_OK;
}

// CSNMPPacket::EndColumnAtMibEnd: a version-1 agent answers a GetNext that finds no object
// after one binding's identifier with noSuchName and that binding's number, and hands back no
// value for any binding of the request. Nothing follows that identifier in the agent's MIB, so
// its column has no rows after it: a column whose first binding of the request it was has been
// read (or, asked at its parent, has no rows), and the walk goes on with the others. Bindings of
// the same column before it may still have found rows: the column then keeps its place, with
// its end row known, and asks them again. Every column asks this request's bindings again.
// 0, or PACKET_ERR_AGENT_ERROR when the number names no binding of the request.
int CSNMPPacket::EndColumnAtMibEnd(uint32_t dwBinding) {
    WalkEntry* pNamed = nullptr;
    uint32_t dwFirst = 1;  // number of the entry's first binding in the request
    for (const auto& pEntry : m_walk) {
        const uint32_t dwSent = static_cast<uint32_t>(pEntry->nSent);
        if (dwBinding >= dwFirst && dwBinding - dwFirst < dwSent) {
            pNamed = pEntry.get();
            break;
        }
        dwFirst += dwSent;
    }
    if (pNamed == nullptr) {
        BI_LOG("#CSNMPPacket::Parse error-index %u names no binding of the request.\n", dwBinding);
        return PACKET_ERR_AGENT_ERROR;
    }
    const uint32_t dwPosition = dwBinding - dwFirst;  // 0 for the entry's first binding

    for (const auto& pEntry : m_walk) {
        WalkEntry& entry = *pEntry;
        if (entry.nSent == 0) continue;
        const bool bRewound = entry.oidCursor.SetLastArcInPlace(entry.dwRequestRow) ||
                              entry.oidCursor.GetLastArc() == entry.dwRequestRow;
        if (!bRewound) return PACKET_ERR_BUILD;
        entry.bStarted = entry.bRequestStarted;
        entry.bCursorAtEnd = entry.bRequestCursorAtEnd;
        entry.nSent = 0;
    }

    WalkEntry& named = *pNamed;
    if (!named.bStarted && dwPosition == 0) {
        // GetNext of the column's parent: the column has no rows at all.
        named.bFinished = true;
    } else {
        // The binding asked GetNext of this row (the parent takes the first binding when the
        // column had not started).
        const uint32_t dwRow = named.dwRequestRow + dwPosition - (named.bStarted ? 0u : 1u);
        named.dwEndRow = dwRow;
        if (AtEndRow(named)) named.bFinished = true;
    }
    BI_LOG("CSNMPPacket::Parse column %s ends at the end of the agent's MIB.%s\n", named.oidBase.GetText().c_str(),
           named.bFinished ? "" : " Its rows before it are asked again.");
    if (named.bFinished) {
        m_bRefill = true;
        try {
            HarvestFinished();
        } catch (const std::bad_alloc&) {
            return PACKET_ERR_BUILD;
        }
    }
    if (m_walk.empty() && m_inputList.empty()) m_bDone = true;
    return PACKET_OK;
}

// CSNMPPacket::HarvestFinished: a finished column's strings (or else its integers, even none)
// and its value objects go to the result maps under the column text; a key keeps its first list.
void CSNMPPacket::HarvestFinished() {
    for (auto it = m_walk.begin(); it != m_walk.end();) {
        WalkEntry& entry = **it;
        if (!entry.bFinished) {
            ++it;
            continue;
        }
        const PacketText strKey(entry.oidBase.GetText(), &m_arena);
        if (!entry.strings.empty())
            m_stringResults.try_emplace(strKey, std::move(entry.strings));
        else
            m_integerResults.try_emplace(strKey, std::move(entry.integers));
        if (!entry.values.empty()) m_valueResults.try_emplace(strKey, std::move(entry.values));
        it = m_walk.erase(it);
    }
}

// CSNMPPacket::GetValue: copies the first value object stored under the key.
int CSNMPPacket::GetValue(std::string_view strKey, BYTE* pBuffer, DWORD* pdwSize) {
    if (pdwSize == nullptr) return 0;
    const auto it = m_valueResults.find(strKey);
    if (it == m_valueResults.end() || it->second.empty() || !it->second.front()) return 0;
    const CPacketData& value = *it->second.front();
    const DWORD dwSize = static_cast<DWORD>(value.GetSize());
    if (pBuffer != nullptr && *pdwSize >= dwSize) {
        if (dwSize != 0) std::memcpy(pBuffer, value.GetRaw(), dwSize);
        return 1;
    }
    *pdwSize = dwSize;
    return 0;
}

int CSNMPPacket::GetValue(std::string& strKey, BYTE* pBuffer, DWORD* pdwSize) {
    return GetValue(std::string_view(strKey), pBuffer, pdwSize);
}
