// The WinSNMP interface of the platform's WSNMP32.DLL as this machine provides it: the types
// (x64 layout), constants and functions a manager uses to send SNMPv1 requests and read the
// answers. On Windows the SDK's <winsnmp.h> declares the same names.
#pragma once

#include <cstdint>

typedef uint32_t smiUINT32;
typedef int32_t smiINT;
typedef int32_t smiINT32;
typedef unsigned char smiBYTE;
typedef smiUINT32 SNMPAPI_STATUS;

typedef void* HSNMP_SESSION;
typedef void* HSNMP_ENTITY;
typedef void* HSNMP_CONTEXT;
typedef void* HSNMP_PDU;
typedef void* HSNMP_VBL;
struct HWND__;  // a window: sessions here work without one

struct smiOCTETS {
    smiUINT32 len;  // number of bytes; no terminator
    smiBYTE* ptr;
};
struct smiOID {
    smiUINT32 len;  // number of sub-identifiers
    smiUINT32* ptr;
};
struct smiCNTR64 {
    smiUINT32 hipart;
    smiUINT32 lopart;
};
struct smiVALUE {
    smiUINT32 syntax;  // SNMP_SYNTAX_*
    union {
        smiINT sNumber;
        smiUINT32 uNumber;
        smiCNTR64 hNumber;
        smiOCTETS string;
        smiOID oid;
        smiBYTE empty;
    } value;
};

// (session, window, message number, wParam: 0 = message waiting or an SNMPAPI_TL_* event,
// lParam: request ID, client data given at session creation).
typedef SNMPAPI_STATUS (*SNMPAPI_CALLBACK)(HSNMP_SESSION, HWND__*, unsigned int, uintptr_t, intptr_t, void*);

constexpr SNMPAPI_STATUS SNMPAPI_FAILURE = 0;
constexpr SNMPAPI_STATUS SNMPAPI_SUCCESS = 1;

constexpr smiINT SNMP_PDU_GET = 0xA0;
constexpr smiINT SNMP_PDU_GETNEXT = 0xA1;
constexpr smiINT SNMP_PDU_RESPONSE = 0xA2;
constexpr smiINT SNMP_PDU_SET = 0xA3;

// Value syntaxes: the BER tags of the values.
constexpr smiUINT32 SNMP_SYNTAX_INT = 0x02;
constexpr smiUINT32 SNMP_SYNTAX_BITS = 0x03;
constexpr smiUINT32 SNMP_SYNTAX_OCTETS = 0x04;
constexpr smiUINT32 SNMP_SYNTAX_NULL = 0x05;
constexpr smiUINT32 SNMP_SYNTAX_OID = 0x06;
constexpr smiUINT32 SNMP_SYNTAX_IPADDR = 0x40;
constexpr smiUINT32 SNMP_SYNTAX_CNTR32 = 0x41;
constexpr smiUINT32 SNMP_SYNTAX_GAUGE32 = 0x42;
constexpr smiUINT32 SNMP_SYNTAX_TIMETICKS = 0x43;
constexpr smiUINT32 SNMP_SYNTAX_OPAQUE = 0x44;
constexpr smiUINT32 SNMP_SYNTAX_NSAPADDR = 0x45;
constexpr smiUINT32 SNMP_SYNTAX_CNTR64 = 0x46;
constexpr smiUINT32 SNMP_SYNTAX_UINT32 = 0x47;
constexpr smiUINT32 SNMP_SYNTAX_NOSUCHOBJECT = 0x80;
constexpr smiUINT32 SNMP_SYNTAX_NOSUCHINSTANCE = 0x81;
constexpr smiUINT32 SNMP_SYNTAX_ENDOFMIBVIEW = 0x82;

constexpr smiUINT32 SNMPAPI_UNTRANSLATED_V1 = 1;
constexpr smiUINT32 SNMPAPI_ON = 1;

constexpr smiUINT32 MAXOBJIDSIZE = 128;      // sub-identifiers of one OID
constexpr smiUINT32 MAXOBJIDSTRSIZE = 1408;  // characters of an OID's dotted text

