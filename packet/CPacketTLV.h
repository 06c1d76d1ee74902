// One encoded element of a request: tag, definite-form length field and, for a primitive
// element, its contents. A constructed element (tag 0x30, or both bits 0x80 and 0x20 set) holds
// only its tag and length field; its contents are the elements that follow it.
//
// SPacketPiece is the non-owning view of one element of a reply, as the tokeniser finds it.
#pragma once

#include <cstdint>
#include <vector>

#include "packet/CPacketData.h"

constexpr BYTE TAG_SEQUENCE = 0x30;          // SNMP SEQUENCE
constexpr BYTE TAG_CONTEXT_CONSTRUCTED = 0xA0;  // bits marking a constructed context tag (PDU)

class CPacketTLV {
public:
    // True for the tags whose contents are the elements that follow.
    static bool IsConstructed(BYTE byTag) {
        return byTag == TAG_SEQUENCE || (byTag & TAG_CONTEXT_CONSTRUCTED) == TAG_CONTEXT_CONSTRUCTED;
    }

    // Builds the element. pContents supplies dwLength bytes for a primitive tag and is not read
    // for a constructed one. 1 or 0 (memory exhausted, or contents missing).
    int Build(BYTE byTag, uint32_t dwLength, const BYTE* pContents);

    BYTE GetTag() const { return m_byTag; }
    const BYTE* GetBytes() const { return m_bytes.data(); }
    uint32_t GetSize() const { return m_dwSize; }

private:
    BYTE m_byTag = 0;
    CPacketDataMSBLUINT m_length;
    std::vector<BYTE> m_bytes;
    uint32_t m_dwSize = 0;
};

struct SPacketPiece {
    BYTE byTag = 0;
    int nLengthFieldSize = 0;        // bytes of the length field itself
    const BYTE* pContents = nullptr;  // primitive elements only; points into the reply
    uint32_t dwContentsLength = 0;    // the length field's value
};
