// The transport module's interface: the thirteen functions that "ZKAPI7x64.Dll" and
// "ZKNETx64.DLL" export by name with C linkage, their result codes, and the records they
// exchange with the library. The library's transport view uses these same declarations.
//
// Names and addresses are 8-bit text (the caller's ANSI code page), zero-terminated, at most
// kZkMaxNameLength bytes. A printer is named either by queue (nPrinterPathType 1: the queue's
// port says where it is: "IP_<address>" or a bare address for a network printer, "USB<nnn>" for
// a local one) or by network address (nPrinterPathType 2: SNMP only). Only addresses inside
// 127.0.0.0/8 are reached.
//
// Size queries: a call with a null buffer answers kZkSizeQuery (-4) and puts the size in bytes
// into *pnSize; the caller allocates and calls again with *pnSize set to the buffer's size. The
// printer is asked once per pair: what a size query of ZKGetDeviceID or ZKGetAvailableChannel
// learnt is handed to the next call with a buffer for the same path type and name (within
// 5 seconds), as a reply or status read by a size query is handed to the fetch after it. A size
// query always asks the printer anew.
//
// Channels, and where a reply ends:
//   SNMP (4)        UDP to port 161; one datagram, the well-formed GetResponse whose request ID
//                   is the last request's and whose bindings answer what it asked (a Get's
//                   identifiers, identifiers after a GetNext's, or an error echoing them).
//                   Damaged datagrams and answers to other requests are dropped and the wait
//                   goes on; a request that the agent answered with another request's answer
//                   is sent once more. Status: the maker's status object
//                   1.3.6.1.4.1.4913.1.2.2.1.1.1.4.1.
//   OPK             TCP port 9100 (queues only); the reply's own layout (CJobLanguageFraming.h),
//                   or a quiet gap for replies of no known layout. Status: "@OPK ST2".
//   D4, TVD4        frames on the USB port's Unix socket (usb_protocol.h); one frame per reply.
//                   Status: the information command "st" 01 00 01.
//
// Late replies: an exchange ends when its whole reply has been read. A request sent after an
// exchange that did not end so (its reply timed out, came cut short, damaged or too long, or
// was never asked for) goes out on a new UDP socket or a new connection, so a reply to an earlier
// request is never delivered as the answer to a later one, although every SNMP request of the
// library carries request ID 0 and a stream says nothing about which request a reply answers.
// Over SNMP a request whose ID is one byte long goes out with an ID of the channel's own in its
// place (1-127), and its reply comes back with the caller's: a copy of an earlier answer is
// dropped, and when it is the answer to the request before, this one is sent once more.
// A channel whose printer closed the connection fails every later use with kZkConnectionLost.
//
// Waits: every wait for a reply on a channel is the caller's. ZKReceive waits dwTimeoutMs;
// ZKGetStatus, which has no time-out argument, waits as long as the channel's last ZKReceive
// did, or kZkDefaultStatusTimeoutMs before the first (over SNMP the status request is sent
// twice, each waiting half of that). ZKGetDeviceID, ZKGetAvailableChannel and ZKOpenChannel
// have no time-out argument and ask with the module's own waits: an SNMP question 1 s per try,
// two tries; a USB control question 2 s; a job-language connection 2 s and its device-ID reply
// 2 s; a job-language port is listed when it accepts a connection within 1 s.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Results -------------------------------------------------------------------------------------
inline constexpr int32_t kZkOk = 0;
inline constexpr int32_t kZkBadArgument = -1;      // null or too long text, bad path type or kind
inline constexpr int32_t kZkNotInitialized = -2;   // ZKInitialize has not been called
inline constexpr int32_t kZkBadHandle = -3;        // unknown channel or probe handle (also after close)
inline constexpr int32_t kZkSizeQuery = -4;        // answer to a size query; *pnSize holds the size
inline constexpr int32_t kZkTimeout = -5;          // no reply within the time-out
inline constexpr int32_t kZkUnreachable = -6;      // nothing answers at the printer's address or socket
inline constexpr int32_t kZkUnknownQueue = -7;     // no such queue, or its port names no printer
inline constexpr int32_t kZkNoChannel = -8;        // the printer does not offer the channel kind
inline constexpr int32_t kZkConnectionLost = -9;   // the printer closed or reset the connection
inline constexpr int32_t kZkBadReply = -10;        // malformed, truncated or oversized reply
inline constexpr int32_t kZkNoDeviceId = -11;      // the printer answers but gives no device ID
inline constexpr int32_t kZkNoRequest = -12;       // ZKReceive without a request sent before it
inline constexpr int32_t kZkNotAllowed = -13;      // address outside the permitted networks
inline constexpr int32_t kZkResources = -14;       // out of sockets, threads, handles or memory
// ZKGetStatus: the printer is connected and answered, but gave no status reply (it counts as a
// live answer; the caller may go on).
inline constexpr int32_t kZkNoStatus = -16;

