// CMDRPacket: an MDR (MIB data request) command line for a run of consecutive identifiers, and
// the interpretation of the printer's answer (the request echoed, then the answer data as
// hexadecimal text between double quotes) into (identifier text, value) pairs read by index.
//
// Use: SetRequestType(command code, always 0); BuildRequest(text, count); send GetRequest()
// (its exact length); Parse(answer); then GetValueType / GetIntValue / GetStringValue for each
// index below GetNamedValueCount().
#pragma once

#include <string>

#include "packet/CPacket.h"

// MDR element tags.
constexpr BYTE MDR_TAG_OID = 0x00;       // identifier (MDR encoding); names the values after it
constexpr BYTE MDR_TAG_INTEGER = 0x08;   // integer value
constexpr BYTE MDR_TAG_STRING = 0x14;    // octet-string value

class CMDRPacket : public CPacket {
public:
    // Builds the request for up to nCount identifiers from strText on, advancing the last arc.
    // On return nCount holds the number placed. 0 or PACKET_ERR_BUILD.
    int BuildRequest(const std::string& strText, int& nCount);

    int Parse(const BYTE* pReply, int nLength) override;
    // Reads the first named value, integer or string: 1 with its raw bytes copied and strKey set
    // when the buffer holds them; otherwise 0, and *pdwSize is set to the value's size.
    int GetValue(std::string& strKey, BYTE* pBuffer, DWORD* pdwSize) override;
    // Tag 0x08 integer, 0x14 string; any other tag gives 0.
    int AddValue(const std::string& strKey, BYTE byTag, const BYTE* pBytes, int nLength) override;

    // Type (2 or 4) of the index-th value; 0 when out of range.
    int GetValueType(size_t nIndex) const;
    int GetIntValue(size_t nIndex, std::string& strKey, int32_t& nValue) const;
    int GetStringValue(size_t nIndex, std::string& strKey, std::string& strValue) const;

private:
    // Writes the command line around S = dwElements bytes of elements. 0 or PACKET_ERR_BUILD.
    int Serialise(uint32_t dwElements);
};
