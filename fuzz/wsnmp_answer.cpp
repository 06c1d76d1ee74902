// fuzz-libs: vanto_probe
// The WinSNMP answer path: arbitrary bytes as the WinSNMP module's agent socket would receive
// them, parsed by net-snmp for the agent's session, converted by the module, taken by CSnmpDll's
// session callback and encoded as its answer. The module is the one built from
// fuzz/wsnmp_shim (the module's own source plus the export that delivers the bytes); CSnmpDll
// loads it in place of WSNMP32.DLL and sends one real request first, so that the session knows
// the agent and the binding awaits an answer.
#include "fuzz/fuzz_prefix.h"
#include "probe/CSnmpDll.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr char kAgent[] = "127.0.145.251";  // nothing listens there: the one request goes unanswered
constexpr char kDeviceIdColumn[] = "1.3.6.1.4.1.2699.1.2.1.2.1.1.3";

using DeliverAnswer = int (*)(const char* agent, const uint8_t* data, size_t size);

class ShimSnmpDll : public CSnmpDll {
public:
    BOOL Load(LPCWSTR) override {
        std::u16string path = u"Z:";
        for (const char c : std::string(WSNMP_SHIM)) path += c == '/' ? u'\\' : static_cast<char16_t>(c);
        return CDllModule::Load(path.c_str());
    }
};

struct Harness {
    Harness() {
        if (!binding.Initialize() || !binding.Send(kDeviceIdColumn, kAgent, 1)) std::abort();
        deliver = binding.GetFunction<DeliverAnswer>("FuzzDeliverAnswer");
        if (!deliver) std::abort();
    }
    FuzzPrefix prefix;
    ShimSnmpDll binding;
    DeliverAnswer deliver = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;
    if (harness.deliver(kAgent, data, size) < 0) std::abort();
    // An answer is an OCTET STRING with its terminating zero or a 4-byte INTEGER, never empty.
    if (const auto answer = harness.binding.GetAnswer()) {
        if (answer->bytes.empty() || (answer->Length() != 4 && answer->bytes.back() != 0)) std::abort();
    }
    return 0;
}
