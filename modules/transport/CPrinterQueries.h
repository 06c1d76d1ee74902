// The two questions the module answers about a printer without an open channel: its IEEE 1284
// device ID and the channels it offers.
#pragma once

#include "modules/transport/CPrinterLocator.h"
#include "modules/transport/CSnmpCodec.h"
#include "modules/transport/zkapi.h"

#include <string>
#include <vector>

namespace zk {

inline constexpr size_t kMaxDeviceIdLength = 65533;  // bytes; IEEE 1284 length field limit
// The device-ID column of the PWG port-monitor MIB (ppmPortProtocol1284DeviceId).
inline constexpr const char* kDeviceIdColumn = "1.3.6.1.4.1.2699.1.2.1.2.1.1.3";
inline constexpr const char* kSysNameObject = "1.3.6.1.2.1.1.5";   // sysName, asked with GetNext
inline constexpr const char* kSysDescrObject = "1.3.6.1.2.1.1.1";  // sysDescr, to see an agent answer

// Network printers: the first row of the device-ID column over SNMP, else "@OPK INFO ID" on
// the job-language port. USB devices: the control question 'I'.
int32_t QueryDeviceId(const PrinterTarget& target, std::string& deviceId);

// The channels that really answer: network printers list SNMP when the agent answers and
// (path type 1 only) OPK when port 9100 accepts; USB devices list what they report.
int32_t QueryChannels(const PrinterTarget& target, int32_t pathType, std::vector<ZKChannelEntry>& channels);

// The device ID in a GetNext response for kDeviceIdColumn, or false.
bool DeviceIdFromResponse(const SnmpResponse& response, std::string& deviceId);

}  // namespace zk
