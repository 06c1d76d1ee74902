// A network transport module for the discovery tests: its search reports only the hits that the
// test fires, from whatever thread fires them, and keeps calling back after a stop when told to,
// so that the library's own guards are what is tested. No channel can be opened.
#include "modules/transport/zkapi.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Hit {
    std::string address, name, deviceID;
    bool hasName = true;
};

struct Owned {
    SProbeResult result{};
    SProbeAddress entry{};
    std::string name, deviceID;
};

std::mutex g_lock;
std::map<uint32_t, Hit> g_hits;
std::map<SProbeResult*, std::unique_ptr<Owned>> g_out;
ZK_PROBE_CALLBACK g_callback = nullptr;
void* g_context = nullptr;
bool g_running = false;
uint64_t g_handle = 0;

}  // namespace

FAKE_EXPORT int32_t ZKInitialize() { return kZkOk; }
FAKE_EXPORT int32_t ZKRelease() { return kZkOk; }
FAKE_EXPORT int32_t ZKOpenChannel(int32_t, const char*, uint32_t) { return kZkUnreachable; }

FAKE_EXPORT uint64_t ZKStartProbe(const char*, const void*, ZK_PROBE_CALLBACK callback, void* context) {
    std::lock_guard guard(g_lock);
    g_callback = callback;
    g_context = context;
    g_running = true;
    return ++g_handle;
}

FAKE_EXPORT int32_t ZKStopProbe(uint64_t) {
    std::lock_guard guard(g_lock);
    g_running = false;
    return kZkOk;
}

FAKE_EXPORT int32_t ZKGetProbeResult(uint64_t, uint32_t b, uint32_t, SProbeResult** out) {
    std::lock_guard guard(g_lock);
    auto it = g_hits.find(b);
    if (it == g_hits.end() || out == nullptr) return kZkBadHandle;
    auto owned = std::make_unique<Owned>();
    owned->name = it->second.name;
    owned->deviceID = it->second.deviceID;
    std::strncpy(owned->result.szAddress, it->second.address.c_str(), sizeof owned->result.szAddress - 1);
    std::strncpy(owned->entry.szAddress, it->second.address.c_str(), sizeof owned->entry.szAddress - 1);
    owned->entry.dwValue = kZkSnmpPort;
    owned->result.pAddressList = &owned->entry;
    owned->result.pDeviceName = it->second.hasName ? owned->name.data() : nullptr;
    owned->result.pDeviceID = owned->deviceID.data();
    *out = &owned->result;
    g_out[*out] = std::move(owned);
    return kZkOk;
}

FAKE_EXPORT int32_t ZKDeleteProbeResult(SProbeResult* result) {
    std::lock_guard guard(g_lock);
    return g_out.erase(result) == 1 ? kZkOk : kZkBadArgument;
}

// ---- Test control ----
FAKE_EXPORT void FakeProbeSetHit(uint32_t number, const char* address, const char* name, const char* deviceID) {
    std::lock_guard guard(g_lock);
    g_hits[number] = Hit{address, name ? name : "", deviceID, name != nullptr};
}

// Calls the last search's callback with hit `number` (also after its stop).
FAKE_EXPORT void FakeProbeFire(uint32_t number) {
    ZK_PROBE_CALLBACK callback;
    void* context;
    uint64_t handle;
    {
        std::lock_guard guard(g_lock);
        callback = g_callback;
        context = g_context;
        handle = g_handle;
    }
    if (callback != nullptr) callback(handle, number, 0, context);
}

FAKE_EXPORT int FakeProbeRunning() {
    std::lock_guard guard(g_lock);
    return g_running ? 1 : 0;
}

// Raw hits handed out and not yet given back.
FAKE_EXPORT size_t FakeProbeOutstanding() {
    std::lock_guard guard(g_lock);
    return g_out.size();
}
