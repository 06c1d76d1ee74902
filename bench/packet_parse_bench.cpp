// CSNMPPacket::Parse against net-snmp's parser (snmp_comstr_parse + snmp_pdu_parse) on the same
// GetResponse bytes, encoded by net-snmp (the packet tests' peer): a 24-binding response from the first exchange of a
// walk over six printer-table columns, and the response to a single Get.
//
// Only the parse is timed: building the request before it and freeing the results after it are
// outside the measured time for both parsers. Compare items_per_second (parses per second).
//
// The argument is how many packets (or PDUs) are made before the clock starts and parsed in one
// timed batch. 16 keeps them in cache, as the one packet of a real exchange is when its reply
// arrives; 256 parses each into memory that has gone cold since it was made.
#include <benchmark/benchmark.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/snmp_impl.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "NetSnmpPeer.h"
#include "packet/CSNMPPacket.h"

namespace {

using Clock = std::chrono::steady_clock;

// The columns of the walk and their rows per request (24 in all).
const std::vector<WalkColumn> kColumns = {
    {"2.1.43.8.2.1.13.1.1", 2},          // prtInputName (text)
    {"2.1.43.8.2.1.9.1.1", 2},           // prtInputMaxCapacity
    {"2.1.43.8.2.1.10.1.1", 2},          // prtInputCurrentLevel
    {"2.1.43.9.2.1.7.1.1", 2},           // prtOutputName (text)
    {"4.1.4913.1.2.2.7.1.1.2.1.1", 15},  // maker's supported paper type column
    {"2.1.43.5.1.1.17.1", 1},            // prtGeneralSerialNumber (text)
};

bool IsTextColumn(const std::string& column) {
    return column == "2.1.43.8.2.1.13.1.1" || column == "2.1.43.9.2.1.7.1.1" || column == "2.1.43.5.1.1.17.1";
}

// The identifier of a row: the column text with its last arc replaced by the row.
std::vector<uint32_t> RowOid(const std::string& column, int row) {
    std::vector<uint32_t> arcs = PeerOidFromText("1.3.6.1." + column);
    arcs.back() = static_cast<uint32_t>(row);
    return arcs;
}

std::vector<uint8_t> WalkResponse() {
    PeerResponse response;
    for (const auto& [column, rows] : kColumns) {
        for (int row = 1; row <= rows; ++row) {
            response.bindings.emplace_back(RowOid(column, row),
                                           IsTextColumn(column)
                                               ? PeerString("Cassette " + std::to_string(row) + " (A4, 500 sheets)")
                                               : PeerInt(1000 + row * 37));
        }
    }
    return PeerEncode(response);
}

std::vector<uint8_t> GetResponse() {
    PeerResponse response;
    response.bindings.emplace_back(PeerOidFromText("1.3.6.1.2.1.1.6.0"), PeerString("Second floor, copy room"));
    return PeerEncode(response);
}

void RunOurs(benchmark::State& state, const std::vector<uint8_t>& bytes, bool walk) {
    const int batch = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<std::unique_ptr<CSNMPPacket>> packets;
        for (int i = 0; i < batch; ++i) {
            auto packet = std::make_unique<CSNMPPacket>();
            if (walk) {
                packet->SetWalkList(kColumns);
                packet->BuildGetNext();
            } else {
                packet->SetRequestType(PDU_GET_REQUEST);
                packet->BuildGet("2.1.1.6.0");
            }
            packets.push_back(std::move(packet));
        }
        int failures = 0;
        const auto start = Clock::now();
        for (auto& packet : packets) failures += packet->Parse(bytes.data(), static_cast<int>(bytes.size())) != 0;
        const auto stop = Clock::now();
        if (failures != 0) state.SkipWithError("parse failed");
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * batch));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * batch * bytes.size()));
}

void RunNetSnmp(benchmark::State& state, const std::vector<uint8_t>& bytes) {
    const int batch = static_cast<int>(state.range(0));
    std::vector<std::vector<uint8_t>> data(batch, bytes);
    for (auto _ : state) {
        std::vector<netsnmp_pdu*> pdus;
        for (int i = 0; i < batch; ++i) pdus.push_back(snmp_pdu_create(0));
        int failures = 0;
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i) {
            u_char community[64];
            size_t communityLength = sizeof(community);
            size_t length = data[i].size();
            long version = 0;
            u_char* body = snmp_comstr_parse(data[i].data(), &length, community, &communityLength, &version);
            failures += !body || snmp_pdu_parse(pdus[i], body, &length) != 0;
        }
        const auto stop = Clock::now();
        if (failures != 0) state.SkipWithError("parse failed");
        for (netsnmp_pdu* pdu : pdus) snmp_free_pdu(pdu);
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * batch));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * batch * bytes.size()));
}

void BM_Walk24_Vanto(benchmark::State& state) { RunOurs(state, WalkResponse(), true); }
void BM_Walk24_NetSnmp(benchmark::State& state) { RunNetSnmp(state, WalkResponse()); }
void BM_Get_Vanto(benchmark::State& state) { RunOurs(state, GetResponse(), false); }
void BM_Get_NetSnmp(benchmark::State& state) { RunNetSnmp(state, GetResponse()); }

}  // namespace

BENCHMARK(BM_Walk24_Vanto)->Arg(16)->Arg(256)->UseManualTime();
BENCHMARK(BM_Walk24_NetSnmp)->Arg(16)->Arg(256)->UseManualTime();
BENCHMARK(BM_Get_Vanto)->Arg(16)->Arg(256)->UseManualTime();
BENCHMARK(BM_Get_NetSnmp)->Arg(16)->Arg(256)->UseManualTime();

BENCHMARK_MAIN();