// ---- Values ---------------------------------------------------------------------------------------
inline constexpr int32_t kZkPathQueue = 1;     // name is a print queue
inline constexpr int32_t kZkPathAddress = 2;   // name is a network address

inline constexpr uint32_t kZkChannelSNMP = 4;            // SNMP v1, UDP port 161
inline constexpr uint32_t kZkChannelOPK = 0x10010002;    // job-language channel, TCP port 9100
inline constexpr uint32_t kZkChannelTVD4 = 0x10010003;   // USB packet channel TVD4
inline constexpr uint32_t kZkChannelD4 = 0x10000005;     // USB packet channel D4

inline constexpr size_t kZkMaxNameLength = 1023;       // bytes of a queue name or address text
inline constexpr uint32_t kZkMaxTimeoutMs = 600000;    // longer ZKReceive time-outs are cut to this
// ZKGetStatus's wait on a channel without a ZKReceive yet: the library's printer-information
// time-out, the one its reads use.
inline constexpr uint32_t kZkDefaultStatusTimeoutMs = 10000;
inline constexpr uint32_t kZkMaxReplySize = 1048576;   // bytes; a longer reply is kZkBadReply

// The standard ports of a printer. This module uses them unless the environment moves them
// (VANTO_SNMP_PORT, VANTO_OPK_PORT; modules/agent_ports.h), so that virtual printers can run
// without root; the channel list and the search's address entries report the ports in use.
inline constexpr uint16_t kZkSnmpPort = 161;          // UDP port of a printer's SNMP agent
inline constexpr uint16_t kZkJobLanguagePort = 9100;  // TCP port of the job-language channel

// ---- Records (64-bit, little-endian; layouts bind the library) ----------------------------------

// One entry of the ZKGetAvailableChannel list, 8 bytes.
struct ZKChannelEntry {
    uint32_t dwChannelKind;  // kZkChannel...
    uint16_t wPortOrSelector;  // network: the TCP/UDP port (161, 9100); USB: the socket's channel
                               // selector (1 = D4, 2 = TVD4, see usb_protocol.h)
    uint16_t wReserved;        // 0
};
static_assert(sizeof(ZKChannelEntry) == 8);

// One entry of the subnet list that a type-2 probe context points to.
struct ZKProbeSubnet {
    ZKProbeSubnet* pNext;        // null in the last entry
    char szNetworkAddress[64];   // dotted decimal, zero-terminated
    char szSubnetMask[64];       // dotted decimal, contiguous mask
};

// The probe context that ZKStartProbe receives, 160 bytes.
//
// dwProbeType: 2 subnets, 3 address range, 4 one address.
// dwParam, as this module reads them (0 always means "the default"):
//   [0] reply time-out in ms: how long the search waits for answers after each round of
//       requests (default 500, at most 10000).
//   [1] rounds: how many times an address that has not answered is asked (default 2, at most 6).
//   [2] not read by this module. The library copies it as the value of the address entry of its
//       own single-address record; pass kZkSnmpPort to match the entries this module reports.
//   [3] the most hits to report; the search ends when reached (default no limit).
//   [4] requests sent in one burst before the search reads answers (default 256, 1 to 4096).
//   [5] reserved, not read.
// Type context: type 2: the address of the first ZKProbeSubnet (8 bytes), zeros after; no list:
//   the loopback block 127.0.0.0/16; type 3: start address (64 bytes), end address (64 bytes),
//   inclusive, in either order; type 4: the address (64 bytes). At most kZkMaxProbeAddresses
//   addresses per search; every one must lie in 127.0.0.0/8.
struct ZKProbeContext {
    uint32_t dwProbeType;
    uint32_t dwParam[6];
    uint32_t dwReserved;
    unsigned char typeContext[128];
};
static_assert(sizeof(ZKProbeContext) == 160);