// SnmpGetLastError codes.
constexpr smiUINT32 SNMPAPI_ALLOC_ERROR = 2;
constexpr smiUINT32 SNMPAPI_CONTEXT_INVALID = 3;
constexpr smiUINT32 SNMPAPI_ENTITY_INVALID = 5;
constexpr smiUINT32 SNMPAPI_ENTITY_UNKNOWN = 6;
constexpr smiUINT32 SNMPAPI_INDEX_INVALID = 7;
constexpr smiUINT32 SNMPAPI_NOOP = 8;
constexpr smiUINT32 SNMPAPI_OID_INVALID = 9;
constexpr smiUINT32 SNMPAPI_OPERATION_INVALID = 10;
constexpr smiUINT32 SNMPAPI_PDU_INVALID = 12;
constexpr smiUINT32 SNMPAPI_SESSION_INVALID = 13;
constexpr smiUINT32 SNMPAPI_SYNTAX_INVALID = 14;
constexpr smiUINT32 SNMPAPI_VBL_INVALID = 15;
constexpr smiUINT32 SNMPAPI_NOT_INITIALIZED = 18;
constexpr smiUINT32 SNMPAPI_OTHER_ERROR = 99;
constexpr smiUINT32 SNMPAPI_HWND_INVALID = 20;
constexpr smiUINT32 SNMPAPI_TL_RESOURCE_ERROR = 103;
constexpr smiUINT32 SNMPAPI_TL_UNDELIVERABLE = 104;
constexpr smiUINT32 SNMPAPI_TL_TIMEOUT = 108;  // callback event: retransmissions gave up

extern "C" {
SNMPAPI_STATUS SnmpStartup(smiUINT32* major, smiUINT32* minor, smiUINT32* level, smiUINT32* translateMode,
                           smiUINT32* retransmitMode);
SNMPAPI_STATUS SnmpCleanup();
SNMPAPI_STATUS SnmpGetLastError(HSNMP_SESSION session);
HSNMP_SESSION SnmpCreateSession(HWND__* hWnd, unsigned int wMsg, SNMPAPI_CALLBACK callback, void* clientData);
SNMPAPI_STATUS SnmpClose(HSNMP_SESSION session);
SNMPAPI_STATUS SnmpStrToOid(const char* text, smiOID* oid);
SNMPAPI_STATUS SnmpFreeDescriptor(smiUINT32 syntax, smiOCTETS* descriptor);
HSNMP_VBL SnmpCreateVbl(HSNMP_SESSION session, const smiOID* name, const smiVALUE* value);
SNMPAPI_STATUS SnmpFreeVbl(HSNMP_VBL vbl);
SNMPAPI_STATUS SnmpGetVb(HSNMP_VBL vbl, smiUINT32 index, smiOID* name, smiVALUE* value);
HSNMP_PDU SnmpCreatePdu(HSNMP_SESSION session, smiINT type, smiINT32 requestId, smiINT errorStatus, smiINT errorIndex,
                        HSNMP_VBL vbl);
SNMPAPI_STATUS SnmpFreePdu(HSNMP_PDU pdu);
SNMPAPI_STATUS SnmpGetPduData(HSNMP_PDU pdu, smiINT* type, smiINT32* requestId, smiINT* errorStatus,
                              smiINT* errorIndex, HSNMP_VBL* vbl);
SNMPAPI_STATUS SnmpSendMsg(HSNMP_SESSION session, HSNMP_ENTITY src, HSNMP_ENTITY dst, HSNMP_CONTEXT context,
                           HSNMP_PDU pdu);
SNMPAPI_STATUS SnmpRecvMsg(HSNMP_SESSION session, HSNMP_ENTITY* src, HSNMP_ENTITY* dst, HSNMP_CONTEXT* context,
                           HSNMP_PDU* pdu);
HSNMP_ENTITY SnmpStrToEntity(HSNMP_SESSION session, const char* text);
SNMPAPI_STATUS SnmpFreeEntity(HSNMP_ENTITY entity);
HSNMP_CONTEXT SnmpStrToContext(HSNMP_SESSION session, const smiOCTETS* community);
SNMPAPI_STATUS SnmpFreeContext(HSNMP_CONTEXT context);
}
