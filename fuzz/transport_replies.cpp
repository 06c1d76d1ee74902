// fuzz-libs: vanto_transport
// What a printer sends the transport module: SNMP datagrams, job-language reply streams, and
// address texts. Every parser must stay inside the bytes and never claim more than it was given.
#include "modules/transport/CJobLanguageFraming.h"
#include "modules/transport/CNetAddress.h"
#include "modules/transport/CSnmpCodec.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    zk::ReadSnmpHeader(bytes);
    const auto response = zk::ParseSnmpResponse(bytes);
    if (response) {
        for (const auto& binding : response->bindings)
            if (binding.oid.size() > zk::kMaxOidArcs || binding.value.size() > size) std::abort();
    }
    // The same bytes as a request, and as the answer to a request asking what they name.
    if (const auto request = zk::ParseSnmpRequest(bytes)) {
        for (const auto& oid : request->oids)
            if (oid.size() > zk::kMaxOidArcs) std::abort();
    }
    if (response) {
        zk::SnmpRequest asked{zk::kPduGetNextRequest, response->requestId, {}};
        for (const auto& binding : response->bindings) asked.oids.push_back(binding.oid);
        if (response->errorStatus == 0 && !response->bindings.empty() && zk::ResponseAnswers(asked, *response))
            std::abort();  // a GetNext answer never names what was asked
        asked.pduTag = zk::kPduGetRequest;
        if (!zk::ResponseAnswers(asked, *response)) std::abort();  // a Get answer names just that
    }
    for (const auto assess : {zk::AssessJobLanguageReply, zk::AssessLineReply}) {
        const auto a = assess(bytes);
        if (a.state == zk::ReplyState::Complete && a.length > size) std::abort();
    }
    zk::ParseIPv4(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
