// Searches against vprinter fleets: a fleet found whole and once, stop semantics, stale hit
// values, the module's own name filter, and the refusal of malformed or non-loopback searches.
#include "ZkModule.h"
#include "modules/transport/CNetAddress.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

using namespace zktest;

namespace {

// What the callbacks saw, and whether any came after the stop. (A hit's address and its one
// address entry are what ProbeExports' records show.)
struct Collector {
    explicit Collector(ZkModule* module) : zk(module) {}
    ZkModule* zk;
    std::mutex lock;
    std::multiset<std::string> addresses;
    std::atomic<bool> stopReturned{false};
    std::atomic<int> lateCallbacks{0};
    std::atomic<int> callbacks{0};
    int sleepMs = 0;
    bool stopOnFirstHit = false;
    std::atomic<int32_t> stopResult{1};
};

void OnHit(uint64_t a, uint32_t b, uint32_t c, void* context)
{
    auto* col = static_cast<Collector*>(context);
    if (col->stopReturned) ++col->lateCallbacks;
    if (++col->callbacks == 1 && col->stopOnFirstHit) col->stopResult = col->zk->StopProbe(a);  // on its own thread
    SProbeResult* result = nullptr;
    if (col->zk->GetProbeResult(a, b, c, &result) == kZkOk && result != nullptr) {
        std::lock_guard guard(col->lock);
        col->addresses.insert(result->szAddress);
        EXPECT_EQ(col->zk->DeleteProbeResult(result), kZkOk);
        EXPECT_EQ(col->zk->DeleteProbeResult(result), kZkBadArgument);  // freed once only
    }
    if (col->sleepMs) std::this_thread::sleep_for(std::chrono::milliseconds(col->sleepMs));
}

ZKProbeContext Range(const std::string& first, const std::string& last, uint32_t waitMs = 0, uint32_t rounds = 0)
{
    ZKProbeContext ctx{};
    ctx.dwProbeType = kZkProbeRange;
    ctx.dwParam[0] = waitMs;
    ctx.dwParam[1] = rounds;
    std::memcpy(ctx.typeContext, first.c_str(), first.size() + 1);
    std::memcpy(ctx.typeContext + 64, last.c_str(), last.size() + 1);
    return ctx;
}

ZKProbeContext Subnets(const ZKProbeSubnet* head, uint32_t waitMs = 0)
{
    ZKProbeContext ctx{};
    ctx.dwProbeType = kZkProbeSubnets;
    ctx.dwParam[0] = waitMs;
    std::memcpy(ctx.typeContext, &head, sizeof head);
    return ctx;
}

class TransportDiscovery : public TransportTest {
protected:
    TransportDiscovery() : TransportTest("ZKNETx64.DLL") {}
    // Waits until `count` callbacks came or the bound passed.
    static bool WaitForHits(const Collector& col, int count, int boundMs)
    {
        for (int waited = 0; col.callbacks < count && waited < boundMs; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return col.callbacks >= count;
    }
    Collector m_col{&m_zk};
};

}  // namespace

// A fleet found whole and once over several rounds is ProbeExports' subnet search.
TEST_F(TransportDiscovery, NoCallbackComesAfterAStopFromOutsideOrWithin)
{
    std::vector<std::string> addresses;  // spread over the /24
    for (int i = 0; i < 40; ++i) addresses.push_back("127.0.157." + std::to_string(3 + i * 5));
    const auto fleet = Serve(addresses, "colour-page");
    Collector slow{&m_zk};
    slow.sleepMs = 30;  // slow callbacks: the stop lands while hits are still being reported
    ZKProbeSubnet second{nullptr, "127.0.158.0", "255.255.255.0"};
    ZKProbeSubnet first{&second, "127.0.157.0", "255.255.255.0"};
    const ZKProbeContext ctx = Subnets(&first, 10000);  // a long wait: only the stop ends this search
    const uint64_t probe = m_zk.StartProbe(nullptr, &ctx, OnHit, &slow);
    ASSERT_NE(probe, 0u);
    ASSERT_TRUE(WaitForHits(slow, 3, 5000));
    EXPECT_EQ(m_zk.StopProbe(probe), kZkOk);  // at once: ProbeExports' stop from another thread
    slow.stopReturned = true;
    const int seen = slow.callbacks;
    EXPECT_LT(seen, 40);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(slow.lateCallbacks, 0);
    EXPECT_EQ(slow.callbacks, seen);

    // A callback may stop its own search, on the search's own thread.
    Collector own{&m_zk};
    own.stopOnFirstHit = true;
    const ZKProbeContext range = Range("127.0.157.1", "127.0.157.254", 300, 3);
    const uint64_t self = m_zk.StartProbe(nullptr, &range, OnHit, &own);
    ASSERT_NE(self, 0u);
    ASSERT_TRUE(WaitForHits(own, 1, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(own.stopResult, kZkOk);
    EXPECT_EQ(own.callbacks, 1);
    EXPECT_EQ(m_zk.StopProbe(self), kZkBadHandle);
}

TEST_F(TransportDiscovery, OneAddressAndNameFilterAndStaleHitValues)
{
    const auto colour = Serve({"127.0.159.7"}, "colour-page");
    const auto mono = Serve({"127.0.159.8"}, "mono-page-jp");
    ZKProbeContext ctx{};
    ctx.dwProbeType = kZkProbeAddress;
    std::strcpy(reinterpret_cast<char*>(ctx.typeContext), "127.0.159.8");
    const uint64_t probe = m_zk.StartProbe(nullptr, &ctx, OnHit, &m_col);
    ASSERT_NE(probe, 0u);
    ASSERT_TRUE(WaitForHits(m_col, 1, 3000));
    SProbeResult* result = nullptr;
    EXPECT_EQ(m_zk.GetProbeResult(probe, 1, 0, &result), kZkBadArgument);  // wrong check value
    EXPECT_EQ(result, nullptr);
    m_zk.StopProbe(probe);
    EXPECT_EQ(m_zk.GetProbeResult(probe, 1, 0, &result), kZkBadHandle);
    EXPECT_EQ(m_col.addresses, std::multiset<std::string>{"127.0.159.8"});

    Collector filtered{&m_zk};
    const ZKProbeContext both = Range("127.0.159.7", "127.0.159.8", 200, 2);  // the second round repeats no hit
    const uint64_t named = m_zk.StartProbe("cp4500c-2f", &both, OnHit, &filtered);
    ASSERT_NE(named, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    m_zk.StopProbe(named);
    EXPECT_EQ(filtered.addresses, std::multiset<std::string>{"127.0.159.7"});
}

TEST_F(TransportDiscovery, SearchesBeyondLoopbackOrMalformedAreRefused)
{
    const std::string outside = zk::FormatIPv4(zk::kLoopbackNetwork + 0x01000001);
    ZKProbeSubnet all{nullptr, "127.0.0.0", "255.0.0.0"};  // more addresses than a search may ask
    ZKProbeSubnet loop{nullptr, "127.0.159.0", "255.255.255.0"};
    loop.pNext = &loop;  // a list that never ends
    ZKProbeContext unterminated = Range("127.0.159.1", "127.0.159.2");
    std::memset(unterminated.typeContext, '1', 64);
    ZKProbeContext type5 = Range("127.0.159.1", "127.0.159.2");
    type5.dwProbeType = 5;
    const ZKProbeContext away = Range("127.0.159.1", outside);
    for (const ZKProbeContext& ctx : {away, Subnets(&all), Subnets(&loop), unterminated, type5})
        EXPECT_EQ(m_zk.StartProbe(nullptr, &ctx, OnHit, &m_col), 0u);
    const ZKProbeContext fine = Range("127.0.159.1", "127.0.159.2");
    EXPECT_EQ(m_zk.StartProbe(nullptr, &fine, nullptr, &m_col), 0u);
    EXPECT_EQ(m_zk.StartProbe(nullptr, nullptr, OnHit, &m_col), 0u);
    EXPECT_EQ(m_zk.StopProbe(12345), kZkBadHandle);
    EXPECT_EQ(m_col.callbacks, 0);
}
