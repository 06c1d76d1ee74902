// The byte-level side of an ink-jet printer's information commands and status reply: the
// five-byte commands, their form as a maker MIB identifier over SNMP, the status fields and the
// ink records. Pure functions over bytes, so they can be tested and fuzzed without a printer.
#pragma once

#include "platform/win32.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

// Identifier under which an SNMP agent answers an information command; each command byte is
// appended as one more arc.
inline constexpr const char* kInfoCommandOID = "4.1.4913.1.2.2.44.1.1.2.1";
// Identifier of the status reply over SNMP.
inline constexpr const char* kStatusReplyOID = "4.1.4913.1.2.2.1.1.1.4.1";

// Status field headers.
inline constexpr BYTE kStatusFieldStorage = 0x0A;
inline constexpr BYTE kStatusFieldInks = 0x0F;

using InfoCommand = std::array<BYTE, 5>;

// The five-byte command of information command dwCode (1, 2, 10, 14 or 16). False for any
// other code.
bool BuildInfoCommand(DWORD dwCode, InfoCommand* pCommand);

// kInfoCommandOID with every command byte appended as one arc ("%s.%u").
std::string InfoCommandOID(std::span<const BYTE> command);

// An SNMP agent puts one byte ahead of a command's reply: the bytes move down one place and a
// 0 takes the last place, so the length stays the same.
void DropLeadingReplyByte(std::vector<BYTE>* pReply);

enum class StatusFieldResult {
    NoST2,   // the reply holds no "ST2"
    Absent,  // no field with that header inside the reply's field span
    Found,
};

// Finds field byHeader of a status reply. The fields start 7 bytes after the "S" of "ST2" and
// run up to 5 + L bytes after it (L: the byte 5 places after the "S"), never past the reply's
// end; a field is a header byte, a length byte n and n data bytes. On Found, *pField is the
// field's data inside reply.
StatusFieldResult FindStatusField(std::span<const BYTE> reply, BYTE byHeader, std::span<const BYTE>* pField);

// True when the reply holds "ST2" and the whole field span its length byte announces.
bool StatusReplyIsWhole(std::span<const BYTE> reply);

// The ink field: first byte the record size R, record k at byte k x R with its colour code at
// offset 2 (0: black). True when one of the first 20 records lying wholly inside the field has
// a colour other than black.
bool InkFieldHasColour(std::span<const BYTE> field);
