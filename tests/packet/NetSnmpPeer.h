// An independent SNMP peer for the packet tests, made of net-snmp's own encoder and decoder:
// it decodes the requests our packets build and encodes responses for them to parse, and can
// play a small version-1 agent over a table of objects.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One decoded message.
struct PeerBinding {
    std::vector<uint32_t> oid;  // full identifier, 1.3.6.1 included
};
struct PeerMessage {
    bool ok = false;
    std::vector<PeerBinding> bindings;
};

// A value as the peer encodes it.
struct PeerValue {
    unsigned char type = 0x05;  // ASN type tag
    std::vector<unsigned char> bytes;  // string contents, or OID arcs as bytes not used
    long integer = 0;                  // INTEGER value
    std::vector<uint32_t> oidValue;    // OBJECT IDENTIFIER value
};
PeerValue PeerInt(long value);
PeerValue PeerString(const std::string& text);
PeerValue PeerNull();
PeerValue PeerOid(std::vector<uint32_t> oid);
PeerValue PeerIpAddress();  // 127.0.1.1

// Parses the dotted text of a full identifier ("1.3.6.1.2.1.1.6.0").
std::vector<uint32_t> PeerOidFromText(const std::string& text);

// Decodes a message with net-snmp's parser.
PeerMessage PeerDecode(const std::vector<uint8_t>& bytes);

// Encodes a version-1 GetResponse with net-snmp's encoder.
struct PeerResponse {
    std::string community = "vintal";
    long errorStatus = 0;
    long errorIndex = 0;
    std::vector<std::pair<std::vector<uint32_t>, PeerValue>> bindings;
};
std::vector<uint8_t> PeerEncode(const PeerResponse& response);

// A version-1 agent over a table of full identifiers, callable as a walk's transport: answers
// GetNext requests (one past the last object gives noSuchName with the binding's index).
class PeerAgent {
public:
    void Set(const std::string& fullText, PeerValue value) { table_[PeerOidFromText(fullText)] = std::move(value); }
    std::vector<uint8_t> operator()(const std::vector<uint8_t>& request) const;

private:
    std::map<std::vector<uint32_t>, PeerValue> table_;
};