inline constexpr uint32_t kZkProbeSubnets = 2;
inline constexpr uint32_t kZkProbeRange = 3;
inline constexpr uint32_t kZkProbeAddress = 4;
inline constexpr size_t kZkMaxProbeAddresses = 65536;

// One address at which a hit answered.
struct SProbeAddress {
    SProbeAddress* pNext;  // null in the last entry
    uint32_t dwValue;      // the UDP port on which the device's SNMP agent answered (161)
    char szAddress[64];    // dotted decimal, zero-terminated
};
static_assert(offsetof(SProbeAddress, dwValue) == 8 && offsetof(SProbeAddress, szAddress) == 12);

// A raw hit as ZKGetProbeResult hands it out; freed with ZKDeleteProbeResult.
struct SProbeResult {
    SProbeAddress* pAddressList;  // first address entry (this module always gives one)
    char szAddress[16];           // dotted decimal, zero-terminated
    char* pDeviceName;            // the device's sysName, null when it has none
    char* pDeviceID;              // IEEE 1284 device ID, from the port-monitor column
};
static_assert(offsetof(SProbeResult, szAddress) == 8 && offsetof(SProbeResult, pDeviceName) == 24 &&
              offsetof(SProbeResult, pDeviceID) == 32 && sizeof(SProbeResult) == 40);

// ---- Functions ------------------------------------------------------------------------------------
extern "C" {
// Called once per hit from the module's own search thread; never after ZKStopProbe has returned.
// (a, b, c) = (probe handle, hit number from 1, a check value); hand them to ZKGetProbeResult.
using ZK_PROBE_CALLBACK = void (*)(uint64_t a, uint32_t b, uint32_t c, void* pContext);

using PFN_ZKInitialize = int32_t (*)();   // 0: ready
using PFN_ZKRelease = int32_t (*)();      // 0; the last release closes every channel and search
// Size query; then the device ID's length (its bytes in the buffer, no terminator added).
using PFN_ZKGetDeviceID = int32_t (*)(int32_t nPrinterPathType, const char* pName, char* pBuffer, int32_t* pnSize);
// Size query (8 bytes per entry); then the number of ZKChannelEntry records written.
using PFN_ZKGetAvailableChannel = int32_t (*)(int32_t nPrinterPathType, const char* pName, void* pBuffer,
                                              int32_t* pnSize);
// A channel handle (>= 1) or a negative result.
using PFN_ZKOpenChannel = int32_t (*)(int32_t nPrinterPathType, const char* pName, uint32_t dwChannelKind);
using PFN_ZKCloseChannel = int32_t (*)(int32_t hChannel);
// Sends one request; SNMP requests must be well-formed messages (their request ID is kept to
// match the reply). Returns the bytes sent.
using PFN_ZKSend = int32_t (*)(int32_t hChannel, const void* pData, uint32_t dwLength);
// Size query (waits up to dwTimeoutMs for the whole reply to the last request); then the
// reply's length with its bytes in the buffer. Replies to earlier requests are never delivered.
// dwTimeoutMs also becomes the channel's status wait (ZKGetStatus).
using PFN_ZKReceive = int32_t (*)(int32_t hChannel, void* pBuffer, int32_t* pnSize, uint32_t dwTimeoutMs);
// Size query (asks the printer for its status, waiting as the channel's last ZKReceive did);
// then the status reply's length. kZkNoStatus when the printer answered without a status reply
// or did not answer in time (the channel itself is there).
using PFN_ZKGetStatus = int32_t (*)(int32_t hChannel, void* pBuffer, int32_t* pnSize);
// A probe handle, 0 on failure. pSearch: null, or a device-name prefix (case-insensitive) that
// hits must have.
using PFN_ZKStartProbe = uint64_t (*)(const char* pSearch, const void* pProbeContext, ZK_PROBE_CALLBACK pfnCallback,
                                      void* pContext);
using PFN_ZKStopProbe = int32_t (*)(uint64_t hProbe);
using PFN_ZKGetProbeResult = int32_t (*)(uint64_t a, uint32_t b, uint32_t c, SProbeResult** ppResult);
using PFN_ZKDeleteProbeResult = int32_t (*)(SProbeResult* pResult);
}
