// A transport module for tests of the channel choice: it passes every connection function on to
// the real transport module (the file named by VANTO_TEST_REAL_ZKAPI) but answers
// ZKGetAvailableChannel with the list given in VANTO_TEST_CHANNELS, e.g. "opk,snmp" or
// "d4:1,d4:7" (kind, optional first word), so that lists the real printers never report can
// be offered. Without that variable the real list is passed on. The discovery functions are not
// exported at all.
#include "modules/transport/zkapi.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define RELAY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void* RealModule() {
    static void* handle = [] {
        const char* path = std::getenv("VANTO_TEST_REAL_ZKAPI");
        return path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    }();
    return handle;
}

// Calls the real module's function of that name, or answers "not initialized" without one.
template <typename Function, typename... Args>
int32_t Forward(const char* name, Args... args) {
    void* module = RealModule();
    auto f = module != nullptr ? reinterpret_cast<Function>(dlsym(module, name)) : nullptr;
    return f != nullptr ? f(args...) : kZkNotInitialized;
}

// The scripted list, or nothing when the variable is not set.
bool ScriptedChannels(std::vector<ZKChannelEntry>& entries) {
    const char* script = std::getenv("VANTO_TEST_CHANNELS");
    if (script == nullptr) return false;
    std::string text = script;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        uint16_t word = 0;
        if (const size_t colon = item.find(':'); colon != std::string::npos) {
            word = static_cast<uint16_t>(std::strtoul(item.c_str() + colon + 1, nullptr, 10));
            item.resize(colon);
        }
        const uint32_t kind = item == "snmp" ? kZkChannelSNMP
                              : item == "opk"  ? kZkChannelOPK
                              : item == "d4"   ? kZkChannelD4
                              : item == "tvd4" ? kZkChannelTVD4
                                               : static_cast<uint32_t>(std::strtoul(item.c_str(), nullptr, 0));
        entries.push_back({kind, word, 0});
        start = end + 1;
    }
    return true;
}

}  // namespace

RELAY_EXPORT int32_t ZKInitialize() { return Forward<PFN_ZKInitialize>("ZKInitialize"); }

RELAY_EXPORT int32_t ZKRelease() { return Forward<PFN_ZKRelease>("ZKRelease"); }

RELAY_EXPORT int32_t ZKGetDeviceID(int32_t type, const char* name, char* buffer, int32_t* size) {
    return Forward<PFN_ZKGetDeviceID>("ZKGetDeviceID", type, name, buffer, size);
}

RELAY_EXPORT int32_t ZKGetAvailableChannel(int32_t type, const char* name, void* buffer, int32_t* size) {
    std::vector<ZKChannelEntry> entries;
    if (!ScriptedChannels(entries))
        return Forward<PFN_ZKGetAvailableChannel>("ZKGetAvailableChannel", type, name, buffer, size);
    if (size == nullptr) return kZkBadArgument;
    const int32_t bytes = static_cast<int32_t>(entries.size() * sizeof(ZKChannelEntry));
    if (buffer == nullptr) {
        *size = bytes;
        return kZkSizeQuery;
    }
    if (*size < bytes) return kZkBadArgument;
    if (bytes > 0) std::memcpy(buffer, entries.data(), static_cast<size_t>(bytes));
    return static_cast<int32_t>(entries.size());
}

RELAY_EXPORT int32_t ZKOpenChannel(int32_t type, const char* name, uint32_t kind) {
    return Forward<PFN_ZKOpenChannel>("ZKOpenChannel", type, name, kind);
}

RELAY_EXPORT int32_t ZKCloseChannel(int32_t channel) { return Forward<PFN_ZKCloseChannel>("ZKCloseChannel", channel); }

RELAY_EXPORT int32_t ZKSend(int32_t channel, const void* data, uint32_t length) {
    return Forward<PFN_ZKSend>("ZKSend", channel, data, length);
}

RELAY_EXPORT int32_t ZKReceive(int32_t channel, void* buffer, int32_t* size, uint32_t timeoutMs) {
    return Forward<PFN_ZKReceive>("ZKReceive", channel, buffer, size, timeoutMs);
}

RELAY_EXPORT int32_t ZKGetStatus(int32_t channel, void* buffer, int32_t* size) {
    return Forward<PFN_ZKGetStatus>("ZKGetStatus", channel, buffer, size);
}
