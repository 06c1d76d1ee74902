// Packet values: one encoded item of a request or reply together with its raw bytes.
//
// CPacketData keeps the raw bytes and a type code; each subclass knows one encoding:
//   CPacketDataint       signed integer contents (SNMP INTEGER, MDR integer)
//   CPacketDataString    octet-string contents
//   CPacketDataUINT      unsigned numbers: CPacketDataMSBLUINT (BER definite length field, MDR
//                        identifier arc) and CPacketDataOID (one base-128 identifier arc)
// Every SetFromBytes is told how many bytes are available and never reads past them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

// Value type codes.
constexpr BYTE PACKETDATA_TYPE_INTEGER = 2;   // integer contents
constexpr BYTE PACKETDATA_TYPE_STRING = 4;    // octet-string contents
constexpr BYTE PACKETDATA_TYPE_NULL = 5;      // no value; the type of a new value
constexpr BYTE PACKETDATA_TYPE_OIDARC = 6;    // identifier arc decoded from bytes

class CPacketData {
public:
    CPacketData() = default;
    virtual ~CPacketData() = default;
    CPacketData(const CPacketData&) = delete;
    CPacketData& operator=(const CPacketData&) = delete;

    // Replaces the value by type and a copy of nSize bytes. 0 when pBytes is null (nothing
    // changes) or the copy cannot be allocated (the value is then empty with the new type).
    virtual int Set(BYTE byType, const BYTE* pBytes, int nSize);
    // Frees the raw bytes.
    virtual void Clear();

    const BYTE* GetRaw() const { return m_nSize > 0 ? m_pRaw : nullptr; }
    int GetSize() const { return m_nSize; }
    BYTE GetType() const { return m_byType; }

protected:
    // Short contents (identifier arcs, length fields, integers, most names) stay inside the
    // object; longer ones go to a heap buffer that later values reuse when it is large enough.
    static constexpr int kInlineBytes = 32;

    BYTE m_inline[kInlineBytes] = {};
    std::unique_ptr<BYTE[]> m_heap;
    int m_nHeapCapacity = 0;
    BYTE* m_pRaw = nullptr;  // m_inline, m_heap, or none: contents without tag and length
    int m_nSize = 0;
    BYTE m_byType = PACKETDATA_TYPE_NULL;
};

class CPacketDataint : public CPacketData {
public:
    // Takes all nCount bytes as integer contents (type 2); nCount is left unchanged.
    virtual int SetFromBytes(const BYTE* pBytes, int& nCount);
    // Significant bytes of a non-negative number, most significant first; 0 stores no bytes.
    virtual int SetValue(uint32_t dwValue);
    // 0 for no bytes; one byte is sign-extended; longer contents are read most significant
    // first into 32 bits without sign extension (only the last four bytes survive).
    virtual int32_t GetValue() const;
};

class CPacketDataString : public CPacketData {
public:
    // The raw bytes up to the first zero byte.
    std::string ToString() const;
    // The same text without a copy; valid while the value is unchanged.
    std::string_view ToText() const;
};

class CPacketDataUINT : public CPacketData {
public:
    // In: nCount = bytes available at pBytes; out: bytes this item spans. 0 when the item does
    // not fit in the available bytes or cannot be stored.
    virtual int SetFromBytes(const BYTE* pBytes, int& nCount) = 0;
    virtual int SetValue(uint32_t dwValue) = 0;
    virtual uint32_t GetValue() const = 0;
};

// BER definite-form length field: below 128 one byte; otherwise 0x80 | n, then n bytes.
class CPacketDataMSBLUINT : public CPacketDataUINT {
public:
    // The decoding rule of SetFromBytes and GetValue without storing anything: in nCount =
    // bytes available, out = bytes of the field; false when the field does not fit. Inline
    // because the reply tokeniser calls it for every element.
    static bool Decode(const BYTE* pBytes, int& nCount, uint32_t& dwValue) {
        if (pBytes == nullptr || nCount < 1) return false;
        const BYTE byFirst = pBytes[0];
        const int nSpan = (byFirst & 0x80) ? (byFirst & 0x7F) + 1 : 1;  // 0x80: long form, count in low bits
        if (nSpan > nCount) return false;
        uint32_t dwRead = byFirst;
        if (nSpan > 1) {
            dwRead = 0;
            for (int i = 1; i < nSpan; ++i) dwRead = (dwRead << 8) | pBytes[i];
        }
        nCount = nSpan;
        dwValue = dwRead;
        return true;
    }

    int SetFromBytes(const BYTE* pBytes, int& nCount) override;
    int SetValue(uint32_t dwValue) override;
    uint32_t GetValue() const override;
};

// One object-identifier arc in base 128 (at most 5 bytes).
class CPacketDataOID : public CPacketDataUINT {
public:
    static constexpr int kMaxArcBytes = 5;  // a 32-bit arc needs at most 5 groups of 7 bits

    // The decoding rule of SetFromBytes without storing anything: in nCount = bytes available,
    // out = bytes of the arc; false when the arc is still open at the end of the available bytes.
    static bool DecodeArc(const BYTE* pBytes, int& nCount, uint32_t& dwArc);

    int SetFromBytes(const BYTE* pBytes, int& nCount) override;
    int SetValue(uint32_t dwValue) override;
    uint32_t GetValue() const override { return m_dwArc; }

private:
    uint32_t m_dwArc = 0;
};
