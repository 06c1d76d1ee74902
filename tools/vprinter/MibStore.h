// The MIB data of one virtual printer, loaded from snmprec text ("OID|type|value" per line, the
// format of the snmpsim simulator) and kept in object-identifier order for Get and GetNext.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vprinter {

using Oid = std::vector<uint32_t>;

// BER tags of the value types an snmprec file can carry (SMIv1 application types included).
enum class MibType : uint8_t {
    Integer = 0x02,
    OctetString = 0x04,
    Null = 0x05,
    ObjectId = 0x06,
    IpAddress = 0x40,
    Counter32 = 0x41,
    Gauge32 = 0x42,
    TimeTicks = 0x43,
    Opaque = 0x44,
    Counter64 = 0x46,  // not expressible in SNMPv1; such objects are outside a v1 view
};

struct MibValue {
    MibType type = MibType::Null;
    int64_t number = 0;   // Integer, Counter32, Gauge32, TimeTicks, Counter64
    std::string octets;   // OctetString, Opaque, IpAddress (4 bytes)
    Oid oid;              // ObjectId
};

// Parses dotted decimal text ("1.3.6.1.2.1.1.1.0"; a leading dot is allowed). Every arc must be
// a decimal number below 2^32; at most 128 arcs (the SNMP limit).
std::optional<Oid> ParseOid(std::string_view text);
std::string OidText(const Oid& oid);

class MibStore {
public:
    // Loads snmprec text. Lines that cannot be read are skipped and counted; values are kept
    // byte for byte (trailing blanks included). A repeated OID keeps its last value.
    void LoadSnmprec(std::string_view text);

    void Set(const Oid& oid, MibValue value) { m_values[oid] = std::move(value); }
    const MibValue* Get(const Oid& oid) const;
    // The first object after oid in identifier order that SNMPv1 can carry, with its OID.
    const std::pair<const Oid, MibValue>* GetNext(const Oid& oid) const;

    size_t Size() const { return m_values.size(); }
    size_t SkippedLines() const { return m_skipped; }
    const std::map<Oid, MibValue>& Values() const { return m_values; }

private:
    std::map<Oid, MibValue> m_values;
    size_t m_skipped = 0;
};

}  // namespace vprinter
