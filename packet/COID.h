// Object identifiers, held as dotted text relative to 1.3.6.1, as a list of arcs and as encoded
// bytes side by side.
//
// CSNMPOID encodes with BER (the 1.3.6.1 prefix is added when text is encoded and dropped when
// bytes are decoded); CMDROID encodes each arc of the relative text in the count-prefixed
// length-field form used inside MDR packets.
#pragma once

#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "packet/CPacketData.h"

// Encoding kinds.
constexpr BYTE OID_KIND_SNMP = 1;
constexpr BYTE OID_KIND_MDR = 2;

class COID {
public:
    virtual ~COID() = default;
    COID(const COID&) = delete;
    COID& operator=(const COID&) = delete;

    // Replaces the identifier by the parsed dotted text and builds its encoding. 1 or 0.
    virtual int SetText(const std::string& strText) = 0;
    // Replaces the identifier by decoded bytes, rebuilding arcs and text. 1 or 0.
    virtual int SetEncoded(const BYTE* pBytes, int nLength) = 0;
    // Writes the arcs' encodings one after another (never the SNMP prefix). 0 when they do not
    // fit in nCapacity bytes; nothing is written past the capacity.
    virtual int Encode(BYTE* pBuffer, int nCapacity) const;
    virtual int GetEncodedLength() const { return m_nEncodedLength; }

    const BYTE* GetEncoded() const { return m_encoded.empty() ? nullptr : m_encoded.data(); }
    std::string GetText() const { return m_strText; }
    size_t GetArcCount() const { return m_arcs.size(); }
    uint32_t GetArc(size_t nIndex) const { return m_arcs[nIndex]->GetValue(); }
    BYTE GetKind() const { return m_byKind; }

    // The arcs except the last joined with "."; false (strParent untouched) with fewer than two.
    bool GetParentText(std::string& strParent) const;
    // Adds one to the last arc when the result still fits in the last encoded byte (below 128)
    // and patches that byte; otherwise 0 and the identifier is unchanged.
    int IncrementLastArc();
    // Moves the last arc back to a value it held before IncrementLastArc: both the old and the
    // new value must be one-byte arcs (below 128); that byte is patched. 1, or 0 and unchanged.
    int SetLastArcInPlace(uint32_t dwValue);
    // The last arc; 0 for an empty identifier.
    uint32_t GetLastArc() const { return m_arcs.empty() ? 0 : m_arcs.back()->GetValue(); }
    // Walk test with this = identifier of a reply and other = walk base: 1 when an arc differs
    // between them, comparing from the arc before the last towards the front (aligned at their
    // ends), never the first arc of either.
    int IsOtherColumn(const COID& base) const;
    // The same test on plain arc lists (reply r[0..n), base b[0..m)).
    static int IsOtherColumn(const uint32_t* pReply, size_t n, const uint32_t* pBase, size_t m);
    // The arcs as plain numbers.
    std::vector<uint32_t> GetArcs() const;
    // The decoding rule of CSNMPOID::SetEncoded without building objects or text: the arcs
    // after the three prefix bytes. False (arcs emptied) when there is no arc or one runs past
    // the end. Used where only the arcs of many reply identifiers are needed.
    static bool DecodeSnmpArcs(const BYTE* pBytes, int nLength, std::vector<uint32_t>& arcs);
    // The same rule into a caller's array: the number of arcs, or -1 when the bytes do not
    // decode or hold more than nCapacity arcs. An identifier of nLength bytes has at most
    // MaxSnmpArcs(nLength) arcs.
    static int DecodeSnmpArcs(const BYTE* pBytes, int nLength, uint32_t* pArcs, size_t nCapacity);
    static size_t MaxSnmpArcs(int nLength);
    // Decoded text of plain arcs: each arc in decimal, joined with ".".
    static std::string ArcsToText(const std::vector<uint32_t>& arcs);
    static std::string ArcsToText(const uint32_t* pArcs, size_t nArcs);
    // Appends that text to any string type (the packets keep keys in their own arena). The text
    // is gathered in a local buffer and handed over in chunks, so a short key needs one append.
    template <typename Text>
    static void AppendArcsText(const uint32_t* pArcs, size_t nArcs, Text& strText) {
        constexpr size_t kMaxArcText = 11;  // "." and up to 10 decimal digits
        char buffer[512];
        size_t nUsed = 0;
        for (size_t i = 0; i < nArcs; ++i) {
            if (nUsed + kMaxArcText > sizeof(buffer)) {
                strText.append(buffer, nUsed);
                nUsed = 0;
            }
            if (i != 0) buffer[nUsed++] = '.';
            nUsed = static_cast<size_t>(std::to_chars(buffer + nUsed, buffer + sizeof(buffer), pArcs[i]).ptr - buffer);
        }
        strText.append(buffer, nUsed);
    }
    // An empty arc value of this identifier's kind, or none for an unknown kind.
    std::unique_ptr<CPacketDataUINT> NewArc() const;

protected:
    explicit COID(BYTE byKind) : m_byKind(byKind) {}
    void ClearAll();
    // Clears, stores the text and fills the arcs from it; sets the encoded length to the arcs'
    // total. False when an arc cannot be stored.
    bool ParseText(const std::string& strText);
    // Appends one decoded arc value to the arcs and its decimal form plus "." to the text.
    void AppendDecodedArc(std::unique_ptr<CPacketDataUINT> pArc);

    std::vector<std::unique_ptr<CPacketDataUINT>> m_arcs;
    std::string m_strText;
    std::vector<BYTE> m_encoded;
    BYTE m_byKind;
    int m_nEncodedLength = 0;
};

class CSNMPOID : public COID {
public:
    CSNMPOID() : COID(OID_KIND_SNMP) {}
    int SetText(const std::string& strText) override;
    int SetEncoded(const BYTE* pBytes, int nLength) override;
};

class CMDROID : public COID {
public:
    CMDROID() : COID(OID_KIND_MDR) {}
    int SetText(const std::string& strText) override;
    int SetEncoded(const BYTE* pBytes, int nLength) override;
};
