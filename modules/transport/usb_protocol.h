// Wire conventions between the transport module and a printer, for the parts that are ours to
// define: the local (USB) device behind a port's Unix socket, and the two job-language exchanges
// that the module itself starts on TCP port 9100 (device ID and status).
//
// ---- USB port: Unix stream socket $VANTO_PREFIX/usb/USB<nnn>.sock --------------------------------
//
// The device listens; the module connects once per use (one connection per open channel, and a
// short-lived one for each device-ID or channel-list question). Everything on a connection is a
// frame, in both directions:
//
//   offset 0   1 byte   channel selector (kUsbControl, kUsbD4, kUsbTVD4)
//   offset 1   4 bytes  payload length, unsigned, least significant byte first (<= kUsbMaxPayload)
//   offset 5   n bytes  payload
//
// The device answers every request frame with exactly one reply frame on the same selector, in
// order (a fault-injecting device may drop, delay, cut or garble replies; the module copes).
// A frame on a selector the device does not offer, or a length above kUsbMaxPayload, makes the
// device close the connection.
//
// Control selector (0), request payload is one command byte:
//   'I' (0x49)  device ID: reply payload is the IEEE 1284 device ID text ("MFG:...;MDL:...;"),
//               without the 1284 two-byte length prefix and without a terminating zero.
//   'C' (0x43)  channel list: reply payload is one byte per channel the device offers, each a
//               selector (1 = D4, 2 = TVD4), in the device's order.
//   other       reply with an empty payload.
//
// Data selectors (1 = D4, 2 = TVD4): the request payload is exactly what the library passed to
// ZKSend (ink-jet information commands such as "st" 01 00 01, PI requests); the reply payload is
// exactly what ZKReceive hands back. The status the module asks for with ZKGetStatus on a D4 or
// TVD4 channel is the information command "st" 01 00 01 sent on that selector.
//
// ---- Job-language channel: TCP port 9100 --------------------------------------------------------
//
// The library's own requests (MDR "@OPK MDR CM=...", PI "PI" 06 00 01 ...) go out unchanged and
// their replies are recognised by their own layout (see CJobLanguageFraming.h). Two more requests
// are the module's:
//   "@OPK INFO ID\r\n"   reply: the IEEE 1284 device ID text followed by "\r\n". Used when a
//                        network printer's SNMP agent does not give the device ID.
//   "@OPK ST2\r\n"       reply: "@BDC ST2\r\n", a 16-bit length L (least significant byte first),
//                        then L bytes of status fields (header byte, length byte n, n data bytes).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zkusb {

inline constexpr uint8_t kUsbControl = 0x00;  // device-ID and channel-list questions
inline constexpr uint8_t kUsbD4 = 0x01;       // D4 packet channel
inline constexpr uint8_t kUsbTVD4 = 0x02;     // TVD4 packet channel

inline constexpr uint8_t kControlDeviceId = 'I';    // control command: give the device ID
inline constexpr uint8_t kControlChannelList = 'C'; // control command: list the data selectors

inline constexpr size_t kUsbHeaderSize = 5;           // selector byte + 32-bit length
inline constexpr uint32_t kUsbMaxPayload = 65536;     // bytes; larger frames end the connection

inline constexpr const char* kOpkDeviceIdRequest = "@OPK INFO ID\r\n";
inline constexpr const char* kOpkStatusRequest = "@OPK ST2\r\n";
inline constexpr const char* kOpkStatusReplyHead = "@BDC ST2\r\n";  // then u16 length, fields

}  // namespace zkusb
