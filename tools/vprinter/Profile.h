// One virtual printer's description: a profile folder under samples/printers/ (profile.json,
// the MIB data in snmprec form, ink-jet reply payloads as annotated hex files), or a bare
// .snmprec recording served as an SNMP-only printer.
#pragma once

#include "Bytes.h"
#include "FaultPlan.h"
#include "MibStore.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vprinter {

// Object identifiers the virtual printer answers beyond its snmprec data.
inline const Oid kPwgDeviceIdColumn = {1, 3, 6, 1, 4, 1, 2699, 1, 2, 1, 2, 1, 1, 3};  // IEEE 1284 device ID, port-monitor MIB
inline const Oid kMakerStatusObject = {1, 3, 6, 1, 4, 1, 4913, 1, 2, 2, 1, 1, 1, 4, 1};  // status reply ("ST2" fields)
inline const Oid kMakerCommandArc = {1, 3, 6, 1, 4, 1, 4913, 1, 2, 2, 44, 1, 1, 2, 1};  // + one arc per command byte

struct Profile {
    std::string name;       // folder or file name, for messages
    std::string model;      // free text, for messages
    std::string deviceId;   // IEEE 1284 device ID ("MFG:...;MDL:...;CMD:...;"); may be empty
    bool snmp = true;       // channels offered: SNMP agent on UDP
    bool opk = false;       // job-language port on TCP
    bool d4 = false;        // USB D4 channel
    bool tvd4 = false;      // USB TVD4 channel
    std::string usbPort;    // "USB001" when the printer sits on a USB port
    size_t snmpMaxMessage = 1472;  // bytes; a larger response is answered with tooBig
    size_t piMaxChunk = 2048;      // bytes; the largest PI page the printer agrees to
    MibStore mib;
    // Ink-jet reply payloads (empty when the printer does not answer that request).
    Bytes statusFields;     // fields of the status reply: header, length, data ...
    bool hasStatus = false;
    Bytes pcData, srBlock, pm14, pm16, pm17;
    // Whole replies to the information commands "pc", "sr", "pm14" and "pm16", sent as they
    // stand instead of the reply built around a payload: replies with another status ("BUSY",
    // "01"), cut short or otherwise damaged. Keyed by those names.
    std::map<std::string, Bytes> rawReplies;
    std::vector<FaultRule> faults;

    bool IsUsb() const { return !usbPort.empty(); }
    bool AnswersInkjetCommands() const {
        return hasStatus || !pcData.empty() || !srBlock.empty() || !pm14.empty() || !pm16.empty() || !pm17.empty() ||
               !rawReplies.empty();
    }
};

// Loads a profile folder or a bare .snmprec file. On failure returns nothing and puts a
// readable reason into error.
std::unique_ptr<Profile> LoadProfile(const std::string& path, std::string& error);

}  // namespace vprinter
